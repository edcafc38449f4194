#include "ui/pool_file_actions.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "workspace/natural_order.h"
#include "ui/workbook_viewer.h"
#include "workspace/file_copy.h"
#include "workspace/pool.h"
#include "workspace/startup.h"
#include "workspace/summary_template.h"
#include "workspace/file_kind.h"
#include "workspace/workbook_error_text.h"
#include "ui/pool_name_text.h"

namespace sbx {

namespace {

// After a rename or delete: the count follows the list, and an empty pool has no job to set up.
void poolListChanged(const PoolWindowContext& context) {
    if (context.refreshCounts) context.refreshCounts();
    if (context.poolList->count() == 0 && context.jobSetupButton != nullptr) context.jobSetupButton->setEnabled(false);
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
    const std::string name = singleSelectedEntry(*context.poolList);
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
    const std::string name = singleSelectedEntry(*context.poolList);
    if (name.empty()) return;
    context.dialogs.message(describePoolFile(context.paths, name, context.makeHost));
}

void renameSelectedPoolFile(const PoolWindowContext& context) {
    const std::string name = singleSelectedEntry(*context.poolList);
    if (name.empty()) return;
    ListWidgetPoolList list(*context.poolList);
    if (renamePoolFile(context.paths, context.dialogs, list, name) && context.showTemplate) context.showTemplate();
    poolListChanged(context);
}

void deleteSelectedPoolFile(const PoolWindowContext& context) {
    std::vector<std::string> names;
    for (int row = 0; row < context.poolList->count(); ++row) {
        if (context.poolList->item(row)->isSelected()) names.push_back(poolNameBytes(context.poolList->item(row)->text()));
    }
    if (names.empty()) return;
    // The summary copied from a file deleted now (no run has written it since, no template was
    // chosen) is made again at once from the template the pool has without it.
    const TemplateNote note = readTemplateNote(context.paths);
    const bool copyOfDeleted = note.chosen.empty() && !note.madeFrom.empty() &&
                               std::any_of(names.begin(), names.end(),
                                           [&](const std::string& name) { return context.paths.poolFile(name) == note.madeFrom; }) &&
                               sameFileContents(context.paths.summaryWorkbook(), note.madeFrom);
    ListWidgetPoolList list(*context.poolList);
    deleteSeveralPoolFiles(context.paths, context.dialogs, list, names, context.dispose);
    std::error_code error;
    if (copyOfDeleted && !std::filesystem::exists(note.madeFrom, error)) {
        if (const auto from = templateFor(context.paths, list.names(), opensOn(context.makeHost))) {
            const SummaryReplacement replaced = replaceSummaryWorkbook(context.paths, *from);
            if (replaced.copyError) {
                context.dialogs.message("无法将文件 " + utf8String(from->filename()) + " 复制为汇总文件 " +
                                        utf8String(replaced.summary) + "\r" + systemErrorText(replaced.copyError));
            }
            if (context.summaryReplaced) context.summaryReplaced();
        }
    }
    poolListChanged(context);
}

void chooseSelectedAsTemplate(const PoolWindowContext& context) {
    const std::string name = singleSelectedEntry(*context.poolList);
    if (!name.empty()) chooseTemplateFile(context, context.paths.poolFile(name));
}

bool chooseTemplateFile(const PoolWindowContext& context, const std::filesystem::path& file) {
    const std::string name = utf8String(file.filename());
    if (const std::string why = screenOn(context.makeHost)(file); !why.empty()) {
        context.dialogs.message(notATemplateText(name, why));
        return false;
    }
    // A summary that is only a unit's copy is replaced; one a run wrote is kept in hz/历史 first.
    const ListWidgetPoolList list(*context.poolList);
    const auto listed = list.names();
    const bool plainCopy = std::any_of(listed.begin(), listed.end(), [&](const std::string& n) {
        return sameFileContents(context.paths.summaryWorkbook(), context.paths.poolFile(n));
    });
    try {
        const std::filesystem::path kept = chooseTemplate(context.paths, file);
        if (plainCopy) {
            const SummaryReplacement replaced = replaceSummaryWorkbook(context.paths, kept);
            if (replaced.copyError) throw std::filesystem::filesystem_error("", kept, replaced.summary, replaced.copyError);
        } else {
            refreshSummaryKeepingThePrevious(context.paths, context.dialogs, kept);
        }
    } catch (const std::filesystem::filesystem_error& error) {
        context.dialogs.message("无法将 " + name + " 设为汇总模板：\r" + systemErrorText(error.code()));
        return false;
    }
    if (context.summaryReplaced) context.summaryReplaced();
    context.dialogs.message(templateChosenMessage(name, context.paths));
    return true;
}

std::string templateChosenMessage(const std::string& name, const WorkspacePaths& paths) {
    return "汇总模板已设为 " + name + "。\r汇总文件是它的复制，它的副本保存在 " + utf8String(keptTemplateDirectory(paths)) +
           " 中，在汇表池中删除或清理它也不受影响；添加文件不再更换汇总文件。";
}

void connectPoolFileActions(QMenu& op, const PoolWindowContext& context) {
    // A double-click opens the entry, as a file manager does.
    QObject::connect(context.poolList, &QListWidget::itemDoubleClicked, &op, [context](QListWidgetItem* item) {
        context.poolList->clearSelection();
        item->setSelected(true);
        openSelectedPoolFile(context);
    });
    const std::pair<const char*, void (*)(const PoolWindowContext&)> actions[] = {
        {"OPN", openSelectedPoolFile},
        {"SEE", showSelectedPoolFileProperties},
        {"RENAME", renameSelectedPoolFile},
        {"del", deleteSelectedPoolFile},
        {"TEMPLATE", chooseSelectedAsTemplate}};
    for (const auto& [name, act] : actions) {
        for (QAction* action : op.actions()) {
            if (action->objectName() != QLatin1String(name)) continue;
            QObject::connect(action, &QAction::triggered, &op, [context, act] { act(context); });
        }
    }
}

}  // namespace sbx
