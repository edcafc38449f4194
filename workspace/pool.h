#pragma once
// The pool: the ".xls" files directly in the working directory, named by their bare file
// names in the order of the directory listing, and the summary workbook kept as a copy of
// one of them.
#include <string>
#include <string_view>
#include <vector>

#include "workspace/file_copy.h"
#include "workspace/workspace_paths.h"

namespace sbx {

// A pool file's name ends in exactly ".xls" (lower case): "a.XLS" and "a.xlsx" are not.
bool isPoolFileName(std::string_view name);

// A file operation that did not work: the bare name and the system's reason.
struct FileFailure {
    std::string name;
    std::string reason;
};

struct PoolScan {
    std::vector<std::string> names;     // pool files, in listing order
    std::vector<FileFailure> failures;  // at most one: the folder could not be listed
};

// Lists the pool: regular files (or links to them) directly in the working directory whose
// names end in ".xls", in listing order. Sub-folders are not looked into, nothing is sorted,
// and folders, FIFOs and devices are never listed. The directory must exist.
PoolScan scanPool(const WorkspacePaths& paths);

// Puts a copy of one pool file in the summary workbook's place in one step: should the copy
// fail (a full disk, say), the summary workbook stays as it was. Empty on success.
std::vector<FileFailure> refreshSummaryWorkbook(const WorkspacePaths& paths, const std::string& name,
                                                const FileCopy& copy = copyFileContents);

// Deletes the named pool files (only those; other files and sub-folders stay). Returns the
// files that could not be deleted, in the order given.
std::vector<FileFailure> deletePoolFiles(const WorkspacePaths& paths, const std::vector<std::string>& names);

struct WorkspaceDirectories {
    bool poolExisted = false;         // the working directory was there before
    bool summaryDirectoryReady = false;  // <pool>/hz is a folder now
    std::string problem;              // for the user, naming the path; empty when both are fine
};

// Creates the working directory and its summary directory where missing. A summary
// directory that cannot be made (a file named hz, say) leaves the pool usable.
WorkspaceDirectories ensureWorkspaceDirectories(const WorkspacePaths& paths);

}  // namespace sbx
