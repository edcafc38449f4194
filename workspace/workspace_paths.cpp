#include "workspace/workspace_paths.h"

#include <cstdlib>

namespace sbx {

WorkspacePaths::WorkspacePaths(std::filesystem::path poolDirectory) : pool_(std::move(poolDirectory)) {}

WorkspacePaths WorkspacePaths::fromEnvironment() {
    if (const char* home = std::getenv("SHUBUXING_HOME"); home && *home) {
        return WorkspacePaths(utf8Path(home));
    }
#ifdef _WIN32
    return WorkspacePaths(std::filesystem::path("c:\\kx"));
#else
    const char* userHome = std::getenv("HOME");
    return WorkspacePaths(std::filesystem::path(userHome && *userHome ? userHome : ".") / "kx");
#endif
}

std::string WorkspacePaths::poolPrefix() const {
    std::string text = utf8String(pool_);
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (text.empty() || text.back() != separator) text.push_back(separator);
    return text;
}

}  // namespace sbx
