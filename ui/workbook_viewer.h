#pragma once
// A read-only look at a workbook, where the program lets the user see a workbook to find
// the cells of a range: worksheet tabs, lower-case column letters and row numbers as the
// range entry wants them, the cells' values, and the address of the selected rectangle
// (b3:h20). It never writes the file. What a caller adds (a button that takes the selection
// into the range entry, marked cells, a cell menu) comes in ViewerExtras.
#include <QAbstractTableModel>
#include <QColor>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"

class QLabel;
class QMenu;
class QPushButton;
class QTabBar;
class QTableView;
class QUrl;

namespace sbx {

// The cells of one worksheet, read as the view asks for them: every row and column of its
// workbook's grid (iv65536 for .xls, xfd1048576 for .xlsx), nothing read ahead.
class WorksheetModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // `marked(row, column)` (from 1) tells the cells shown on a tinted ground; none without it.
    WorksheetModel(const Worksheet& sheet, SheetGrid grid, std::function<bool(int, int)> marked = {},
                            QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // `kept(row, column)` tells the cells that should have been written and kept the
    // workbook's own value: shown on a ground of their own, with a tooltip saying so.
    void setKept(std::function<bool(int, int)> kept) { kept_ = std::move(kept); }

private:
    const Worksheet& sheet_;
    SheetGrid grid_;
    std::function<bool(int, int)> marked_;
    std::function<bool(int, int)> kept_;
};

// The ground of a marked cell: a light green that keeps black text readable.
QColor markedCellColour();
// The ground of a kept cell: a light orange.
QColor keptCellColour();

// What a look at a workbook may add to the plain viewer. Each part is optional.
struct ViewerExtras {
    // The range entry that opened the look: whether it has boxes for a worksheet, and what
    // takes the selected rectangle into them. With it, the button "填入区间" shows.
    std::function<bool(const std::string& worksheet)> takesRangeOf;
    std::function<void(const std::string& worksheet, const CellArea& area)> takeRange;
    // Cells shown on a tinted ground, by worksheet name and row and column from 1.
    std::function<bool(const std::string& worksheet, int row, int column)> marked;
    // Cells that refused what was to be written and still hold the template's value, on a
    // ground of their own (with `marked`, the legend names both).
    std::function<bool(const std::string& worksheet, int row, int column)> kept;
    // Where the look starts: the worksheet and the cell made current (empty: the first sheet).
    std::string startSheet;
    CellAddress startCell{1, 1};
    // With it, the button "打开所在文件夹" asks it to open the folder that holds the workbook.
    std::function<void(const QUrl& folder)> openFolder;
    // Adds entries to the menu of a right-clicked cell; the menu shows when it has any.
    std::function<void(QMenu& menu, const std::string& worksheet, CellAddress cell)> cellMenu;
};

// How a cell value is shown: numbers and dates in the cell's number format (money with
// thousands separators and its decimals, percentages, dates as the format spells them).
QString displayText(const CellValue& value, const std::string& numberFormat = "General");

class WorkbookViewer final : public QWidget {
    Q_OBJECT
public:
    // `book` must outlive the window.
    explicit WorkbookViewer(Workbook& book, ViewerExtras extras = {}, QWidget* parent = nullptr);

    void showWorksheet(int position);  // from 1
    // The worksheet shown; empty for a workbook without any.
    std::string currentWorksheet() const;
    // "b3:h20", "b3" for one cell, empty without a selection.
    QString selectedAddress() const;
    QTableView& table() const { return *table_; }
    // The number format code of a cell; "General" for a worksheet the workbook does not have.
    std::string numberFormat(const std::string& worksheet, CellAddress cell) const;

private:
    std::optional<CellArea> selectedArea() const;
    void selectionChanged();
    void takeSelectedRange();
    void showCellMenu(const QPoint& at);
    // Widens the columns to their values; an amount is never cut.
    void fitColumns(const Worksheet& sheet);

    Workbook& book_;
    ViewerExtras extras_;
    QTabBar* tabs_;
    QTableView* table_;
    QLabel* selectionLabel_;
    QPushButton* takeRangeButton_ = nullptr;  // with extras_.takeRange
    WorksheetModel* model_ = nullptr;  // owned by the window
};

// Lets the user look at `file` until they confirm: opens it on a host of its own, shows it
// in a WorkbookViewer on top and active, shows "查看完毕后,按确定自动关闭!" beside it (the
// viewer stays usable while the message waits) and then closes the viewer, the workbook
// (unsaved) and the host. When the user closed the viewer first, or closing fails,
// "表格已自动关闭!" follows. A workbook that cannot be opened, or a path that names a folder,
// FIFO or device, throws WorkbookError before anything is opened.
void lookAtWorkbook(DialogsPort& dialogs, const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost,
                    const std::filesystem::path& file, const ViewerExtras& extras = {});

}  // namespace sbx
