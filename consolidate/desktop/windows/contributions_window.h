#pragma once
// Where a summary cell's total came from: the sources' values behind it, read from the run
// record beside the summary (no source is read again). For the viewer's context menu:
//
//     menu.addAction("查看来源", [&] { showContributions(viewer, summaryFile, sheetName, cell); });
#include <filesystem>
#include <string>

#include <QDialog>

class QTreeWidget;

#include "spreadsheet/cell_address.h"

namespace sbx {

// One line a source: the file's name (its folder in the tooltip; for a source added by its
// labels, the cell of its own it was taken from) and its amount in the summary
// cell's number format, right-aligned; either column sorts on a click of its heading; the
// total stands at the foot; Ctrl+C and "复制" copy the lines (the selected ones, or all) with
// the total, tab-separated, for a spreadsheet.
class ContributionsWindow final : public QDialog {
public:
    // `summary`: the summary workbook; its record is runRecordPath(summary), used only when it
    // describes the summary on disk. `numberFormat`: the summary cell's format code.
    ContributionsWindow(const std::filesystem::path& summary, const QString& worksheet, CellAddress cell,
                        QWidget* parent = nullptr, const std::string& numberFormat = "General");

    // The lines as copied: the selected ones, or all without a selection, then the total.
    QString copiedText() const;

private:
    QTreeWidget* list_;
    QString total_;
};

// Shows the window modally.
void showContributions(QWidget* parent, const std::filesystem::path& summary, const QString& worksheet, CellAddress cell,
                       const std::string& numberFormat = "General");

}  // namespace sbx
