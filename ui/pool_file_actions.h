#pragma once
// The pool list's pop-up menu op on the main window: OPN shows the workbook read-only, SEE
// its properties, RENAME and del rename and delete the pool file. Each works on the one
// selected entry of the pool list. Also what the pool windows (this menu and the intake window
// fldfrm) need of the main window.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/file_disposal.h"
#include "workspace/pool_file_ops.h"
#include "workspace/workspace_paths.h"

class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QWidget;

namespace sbx {

struct PoolWindowContext {
    QWidget* mainWindow = nullptr;  // disabled while fldfrm is open
    QListWidget* poolList = nullptr;
    QLabel* selectedCount = nullptr;        // count of selected pool entries
    QPushButton* jobSetupButton = nullptr;  // 环 境 设 定
    DialogsPort& dialogs;
    WorkspacePaths paths;
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost;
    std::function<void(const std::string&)> setHint;  // the hint box
    std::function<void()> refreshCounts;              // the entry counts under the lists
    // A file taken in replaced the summary workbook: what the last run offered (its export,
    // its result) no longer refers to the file there.
    std::function<void()> summaryReplaced;
    FileDisposal dispose = moveToDeletedFolder;  // where 删除文件 puts a pool file
    // The main window's note of the template, after a rename may have changed its name.
    std::function<void()> showTemplate{};
};

// The pool list as the file operations change it. A name taken in goes where the start-up listing
// would put it (单位2 before 单位10), not at the end.
class ListWidgetPoolList final : public PoolListPort {
public:
    explicit ListWidgetPoolList(QListWidget& list) : list_(list) {}
    std::vector<std::string> names() const override;
    void append(const std::string& name) override;
    void removeAll(const std::string& name) override;

    // A file was taken in, so the summary workbook became its copy.
    bool appended() const { return appended_; }

private:
    QListWidget& list_;
    bool appended_ = false;
};

// The bare name of the one selected entry of the pool list; empty unless exactly one is selected.
std::string singleSelectedEntry(const QListWidget& list);

// Connects the menu's actions OPN, SEE, RENAME, del and TEMPLATE (found by their names).
void connectPoolFileActions(QMenu& op, const PoolWindowContext& context);

// The actions themselves, on the single selected entry; nothing without one. Deleting takes
// every selected entry (one question naming the count when there are several).
void openSelectedPoolFile(const PoolWindowContext& context);
void showSelectedPoolFileProperties(const PoolWindowContext& context);
void renameSelectedPoolFile(const PoolWindowContext& context);
void deleteSelectedPoolFile(const PoolWindowContext& context);
// TEMPLATE (设为汇总模板): the selected pool file, if it can be read, becomes the chosen
// template (summary_template.h) and the summary its copy.
void chooseSelectedAsTemplate(const PoolWindowContext& context);
// The same for any workbook `file` (a blank form from elsewhere; it does not join the pool).
// Returns whether it became the template.
bool chooseTemplateFile(const PoolWindowContext& context, const std::filesystem::path& file);
std::string templateChosenMessage(const std::string& name, const WorkspacePaths& paths);

}  // namespace sbx
