#pragma once
// The pool: the workbook files (".xls", ".xlsx", ".xlsm") directly in the working directory,
// named by their bare file names in the order of the directory listing, and the summary
// workbook kept as a copy of one of them, in its format.
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "workspace/file_copy.h"
#include "workspace/file_disposal.h"
#include "workspace/workspace_paths.h"

namespace sbx {

// A pool file's name ends in exactly ".xls", ".xlsx" or ".xlsm" (lower case): "a.XLS",
// "a.Xlsx" and "a.xls.bak" are not.
bool isPoolFileName(std::string_view name);

// A file operation that did not work: the bare name and the system's reason.
struct FileFailure {
    std::string name;
    std::string reason;
};

// The workbooks directly in `folder` by the pool's rule: regular files (or links to them) whose
// names are pool file names, in natural order of their names. Sub-folders are not looked into.
// `error`: why the folder could not be listed (or listed to the end; the files found so far
// are returned). The pool, a folder dropped on it and a run all list by this.
std::vector<std::filesystem::path> workbooksIn(const std::filesystem::path& folder, std::error_code& error);

struct PoolScan {
    std::vector<std::string> names;     // pool files, in natural order (单位2 before 单位10)
    std::vector<FileFailure> failures;  // at most one: the folder could not be listed
};

// Lists the pool: regular files (or links to them) directly in the working directory whose
// names are pool file names, in natural order. Sub-folders are not looked into, and folders,
// FIFOs and devices are never listed. The directory must exist.
PoolScan scanPool(const WorkspacePaths& paths);

struct SummaryReplacement {
    std::filesystem::path summary;     // where the copy goes: total.xls, .xlsx or .xlsm, by the source
    std::error_code copyError;         // the copy failed: the summary workbook is as it was
    std::vector<FileFailure> leftOver; // summaries of another format that could not be removed
};

// Puts a copy of the workbook `source` in the summary workbook's place, in the format of
// `source`: the copy first, in one step (should it fail, a full disk say, the summary
// workbook stays as it was); only once it is in place are the summaries of the other
// formats removed, so that a summary workbook is there at every moment.
SummaryReplacement replaceSummaryWorkbook(const WorkspacePaths& paths, const std::filesystem::path& source,
                                          const FileCopy& copy = copyFileContents);

// For the user: the summary workbook of the old format `failure` names stayed beside the new
// one `summary`, and why.
std::string oldSummaryLeftText(const std::filesystem::path& summary, const FileFailure& failure);

struct PoolDeletion {
    std::vector<FileFailure> failures;  // the files that stay, in the order given
    Disposal lastDisposal;              // where the others went
};

// Takes one pool file out of the pool, into the recycle bin or the 已删除 folder; a folder of
// that name is refused (is_a_directory).
Disposal disposePoolFile(const WorkspacePaths& paths, const std::string& name, const FileDisposal& dispose);

// Takes the named pool files out of the pool, into the recycle bin or the 已删除 folder (only
// those; other files and sub-folders stay).
PoolDeletion deletePoolFiles(const WorkspacePaths& paths, const std::vector<std::string>& names,
                             const FileDisposal& dispose = moveToDeletedFolder);

struct WorkspaceDirectories {
    bool poolExisted = false;         // the working directory was there before
    bool summaryDirectoryReady = false;  // <pool>/hz is a folder now
    std::string problem;              // for the user, naming the path; empty when both are fine
};

// Creates the working directory and its summary directory where missing. A summary
// directory that cannot be made (a file named hz, say) leaves the pool usable.
WorkspaceDirectories ensureWorkspaceDirectories(const WorkspacePaths& paths);

}  // namespace sbx
