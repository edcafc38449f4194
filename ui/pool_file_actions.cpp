#include "ui/pool_file_actions.h"

#include <exception>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "workspace/natural_order.h"
#include "ui/workbook_viewer.h"
#include "workspace/file_kind.h"
#include "workspace/workbook_error_text.h"
#include "ui/pool_name_text.h"

namespace sbx {

namespace {

// After a rename or delete: the count follows the list, and an empty pool has no job to set up.
void poolListChanged(const PoolWindowContext& context) {
    if (context.refreshCounts) context.refreshCounts();
    if (context.list1->count() == 0 && context.command2 != nullptr) context.command2->setEnabled(false);
}

}  // namespace

std::vector<std::string> ListWidgetPoolList::names() const {
    std::vector<std::string> names;
    for (int row = 0; row < list_.count(); ++row) names.push_back(poolNameBytes(list_.item(row)->text()));
    return names;
}

void ListWidgetPoolList::append(const std::string& name) {
    int row = 0;
    while (row < list_.count() && !naturalLess(name, poolNameBytes(list_.item(row)->text()))) ++row;
    list_.insertItem(row, poolNameText(name));
    appended_ = true;
}

void ListWidgetPoolList::removeAll(const std::string& name) {
    const QString text = poolNameText(name);
    for (int row = list_.count() - 1; row >= 0; --row) {
        if (list_.item(row)->text() == text) delete list_.takeItem(row);
    }
}

std::string singleSelectedEntry(const QListWidget& list) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.size() == 1 ? poolNameBytes(selected.front()->text()) : std::string();
}

void openSelectedPoolFile(const PoolWindowContext& context) {
    const std::string name = singleSelectedEntry(*context.list1);
    if (name.empty()) return;
    // Checked before anything opens it: a FIFO named x.xls would hang the program.
    if (const std::string notAFile = notAWorkbookFileText(context.paths.poolFile(name)); !notAFile.empty()) {
        context.dialogs.message("无法打开文件：" + name + "\r" + notAFile);
        return;
    }
    try {
        lookAtWorkbook(context.dialogs, context.makeHost, context.paths.poolFile(name));
    } catch (const std::exception& error) {
        context.dialogs.message("无法打开文件：" + name + "\r" + errorTextForUser(error));
    }
}

void showSelectedPoolFileProperties(const PoolWindowContext& context) {
    const std::string name = singleSelectedEntry(*context.list1);
    if (name.empty()) return;
    context.dialogs.message(describePoolFile(context.paths, name, context.makeHost));
}

void renameSelectedPoolFile(const PoolWindowContext& context) {
    const std::string name = singleSelectedEntry(*context.list1);
    if (name.empty()) return;
    ListWidgetPoolList list(*context.list1);
    renamePoolFile(context.paths, context.dialogs, list, name);
    poolListChanged(context);
}

void deleteSelectedPoolFile(const PoolWindowContext& context) {
    std::vector<std::string> names;
    for (int row = 0; row < context.list1->count(); ++row) {
        if (context.list1->item(row)->isSelected()) names.push_back(poolNameBytes(context.list1->item(row)->text()));
    }
    if (names.empty()) return;
    ListWidgetPoolList list(*context.list1);
    deleteSeveralPoolFiles(context.paths, context.dialogs, list, names, context.dispose);
    poolListChanged(context);
}

void connectPoolFileActions(QMenu& op, const PoolWindowContext& context) {
    // A double-click opens the entry, as a file manager does.
    QObject::connect(context.list1, &QListWidget::itemDoubleClicked, &op, [context](QListWidgetItem* item) {
        context.list1->clearSelection();
        item->setSelected(true);
        openSelectedPoolFile(context);
    });
    const std::pair<const char*, void (*)(const PoolWindowContext&)> actions[] = {
        {"OPN", openSelectedPoolFile},
        {"SEE", showSelectedPoolFileProperties},
        {"RENAME", renameSelectedPoolFile},
        {"del", deleteSelectedPoolFile}};
    for (const auto& [name, act] : actions) {
        for (QAction* action : op.actions()) {
            if (action->objectName() != QLatin1String(name)) continue;
            QObject::connect(action, &QAction::triggered, &op, [context, act] { act(context); });
        }
    }
}

}  // namespace sbx
