#include "workspace/pool.h"

#include <filesystem>
#include <system_error>

namespace sbx {

namespace fs = std::filesystem;

bool isPoolFileName(std::string_view name) {
    constexpr std::string_view suffix = ".xls";
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

PoolScan scanPool(const WorkspacePaths& paths) {
    PoolScan scan;
    std::error_code error;
    fs::directory_iterator entries(paths.poolDirectory(), error);
    if (error) {
        scan.summaryCopyFailure.push_back({utf8String(paths.poolDirectory()), error.message()});
        return scan;
    }
    for (const fs::directory_entry& entry : entries) {
        std::error_code kindError;
        // Only files count; a folder named "x.xls" is not a pool file.
        if (entry.is_directory(kindError)) continue;
        std::string name = utf8String(entry.path().filename());
        if (isPoolFileName(name)) scan.names.push_back(std::move(name));
    }
    // Every listed file in turn over total.xls leaves a copy of the last one: copy that one.
    if (!scan.names.empty()) scan.summaryCopyFailure = refreshSummaryWorkbook(paths, scan.names.back());
    return scan;
}

std::vector<FileFailure> refreshSummaryWorkbook(const WorkspacePaths& paths, const std::string& name,
                                                const FileCopy& copy) {
    const std::error_code error = replaceFile(paths.poolFile(name), paths.summaryWorkbook(), copy);
    if (error) return {{name, error.message()}};
    return {};
}

std::vector<FileFailure> deletePoolFiles(const WorkspacePaths& paths, const std::vector<std::string>& names) {
    std::vector<FileFailure> failures;
    for (const std::string& name : names) {
        std::error_code error;
        const bool removed = fs::remove(paths.poolFile(name), error);
        if (error) {
            failures.push_back({name, error.message()});
        } else if (!removed) {
            failures.push_back({name, std::make_error_code(std::errc::no_such_file_or_directory).message()});
        }
    }
    return failures;
}

bool ensureWorkspaceDirectories(const WorkspacePaths& paths) {
    const bool existed = fs::is_directory(paths.poolDirectory());
    if (!existed) fs::create_directories(paths.poolDirectory());
    if (!fs::is_directory(paths.summaryDirectory())) fs::create_directory(paths.summaryDirectory());
    return existed;
}

}  // namespace sbx
