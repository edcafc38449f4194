#pragma once
// File intake without windows: the walk over the files picked in the intake window that
// copies each workbook with a pool file name (.xls, .xlsx, .xlsm) into the pool and over the
// summary workbook, with its questions and messages. A pool file is replaced in one step, so
// a copy that fails leaves it as it was; a file picked from the pool folder itself (by any
// spelling of it) is refused.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "workspace/dialogs_port.h"
#include "workspace/file_copy.h"
#include "workspace/pool.h"
#include "workspace/pool_file_ops.h"
#include "workspace/summary_history.h"
#include "workspace/summary_template.h"
#include "workspace/workspace_paths.h"

namespace sbx {

namespace intake_text {
inline constexpr const char* kNotXls = "请选择XLS表格文件！";
inline constexpr const char* kPoolFolder = "该目录为目标工作目录，请选择其它目录！";
inline constexpr const char* kChooseAgain = "请重新选择文件！";
inline constexpr const char* kAllTakenIn = "所选文件添加完毕！";
inline constexpr const char* kNextStepHint = "请点击[环境设定]来设置汇总计算参数!";
inline constexpr const char* kDriveNotReady = "注意，驱动器没有准备好！";
inline constexpr const char* kNoSuchPath = "找不到该文件或文件夹：";
inline constexpr const char* kTakenButNotTemplate = "\r它已加入汇表池，汇总文件没有更换。";
}  // namespace intake_text

enum class IntakeOutcome { ChooseAgain, Done };

// How intake copies a file and tells whether it can be the summary's template (tests replace
// both).
struct IntakeTools {
    FileCopy copy = copyFileContents;
    TemplateScreen screen = screenOn(makeNativeHost);
};

// The overwrite question of one intake, asked before each pool file is replaced. While more
// than one such file is left it offers 全部覆盖 and 全部跳过 besides 是 and 否, so that taking
// a month's reports in again is one answer, not forty; an answer for all settles the rest.
class OverwriteQuestion {
public:
    // `toReplace`: how many of the files offered have a pool file of their name.
    OverwriteQuestion(DialogsPort& dialogs, std::size_t toReplace) : dialogs_(dialogs), left_(toReplace) {}
    bool mayReplace(const std::string& name);

private:
    DialogsPort& dialogs_;
    std::size_t left_;
    std::optional<bool> forAll_;
};

// How many of `files` have a pool file of their name.
std::size_t poolFilesNamedLike(const WorkspacePaths& paths, const std::vector<std::filesystem::path>& files);

// What became of one file offered for the pool (picked in the intake window or dropped).
struct OneFileIntake {
    enum class Result { Taken, NotAPoolName, InPoolFolder, NotAFile, NotReplaced, CopyFailed };
    Result result = Result::Taken;
    std::string name;              // the bare name it has in the pool
    std::filesystem::path target;  // its pool file
    std::string notAFile;          // NotAFile: why it is no workbook file
    std::error_code copyError;     // CopyFailed
    std::string notATemplate;      // Taken: why it cannot be the template, so the summary stayed as it was
    KeptSummary kept;              // Taken: where the summary it replaced was kept, or why it could not be
    SummaryReplacement summary;    // Taken, unless `kept` failed: how the summary workbook followed it
};

// Takes one file into the pool by the intake rules: a pool file name, not from the pool
// folder, a regular file, the overwrite question before a pool file is replaced, a copy in
// one step, listed once at the end, and the summary workbook following it in its format if it
// can be read (one that cannot would make every run fail). The summary it replaces is kept in
// hz/历史 first, as at start-up, unless it is only the copy of a listed pool file (no run has
// written it since); should that fail, the summary stays as it was. The caller reports the
// result in its own way.
OneFileIntake takeInOneFile(const WorkspacePaths& paths, OverwriteQuestion& overwrite, PoolListPort& list,
                            const std::filesystem::path& source, const IntakeTools& tools);

// Whether `file` lies in the pool folder: the real folders are compared (links, letter case
// and other spellings resolved by the file system), not the texts of the paths.
bool isInPoolFolder(const WorkspacePaths& paths, const std::filesystem::path& file);

// One click on the intake window's 确定: walks `selected` (bare names in `folder`, in the
// order of the file list), takes in each file with a pool file name, shows the closing
// message and returns the outcome of the last entry handled. The caller updates the counts,
// hint and buttons.
IntakeOutcome takeInFiles(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                          const std::filesystem::path& folder, const std::vector<std::string>& selected,
                          const IntakeTools& tools = {});

}  // namespace sbx
