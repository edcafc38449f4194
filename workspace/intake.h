#pragma once
// File intake without windows: the walk over the files picked in the intake window that
// copies each workbook with a pool file name (.xls, .xlsx, .xlsm) into the pool and over the
// summary workbook, with its questions and messages. A pool file is replaced in one step, so
// a copy that fails leaves it as it was; a file picked from the pool folder itself (by any
// spelling of it) is refused.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "workspace/dialogs_port.h"
#include "workspace/file_copy.h"
#include "workspace/pool.h"
#include "workspace/pool_file_ops.h"
#include "workspace/summary_history.h"
#include "workspace/workspace_paths.h"

namespace sbx {

namespace intake_text {
inline constexpr const char* kNotXls = "请选择XLS表格文件！";
inline constexpr const char* kPoolFolder = "该目录为目标工作目录，请选择其它目录！";
inline constexpr const char* kChooseAgain = "请重新选择文件！";
inline constexpr const char* kAllTakenIn = "所选文件添加完毕！";
inline constexpr const char* kNextStepHint = "请点击[环境设定]来设置汇总计算参数!";
inline constexpr const char* kDriveNotReady = "注意，驱动器没有准备好！";
}  // namespace intake_text

enum class IntakeOutcome { ChooseAgain, Done };

// What became of one file offered for the pool (picked in the intake window or dropped).
struct OneFileIntake {
    enum class Result { Taken, NotAPoolName, InPoolFolder, NotAFile, NotReplaced, CopyFailed };
    Result result = Result::Taken;
    std::string name;              // the bare name it has in the pool
    std::filesystem::path target;  // its pool file
    std::string notAFile;          // NotAFile: why it is no workbook file
    std::error_code copyError;     // CopyFailed
    KeptSummary kept;              // Taken: where the summary it replaced was kept, or why it could not be
    SummaryReplacement summary;    // Taken, unless `kept` failed: how the summary workbook followed it
};

// Takes one file into the pool by the intake rules: a pool file name, not from the pool
// folder, a regular file, the overwrite question before a pool file is replaced, a copy in
// one step, listed once at the end, and the summary workbook following it in its format. The
// summary it replaces is kept in hz/历史 first, as at start-up, unless it is only the copy of
// a listed pool file (no run has written it since); should that fail, the summary
// stays as it was. The caller reports the result in its own way.
OneFileIntake takeInOneFile(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                            const std::filesystem::path& source, const FileCopy& copy);

// Whether `file` lies in the pool folder: the real folders are compared (links, letter case
// and other spellings resolved by the file system), not the texts of the paths.
bool isInPoolFolder(const WorkspacePaths& paths, const std::filesystem::path& file);

// One click on the intake window's 确定: walks `selected` (bare names in `folder`, in the
// order of the file list), takes in each file with a pool file name, shows the closing
// message and returns the outcome of the last entry handled. The caller updates the counts,
// hint and buttons.
IntakeOutcome takeInFiles(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                          const std::filesystem::path& folder, const std::vector<std::string>& selected,
                          const FileCopy& copy = copyFileContents);

}  // namespace sbx
