#include "workspace/pool.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "workspace/file_kind.h"
#include "workspace/natural_order.h"
#include "workspace/summary_template.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

bool isPoolFileName(std::string_view name) { return formatOfPoolName(name).has_value(); }

std::vector<fs::path> workbooksIn(const fs::path& folder, std::error_code& error) {
    std::vector<std::pair<std::string, fs::path>> found;
    error.clear();
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = utf8String(it->path().filename());
        // Only regular files count: a folder, FIFO or device named "x.xls" is no pool file.
        if (isPoolFileName(name) && isRegularWorkbookFile(it->path())) found.emplace_back(std::move(name), it->path());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return naturalLess(a.first, b.first); });
    std::vector<fs::path> files;
    files.reserve(found.size());
    for (auto& [name, path] : found) files.push_back(std::move(path));
    return files;
}

PoolScan scanPool(const WorkspacePaths& paths) {
    PoolScan scan;
    std::error_code error;
    for (const fs::path& file : workbooksIn(paths.poolDirectory(), error)) scan.names.push_back(utf8String(file.filename()));
    if (error) scan.failures.push_back({utf8String(paths.poolDirectory()), systemErrorText(error)});
    return scan;
}

SummaryReplacement replaceSummaryWorkbook(const WorkspacePaths& paths, const fs::path& source, const FileCopy& copy) {
    SummaryReplacement result;
    result.summary = paths.summaryWorkbook(workbookFormatOf(source));
    result.copyError = replaceFile(source, result.summary, copy);
    if (result.copyError) return result;
    TemplateNote note = readTemplateNote(paths);
    note.madeFrom = source;
    writeTemplateNote(paths, note);  // without it, messages name the summary alone
    for (const WorkbookFormat format : kWorkbookFormats) {
        const fs::path other = paths.summaryWorkbook(format);
        std::error_code error;
        if (other == result.summary || !fs::exists(fs::symlink_status(other, error))) continue;
        // A folder of that name is the user's, not an old summary.
        if (fs::is_directory(fs::symlink_status(other, error))) continue;
        fs::remove(other, error);
        if (error) result.leftOver.push_back({utf8String(other), systemErrorText(error)});
    }
    return result;
}

std::string oldSummaryLeftText(const fs::path& summary, const FileFailure& failure) {
    return "汇总文件已更新为 " + utf8String(summary) + "，但原来的汇总文件 " + failure.name + " 无法删除\r" +
           failure.reason;
}

Disposal disposePoolFile(const WorkspacePaths& paths, const std::string& name, const FileDisposal& dispose) {
    const fs::path file = paths.poolFile(name);
    Disposal disposal;
    // A folder of that name is not the pool file: never move it.
    if (fs::is_directory(fs::symlink_status(file, disposal.error))) {
        disposal.error = std::make_error_code(std::errc::is_a_directory);
    }
    if (!disposal.error) disposal = dispose(file);
    return disposal;
}

PoolDeletion deletePoolFiles(const WorkspacePaths& paths, const std::vector<std::string>& names, const FileDisposal& dispose) {
    PoolDeletion deletion;
    for (const std::string& name : names) {
        Disposal disposal = disposePoolFile(paths, name, dispose);
        if (disposal.error) {
            deletion.failures.push_back({name, systemErrorText(disposal.error)});
        } else {
            deletion.lastDisposal = std::move(disposal);
        }
    }
    return deletion;
}

WorkspaceDirectories ensureWorkspaceDirectories(const WorkspacePaths& paths) {
    WorkspaceDirectories result;
    std::error_code error;
    result.poolExisted = fs::is_directory(paths.poolDirectory(), error);
    if (!result.poolExisted) {
        fs::create_directories(paths.poolDirectory(), error);
        if (error) {
            result.problem = "无法建立工作目录 " + utf8String(paths.poolDirectory()) + "：" + systemErrorText(error);
            return result;
        }
    }
    const fs::path summary = paths.summaryDirectory();
    const fs::file_status status = fs::status(summary, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        result.problem = "汇总文件夹 " + utf8String(summary) +
                         " 不是文件夹，而是一个同名的文件：汇总文件无法保存。请将这个文件改名或移走后重新启动。";
        return result;
    }
    if (!fs::is_directory(status)) fs::create_directory(summary, error);
    if (error) {
        result.problem = "无法建立汇总文件夹 " + utf8String(summary) + "：" + systemErrorText(error);
        return result;
    }
    result.summaryDirectoryReady = true;
    return result;
}

}  // namespace sbx
