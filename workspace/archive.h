#pragma once
// Archiving after a finished run: the run's source files move out of the pool into a folder
// the user names inside it, so that the next job starts from a clean pool. No windows here:
// the questions go through DialogsPort, the files through std::filesystem; resetting the
// main window's lists is the caller's, told by ArchiveResult::listsReset().
#include <string>
#include <vector>

#include "workspace/dialogs_port.h"
#include "workspace/workspace_paths.h"

namespace sbx {

namespace archive_text {
inline constexpr const char* kFolderPrompt =
    "请输入一个与这些表格有关的名称来建立一个文件夹,用来保存这些表格文件.";
inline constexpr const char* kNoFolderName = "请输入一个文件夹名!";
inline constexpr const char* kFolderExistsQuestion =
    "已经有一个同名的文件夹,所有文件将被移至该文件夹中\r注意，是否覆盖同名文件？";
inline constexpr const char* kMarkPrefix = "new_";
}  // namespace archive_text

enum class ArchiveCase {
    NoFolder,    // empty or refused name (see screenTypedName; never the summary folder), or the
                 // folder could not be made: nothing moved
    NewFolder,   // case A: the folder was made for this run
    Overwrite,   // case B, Yes: namesakes in the folder were replaced
    Mark,        // case B, No: every file moved under its "new_" name
};

struct ArchiveResult {
    ArchiveCase kind = ArchiveCase::NoFolder;
    std::string folderName;            // as typed
    int moved = 0;                     // files really moved
    std::vector<std::string> failures; // "name：reason", one per file that stayed
    std::vector<std::string> stillInPool; // bare names of the files that stayed and are still in the pool
    // Whether the main window is to be reset for a new job (lists emptied, 环境设定 and
    // 开始汇表 disabled): after every archiving that reached its folder. The files that
    // could not be moved stay listed, since they stay in the pool.
    bool listsReset() const { return kind != ArchiveCase::NoFolder; }
};

// "new_" + the name without its extension + that extension again: a.xls gives new_a.xls,
// a.xlsx new_a.xlsx.
std::string markedName(const std::string& file);

// The closing message of each case for `moved` files in folder `name`.
std::string archiveClosingMessage(ArchiveCase kind, int moved, const WorkspacePaths& paths, const std::string& name);

// Asks for the folder name, moves the run list's files (last entry first) and reports: one
// message naming every file that could not be moved and why, then the closing message.
ArchiveResult archiveRunFiles(const WorkspacePaths& paths, const std::vector<std::string>& runList,
                              DialogsPort& dialogs);

}  // namespace sbx
