#pragma once
// The start-up of the program without its windows: the working directories, the pool scan
// that refreshes the summary workbook, and the two start-up questions. The main window shows
// the splash before and applies the outcome after.
#include <string>
#include <vector>

#include "workspace/dialogs_port.h"
#include "workspace/file_disposal.h"
#include "workspace/summary_template.h"
#include "workspace/workspace_paths.h"

namespace sbx {

namespace startup_text {
inline constexpr const char* kEmptyPool = "汇表池中无任何可用表格，请先添加 EXCELL 文件！";
inline constexpr const char* kWorkOnPool = "系统探测到在C:\\KX\\目录下有EXCELL文件,是否对其进行合并汇总？";
inline constexpr const char* kClearPool = "需要对当前表格文件进行清理,请确定后自动删除!";
inline constexpr const char* kPreviousSummaryKept = "上次的汇总文件已保存为：";
inline constexpr const char* kAddFilesHint = "通过点击[添加文件]按钮选择所需汇总合并的EXCELL文件!";
// kWorkOnPool naming the folder of `paths`.
std::string workOnPoolQuestion(const WorkspacePaths& paths);
}  // namespace startup_text

enum class StartupState {
    EmptyPool,    // the working directory was new or held no pool file
    PoolKept,     // OK to the first question, or Cancel then Cancel
    PoolDeleted,  // Cancel then OK: the pool files were deleted (some may have refused)
};

struct StartupOutcome {
    StartupState state = StartupState::EmptyPool;
    std::vector<std::string> poolList;  // what the pool list holds, in listing order
    bool command2Enabled = false;       // "环 境 设 定"
    std::string hint;                   // the hint box text; empty: keep the design text
};

// Runs start-up against the file system, asking through `dialogs`: makes the directories,
// lists the pool, keeps the previous summary workbook (when it differs) in hz/历史 and says
// where, copies the template (templateFor) over it, and asks the two questions. A pool file that
// cannot be copied over the summary workbook or deleted is named in a message; a file that
// stays undeleted stays listed. A summary folder that cannot be made is named, and the pool
// is listed all the same.
StartupOutcome runStartup(const WorkspacePaths& paths, DialogsPort& dialogs,
                          const FileDisposal& dispose = moveToDeletedFolder,
                          const WorkbookProbe& readable = opensAsWorkbook);

// Makes the summary a copy of `from` (the template), keeping the summary it replaces in
// hz/历史 when it differs; a failure is named in a message and leaves the summary as it was.
void refreshSummaryKeepingThePrevious(const WorkspacePaths& paths, DialogsPort& dialogs,
                                      const std::filesystem::path& from);

}  // namespace sbx
