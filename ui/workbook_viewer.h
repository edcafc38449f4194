#pragma once
// A read-only look at a workbook, where the program lets the user see a workbook to find
// the cells of a range: worksheet tabs, lower-case column letters and row numbers as the
// range entry wants them, the cells' values, and the address of the selected rectangle
// (b3:h20). It never writes the file.
#include <QAbstractTableModel>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"

class QLabel;
class QTabBar;
class QTableView;

namespace sbx {

// The cells of one worksheet, read as the view asks for them: all 65536 rows and 256
// columns, nothing read ahead.
class WorksheetModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit WorksheetModel(const Worksheet& sheet, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const Worksheet& sheet_;
};

// How a cell value is shown: numbers in up to 15 significant digits, dates as yyyy-mm-dd.
QString displayText(const CellValue& value);

class WorkbookViewer final : public QWidget {
    Q_OBJECT
public:
    // `book` must outlive the window.
    explicit WorkbookViewer(Workbook& book, QWidget* parent = nullptr);

    void showWorksheet(int position);  // from 1
    // "b3:h20", "b3" for one cell, empty without a selection.
    QString selectedAddress() const;
    QTableView& table() const { return *table_; }

private:
    void updateSelectionLabel();

    Workbook& book_;
    QTabBar* tabs_;
    QTableView* table_;
    QLabel* selectionLabel_;
    WorksheetModel* model_ = nullptr;  // owned by the window
};

// Lets the user look at `file` until they confirm: opens it on a host of its own, shows it
// in a WorkbookViewer, shows "查看完毕后,按确定自动关闭!" and then closes the viewer, the
// workbook (unsaved) and the host. When the user closed the viewer first, or closing fails,
// "表格已自动关闭!" follows. A workbook that cannot be opened, or a path that names a folder, FIFO or device,
// throws WorkbookError before anything is opened.
void lookAtWorkbook(DialogsPort& dialogs, const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost,
                    const std::filesystem::path& file);

}  // namespace sbx
