#pragma once
// The remembered jobs (方案) as the job windows use them: the job kept for the summary
// workbook's worksheet names is offered when a job is set up, and an accepted job is kept.
#include <filesystem>
#include <string>

#include "job/job_file.h"
#include "job/windows/job_window_context.h"
#include "workspace/workspace_paths.h"

namespace sbx {

// Why a job file cannot be used or kept, in Chinese, with the file: "方案文件第 3 行已损坏：\r<file>".
std::string jobFileErrorText(const JobFileError& error);

// <working folder>/方案.txt
std::filesystem::path jobFileOf(const WorkspacePaths& paths);

// Fills job.remembered from the job file for the worksheet names in job.sheetNames (empty
// when none is kept). A damaged or unreadable file is told about and left as it is.
void offerRememberedJob(const JobWindowContext& context);

// Keeps job.unitCell with the job kept for the worksheet names in job.sheetNames; false, after
// saying why, when there is no such job yet or the file cannot be read or written.
bool rememberUnitCell(const JobDefinition& job, const WorkspacePaths& paths, DialogsPort& dialogs);

// Keeps job.rangeTable (and job.unitCell) for the worksheet names in job.sheetNames. The file is not touched
// when it cannot be read as a job file (nothing kept in it is lost); a failure is told.
void rememberAcceptedJob(const JobWindowContext& context);

}  // namespace sbx
