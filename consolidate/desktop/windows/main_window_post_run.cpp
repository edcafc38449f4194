#include "consolidate/desktop/windows/main_window_post_run.h"

#include <filesystem>
#include <system_error>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "consolidate/run/run_messages.h"
#include "consolidate/desktop/windows/qt_text.h"
#include "workspace/archive.h"
#include "workspace/export.h"
#include "ui/pool_name_text.h"

namespace sbx {

void MainWindowPostRun::archive(const std::vector<std::string>& runList) {
    const ArchiveResult result = archiveRunFiles(paths_, runList, dialogs_);
    if (result.listsReset()) resetForNewJob(result.stillInPool);
}

void MainWindowPostRun::resetForNewJob(const std::vector<std::string>& stillInPool) {
    auto* poolList = c_.poolList;
    auto* runList = c_.runList;
    auto* selectedCount = c_.selectedCount;
    c_.startButton->setEnabled(false);
    if (poolList->count() > 0) {
        poolList->clear();
        c_.poolCount->setText(signedCount(poolList->count()));
        // The efficiency mode resets the selected count with the pool list, the function
        // mode with the run list.
        if (mode_ == Mode::Efficiency) selectedCount->setText(QString::number(poolList->count()));
    }
    if (runList->count() > 0) {
        runList->clear();
        c_.runCount->setText(signedCount(runList->count()));
        if (mode_ == Mode::Function) selectedCount->setText(QString::number(0));
    }
    // Files that could not be moved are still in the pool: the list keeps showing them, in
    // the run list's order (the archiving visited it from the end).
    for (auto it = stillInPool.rbegin(); it != stillInPool.rend(); ++it) poolList->addItem(poolNameText(*it));
    if (!stillInPool.empty()) c_.poolCount->setText(signedCount(poolList->count()));
    c_.jobSetupButton->setEnabled(false);
}

void forgetVanishedPoolFiles(const MainWindowControls& controls, const WorkspacePaths& paths) {
    auto* poolList = controls.poolList;
    int gone = 0;
    bool selectedGone = false;
    for (int row = poolList->count() - 1; row >= 0; --row) {
        const std::string name = poolNameBytes(poolList->item(row)->text());
        // Only a file known to be gone leaves the list; one that cannot be looked at stays.
        std::error_code ec;
        if (std::filesystem::status(paths.poolFile(name), ec).type() != std::filesystem::file_type::not_found) continue;
        selectedGone = selectedGone || poolList->item(row)->isSelected();
        delete poolList->takeItem(row);
        ++gone;
    }
    if (gone > 0) {
        controls.poolCount->setText(signedCount(poolList->count()));
        if (selectedGone) {
            controls.selectedCount->setText(QString::number(poolList->selectedItems().size()));
        }
    }
}

void MainWindowPostRun::offerExport() {
    c_.progressButton->hide();
    auto* exportButton = c_.exportButton;
    exportButton->show();
    exportButton->setEnabled(true);
    exportButton->setFocus();
}

void exportFromMainWindow(const MainWindowControls& controls, const WorkspacePaths& paths, DialogsPort& dialogs,
                          const JobDefinition& job) {
    if (const IncompleteSummary& incomplete = job.incompleteSummary;
        incomplete.incomplete() && !dialogs.askYesNo(run_text::incompleteSummaryQuestion(incomplete, "导出"), Risk::Harmless)) {
        return;
    }
    exportSummary(paths, dialogs);
    controls.exitButton->setFocus();
    controls.hintBox->setText(qtText(export_text::kHintAfterExport));
}

}  // namespace sbx
