#include "consolidate/windows/main_window_post_run.h"

#include <filesystem>
#include <system_error>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "consolidate/windows/main_window_access.h"
#include "workspace/archive.h"
#include "workspace/export.h"

namespace sbx {

void MainWindowPostRun::archive(const std::vector<std::string>& runList) {
    const ArchiveResult result = archiveRunFiles(paths_, runList, dialogs_);
    if (result.listsReset()) resetForNewJob(result.stillInPool);
}

void MainWindowPostRun::resetForNewJob(const std::vector<std::string>& stillInPool) {
    auto* poolList = mainWindowControl<QListWidget>(main_, "List1");
    auto* runList = mainWindowControl<QListWidget>(main_, "List2");
    auto* selectedCount = mainWindowControl<QLabel>(main_, "Label13");
    mainWindowControl<QPushButton>(main_, "Command3")->setEnabled(false);
    if (poolList->count() > 0) {
        poolList->clear();
        mainWindowControl<QLabel>(main_, "Label4")->setText(signedCount(poolList->count()));
        // The efficiency mode resets the selected count with the pool list, the function
        // mode with the run list.
        if (mode_ == ConsolidationMode::Efficiency) selectedCount->setText(QString::number(poolList->count()));
    }
    if (runList->count() > 0) {
        runList->clear();
        mainWindowControl<QLabel>(main_, "Label10")->setText(signedCount(runList->count()));
        if (mode_ == ConsolidationMode::Function) selectedCount->setText(QString::number(0));
    }
    // Files that could not be moved are still in the pool: the list keeps showing them, in
    // the run list's order (the archiving visited it from the end).
    for (auto it = stillInPool.rbegin(); it != stillInPool.rend(); ++it) poolList->addItem(qtText(*it));
    if (!stillInPool.empty()) mainWindowControl<QLabel>(main_, "Label4")->setText(signedCount(poolList->count()));
    mainWindowControl<QPushButton>(main_, "Command2")->setEnabled(false);
}

void forgetVanishedPoolFiles(QWidget* mainWindow, const WorkspacePaths& paths) {
    auto* poolList = mainWindowControl<QListWidget>(mainWindow, "List1");
    int gone = 0;
    bool selectedGone = false;
    for (int row = poolList->count() - 1; row >= 0; --row) {
        const std::string name = poolList->item(row)->text().toUtf8().toStdString();
        // Only a file known to be gone leaves the list; one that cannot be looked at stays.
        std::error_code ec;
        if (std::filesystem::status(paths.poolFile(name), ec).type() != std::filesystem::file_type::not_found) continue;
        selectedGone = selectedGone || poolList->item(row)->isSelected();
        delete poolList->takeItem(row);
        ++gone;
    }
    if (gone > 0) {
        mainWindowControl<QLabel>(mainWindow, "Label4")->setText(signedCount(poolList->count()));
        if (selectedGone) {
            mainWindowControl<QLabel>(mainWindow, "Label13")
                ->setText(QString::number(poolList->selectedItems().size()));
        }
    }
}

void MainWindowPostRun::offerExport() {
    mainWindowControl<QPushButton>(main_, "Command7")->hide();
    auto* exportButton = mainWindowControl<QPushButton>(main_, "Command5");
    exportButton->show();
    exportButton->setEnabled(true);
    exportButton->setFocus();
}

void exportFromMainWindow(QWidget* mainWindow, const WorkspacePaths& paths, DialogsPort& dialogs) {
    exportSummary(paths, dialogs);
    mainWindowControl<QPushButton>(mainWindow, "Command1")->setFocus();
    mainWindowControl<QLineEdit>(mainWindow, "Text11")->setText(qtText(export_text::kHintAfterExport));
}

}  // namespace sbx
