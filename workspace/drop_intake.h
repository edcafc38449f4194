#pragma once
// Files and folders dropped on the pool list, taken in by the rules of file intake: a file
// of the pool folder itself is refused, a pool file of the same name is replaced only after
// the overwrite question, each copy is made in one step, and the summary workbook follows
// the last file taken in. A dropped folder stands for the workbook files directly in it
// (sub-folders are not looked into: they hold earlier months' archives as often as not).
// One report at the end says what was taken in and what was not, and why.
#include <filesystem>
#include <string>
#include <vector>

#include "workspace/dialogs_port.h"
#include "workspace/file_copy.h"
#include "workspace/intake.h"
#include "workspace/pool_file_ops.h"
#include "workspace/workspace_paths.h"

namespace sbx {

struct DropIntake {
    struct Refused {
        std::string name;  // the bare name of the file or folder
        std::string why;
    };
    std::vector<std::string> taken;  // bare names, in the order taken in
    std::vector<Refused> refused;
    std::string summaryKept;         // where the summary a run wrote was kept, or why it could not be
    std::string notATemplate;        // why the last unreadable file taken in did not replace the summary
};

// The workbook files a drop stands for, in order: files as dropped, each folder's workbook
// files (by pool name rule, regular files only) sorted by name. Folders without any, and
// the pool folder itself, are refused.
std::vector<std::filesystem::path> droppedWorkbooks(const WorkspacePaths& paths,
                                                    const std::vector<std::filesystem::path>& dropped,
                                                    DropIntake& intake);

// Takes in what was dropped and shows the report. The caller updates the counts, hint and
// buttons.
DropIntake takeInDropped(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                         const std::vector<std::filesystem::path>& dropped, const IntakeTools& tools = {});

// "已添加 2 个文件：" with the names, then "未添加 1 个：" with each name and why; at most
// ten names a list.
std::string dropReportMessage(const DropIntake& intake);

}  // namespace sbx
