#pragma once
// Where a summary cell's total came from: the sources' values behind it, read from the run
// record beside the summary (no source is read again). For the viewer's context menu:
//
//     menu.addAction("查看来源", [&] { showContributions(viewer, summaryFile, sheetName, cell); });
#include <filesystem>

#include <QDialog>

#include "spreadsheet/cell_address.h"

namespace sbx {

class ContributionsWindow final : public QDialog {
public:
    // `summary`: the summary workbook; its record is runRecordPath(summary), used only when it
    // describes the summary on disk.
    ContributionsWindow(const std::filesystem::path& summary, const QString& worksheet, CellAddress cell,
                        QWidget* parent = nullptr);
};

// Shows the window modally.
void showContributions(QWidget* parent, const std::filesystem::path& summary, const QString& worksheet, CellAddress cell);

}  // namespace sbx
