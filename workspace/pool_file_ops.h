#pragma once
// File operations on single pool files, without windows: the pool list as the operations
// see it, replacing a pool file in one step, renaming with a screened name, deleting, and a
// file's properties. Every failure names the file and the system's reason, and the pool
// list is brought back in line with the folder for the names an operation touched.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/file_copy.h"
#include "workspace/file_disposal.h"
#include "workspace/typed_name.h"
#include "workspace/workspace_paths.h"

namespace sbx {

namespace pool_ops_text {
inline constexpr const char* kRenamePrompt = "输入新的文件名(不需要提高扩展名):";
inline constexpr const char* kRenameFailed = "改文件名失败：";
inline constexpr const char* kDeleteFailed = "删除文件失败：";
inline constexpr const char* kCopyFailed = "复制文件失败：";
std::string overwriteQuestion(const std::string& name);  // 目标目录下有…同名文件，是否覆盖?
std::string deleteQuestion(const std::string& name);     // 确信要删除文件：…吗？
std::string deleteSeveralQuestion(std::size_t count);    // 确信要删除选定的 N 个文件吗？
}  // namespace pool_ops_text

// The main window's pool list as the file operations change it.
class PoolListPort {
public:
    virtual ~PoolListPort() = default;
    virtual std::vector<std::string> names() const = 0;
    virtual void append(const std::string& name) = 0;
    // Removes every entry equal to `name` (compared with case), from the last to the first.
    virtual void removeAll(const std::string& name) = 0;
};

// A pool list kept in memory.
class VectorPoolList final : public PoolListPort {
public:
    VectorPoolList() = default;
    explicit VectorPoolList(std::vector<std::string> names) : names_(std::move(names)) {}
    std::vector<std::string> names() const override { return names_; }
    void append(const std::string& name) override { names_.push_back(name); }
    void removeAll(const std::string& name) override;

private:
    std::vector<std::string> names_;
};

// Makes the pool list agree with the folder for `names`: an existing pool file that is not
// listed is appended, a listed name without a file is removed.
void reconcilePoolList(const WorkspacePaths& paths, PoolListPort& list, const std::vector<std::string>& names);

// Removes the entries other than `name` that name the same file as `name` on disk (another
// letter case on a case-blind disk), so that one file is listed once.
void removeOtherSpellings(const WorkspacePaths& paths, PoolListPort& list, const std::string& name);

// RENAME of the pool file `oldName`: asks for the new name, screens it, asks before
// replacing another file, renames in one step and reports a failure. Returns whether the
// folder changed.
bool renamePoolFile(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list, const std::string& oldName);

// del of the pool file `name`: asks, takes the file out of the pool (into the recycle bin or
// the 已删除 folder, by `dispose`), says where it went or why it could not. Returns whether
// the file is gone from the pool.
bool deletePoolFile(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list, const std::string& name,
                    const FileDisposal& dispose = moveToDeletedFolder);

// Delete with several entries selected: one question naming the count, then each file as
// deletePoolFile takes it out, and one message saying where they went and which stayed.
// Returns how many are gone from the pool.
std::size_t deleteSeveralPoolFiles(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                            const std::vector<std::string>& names, const FileDisposal& dispose = moveToDeletedFolder);

// SEE: the file's size, time of change and worksheets, as lines joined by carriage returns.
// A workbook that cannot be read still shows its size and time, with the reason.
std::string describePoolFile(const WorkspacePaths& paths, const std::string& name,
                             const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost);

}  // namespace sbx
