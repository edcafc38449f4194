#include "spreadsheet/file_name_limit.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace sbx {

namespace {
constexpr std::size_t kCommonLimit = 255;
}

std::size_t fileNameLimit([[maybe_unused]] const std::filesystem::path& folder) {
#ifdef _WIN32
    return kCommonLimit;
#else
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : kCommonLimit;
#endif
}

std::size_t fileNameLength(const std::filesystem::path& file) { return file.filename().native().size(); }

}  // namespace sbx
