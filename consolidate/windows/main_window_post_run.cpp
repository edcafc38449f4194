#include "consolidate/windows/main_window_post_run.h"

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
    if (result.listsReset()) resetForNewJob();
}

void MainWindowPostRun::resetForNewJob() {
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
    mainWindowControl<QPushButton>(main_, "Command2")->setEnabled(false);
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
