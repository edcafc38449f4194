#include "workspace/workspace_paths.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace sbx {

namespace fs = std::filesystem;

namespace {

// Made absolute once, against the folder the program started in, so that nothing that
// changes the current folder later can move the pool.
fs::path absoluteFolder(const fs::path& folder) {
    if (folder.empty() || folder.is_absolute()) return folder;
    std::error_code error;
    const fs::path absolute = fs::absolute(folder, error);
    return error ? folder : absolute.lexically_normal();
}

#ifndef _WIN32
std::optional<fs::path> accountHome() {
    const passwd* entry = ::getpwuid(::getuid());
    if (entry == nullptr || entry->pw_dir == nullptr || *entry->pw_dir == '\0') return std::nullopt;
    return fs::path(entry->pw_dir);
}
#endif

std::optional<std::string> variable(const char* name) {
#ifdef _WIN32
    // The wide environment: the narrow one is in the ANSI code page, not UTF-8.
    const std::wstring wideName(name, name + std::strlen(name));
    const wchar_t* value = _wgetenv(wideName.c_str());
    if (value == nullptr || *value == L'\0') return std::nullopt;
    return utf8String(fs::path(value));
#else
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
#endif
}

}  // namespace

WorkspacePaths::WorkspacePaths(fs::path poolDirectory) : pool_(absoluteFolder(poolDirectory)) {}

WorkspacePaths WorkspacePaths::fromSettings(const std::optional<std::string>& shubuxingHome,
                                            const std::optional<std::string>& home,
                                            const std::optional<fs::path>& accountHome) {
    if (shubuxingHome) return WorkspacePaths(utf8Path(*shubuxingHome));
#ifdef _WIN32
    (void)home;
    (void)accountHome;
    return WorkspacePaths(fs::path("c:\\kx"));
#else
    if (home) return WorkspacePaths(utf8Path(*home) / "kx");
    if (accountHome) return WorkspacePaths(*accountHome / "kx");
    throw WorkingFolderError(
        "无法确定工作目录：没有设置 HOME，也找不到当前用户的主目录。请设置 SHUBUXING_HOME 指定工作目录。");
#endif
}

WorkspacePaths WorkspacePaths::fromEnvironment() {
#ifdef _WIN32
    return fromSettings(variable("SHUBUXING_HOME"), std::nullopt, std::nullopt);
#else
    return fromSettings(variable("SHUBUXING_HOME"), variable("HOME"), accountHome());
#endif
}

fs::path WorkspacePaths::summaryWorkbook(WorkbookFormat format) const {
    return summaryDirectory() / ("total" + std::string(formatExtension(format)));
}

fs::path WorkspacePaths::summaryWorkbook() const {
    std::optional<fs::path> newest;
    fs::file_time_type newestTime;
    for (const WorkbookFormat format : kWorkbookFormats) {
        const fs::path candidate = summaryWorkbook(format);
        std::error_code error;
        // A folder of that name holds no summary (a dangling link still names the place).
        if (!fs::exists(fs::symlink_status(candidate, error)) || fs::is_directory(fs::status(candidate, error))) continue;
        const fs::file_time_type changed = fs::last_write_time(candidate, error);
        if (!newest || (!error && changed > newestTime)) {
            newest = candidate;
            newestTime = error ? fs::file_time_type::min() : changed;
        }
    }
    return newest.value_or(summaryWorkbook(WorkbookFormat::Xls));
}

std::string WorkspacePaths::poolPrefix() const {
    std::string text = utf8String(pool_);
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (text.empty() || text.back() != separator) text.push_back(separator);
    return text;
}

}  // namespace sbx
