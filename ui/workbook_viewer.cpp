#include "ui/workbook_viewer.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <vector>
#include <exception>

#include "spreadsheet/number_format_text.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "ui/literal_ampersands.h"
#include "ui/qt_dialogs.h"
#include "ui/window_placement.h"
#include "workspace/file_kind.h"

namespace sbx {
namespace {

// Columns fit the widest of their first rows' values, up to this many rows; text columns
// up to kWidestTextColumn pixels, amounts always whole.
constexpr int kRowsFitted = 2000;
constexpr int kNarrowestColumn = 72;
constexpr int kWidestTextColumn = 320;

bool isFigure(const CellValue& value) { return value.kind() == CellKind::Number || value.kind() == CellKind::Date; }

}  // namespace

QString displayText(const CellValue& value, const std::string& numberFormat) {
    switch (value.kind()) {
        case CellKind::Empty:
            return {};
        case CellKind::Number:
        case CellKind::Date:
            return QString::fromStdString(
                formatNumber(value.numberValue(), numberFormat, value.kind() == CellKind::Date).text);
        case CellKind::Text:
            return QString::fromStdString(value.textValue());
        case CellKind::Boolean:
            return value.booleanValue() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        case CellKind::Error:
            return QString::fromStdString(errorText(value.errorCode()));
    }
    return {};
}

WorksheetModel::WorksheetModel(const Worksheet& sheet, SheetGrid grid, std::function<bool(int, int)> marked, QObject* parent)
    : QAbstractTableModel(parent), sheet_(sheet), grid_(grid), marked_(std::move(marked)) {}

QColor markedCellColour() { return {198, 239, 206}; }
QColor keptCellColour() { return {255, 214, 160}; }

namespace {
const char* const kKeptText = "拒绝写入，仍是模板中的数值";
}  // namespace

int WorksheetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.rows; }
int WorksheetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.columns; }

QVariant WorksheetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const bool kept = (role == Qt::BackgroundRole || role == Qt::ToolTipRole) && kept_ && kept_(index.row() + 1, index.column() + 1);
    if (role == Qt::ToolTipRole) return kept ? QVariant(QString::fromUtf8(kKeptText)) : QVariant();
    if (role == Qt::BackgroundRole) {
        if (kept) return QVariant(keptCellColour());
        return marked_ && marked_(index.row() + 1, index.column() + 1) ? QVariant(markedCellColour()) : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole && role != Qt::ForegroundRole &&
        role != Qt::ToolTipRole)
        return {};
    const int row = index.row() + 1;
    const int column = index.column() + 1;
    const CellValue value = sheet_.cell(row, column);
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignVCenter | (isFigure(value) ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (!isFigure(value)) return role == Qt::DisplayRole ? QVariant(displayText(value)) : QVariant();
    const std::string code = sheet_.numberFormat(row, column);
    if (role == Qt::ForegroundRole) {
        const std::string colour = formatNumber(value.numberValue(), code, value.kind() == CellKind::Date).colour;
        return colour.empty() ? QVariant() : QVariant(QColor(QString::fromStdString(colour)));
    }
    // The stored number, for amounts shown rounded.
    if (role == Qt::ToolTipRole) return QString::fromStdString(generalNumberText(value.numberValue()));
    return displayText(value, code);
}

QVariant WorksheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    return orientation == Qt::Horizontal ? QVariant(QString::fromStdString(columnLetters(section + 1))) : QVariant(section + 1);
}

WorkbookViewer::WorkbookViewer(Workbook& book, ViewerExtras extras, QWidget* parent)
    : QWidget(parent, Qt::Window), book_(book), extras_(std::move(extras)) {
    setObjectName("workbookViewer");
    setWindowTitle(QString::fromStdString(utf8String(book.path().filename())) + QString::fromUtf8(" (只读)"));
    setAttribute(Qt::WA_DeleteOnClose);

    tabs_ = new QTabBar(this);
    tabs_->setObjectName("sheetTabs");
    tabs_->setShape(QTabBar::RoundedSouth);
    for (int k = 1; k <= book.worksheetCount(); ++k) tabs_->addTab(literalAmpersands(QString::fromStdString(book.worksheet(k).name())));
    table_ = new QTableView(this);
    table_->setObjectName("cells");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setDefaultSectionSize(kNarrowestColumn);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, &WorkbookViewer::showCellMenu);
    selectionLabel_ = new QLabel(this);
    selectionLabel_->setObjectName("selectionLabel");
    selectionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->addWidget(selectionLabel_, 1);
    if (extras_.takeRange) {
        takeRangeButton_ = new QPushButton(QString::fromUtf8("填入区间"), this);
        takeRangeButton_->setObjectName("takeRange");
        takeRangeButton_->setToolTip(QString::fromUtf8("把选定的单元格区域填入环境信息设定中本工作表的区间"));
        connect(takeRangeButton_, &QPushButton::clicked, this, &WorkbookViewer::takeSelectedRange);
        top->addWidget(takeRangeButton_);
    }
    if (extras_.marked) {
        auto* legend = new QLabel(QString::fromUtf8("绿底：本次汇入的单元格"), this);
        legend->setObjectName("markLegend");
        legend->setStyleSheet(QStringLiteral("QLabel { background: %1; padding: 2px 6px; }").arg(markedCellColour().name()));
        top->addWidget(legend);
    }
    if (extras_.kept) {
        auto* legend = new QLabel(QString::fromUtf8("橙底：") + QString::fromUtf8(kKeptText), this);
        legend->setObjectName("keptLegend");
        legend->setStyleSheet(QStringLiteral("QLabel { background: %1; padding: 2px 6px; }").arg(keptCellColour().name()));
        top->addWidget(legend);
    }
    if (extras_.openFolder) {
        auto* folderButton = new QPushButton(QString::fromUtf8("打开所在文件夹"), this);
        folderButton->setObjectName("openFolder");
        const QString folder = QString::fromStdString(utf8String(book.path().parent_path()));
        folderButton->setToolTip(QDir::toNativeSeparators(folder));
        connect(folderButton, &QPushButton::clicked, this,
                [this, folder] { extras_.openFolder(QUrl::fromLocalFile(folder)); });
        top->addWidget(folderButton);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addWidget(tabs_);
    resize(760, 520);

    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { showWorksheet(index + 1); });
    int start = 1;
    for (int k = 1; k <= book.worksheetCount(); ++k)
        if (!extras_.startSheet.empty() && book.worksheet(k).name() == extras_.startSheet) start = k;
    if (book.worksheetCount() > 0) showWorksheet(start);
    const QModelIndex startCell = table_->model() == nullptr ? QModelIndex()
                                  : table_->model()->index(extras_.startCell.row - 1, extras_.startCell.column - 1);
    if (startCell.isValid() && !extras_.startSheet.empty()) {
        table_->setCurrentIndex(startCell);
        // Once shown and laid out: before, every cell counts as out of sight.
        QTimer::singleShot(0, this, [this] { table_->scrollTo(table_->currentIndex(), QAbstractItemView::EnsureVisible); });
    }
    table_->setFocus();
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void WorkbookViewer::fitColumns(const Worksheet& sheet) {
    QHeaderView& header = *table_->horizontalHeader();
    // A new model starts every column at the default width; only those with values are fitted.
    const auto [lastRow, lastColumn] = sheet.lastValueCell();
    if (lastRow == 0) return;
    const QFontMetrics metrics(table_->font());
    const int padding = 2 * table_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table_) + 10;
    std::vector<int> widths(static_cast<size_t>(lastColumn) + 1, kNarrowestColumn);
    sheet.forEachValue(CellArea{1, 1, std::min(lastRow, kRowsFitted), lastColumn},
                       [&](int row, int column, const CellValue& value) {
                           const bool figure = isFigure(value);
                           const QString text = figure ? displayText(value, sheet.numberFormat(row, column)) : displayText(value);
                           const int wanted = metrics.horizontalAdvance(text) + padding;
                           auto& width = widths[static_cast<size_t>(column)];
                           width = std::max(width, figure ? wanted : std::min(wanted, kWidestTextColumn));
                       });
    for (int column = 1; column <= lastColumn; ++column) header.resizeSection(column - 1, widths[static_cast<size_t>(column)]);
}

void WorkbookViewer::showWorksheet(int position) {
    if (position < 1 || position > book_.worksheetCount()) return;
    if (tabs_->currentIndex() != position - 1) {
        tabs_->setCurrentIndex(position - 1);  // whose signal comes back here
        return;
    }
    auto* previous = model_;
    std::function<bool(int, int)> marked;
    if (extras_.marked) {
        marked = [this, name = book_.worksheet(position).name()](int row, int column) {
            return extras_.marked(name, row, column);
        };
    }
    model_ = new WorksheetModel(book_.worksheet(position), book_.grid(), std::move(marked), this);
    if (extras_.kept) {
        model_->setKept([this, name = book_.worksheet(position).name()](int row, int column) {
            return extras_.kept(name, row, column);
        });
    }
    table_->setModel(model_);
    delete previous;
    fitColumns(book_.worksheet(position));
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &WorkbookViewer::selectionChanged);
    selectionChanged();
}

std::string WorkbookViewer::numberFormat(const std::string& worksheet, CellAddress cell) const {
    for (int k = 1; k <= book_.worksheetCount(); ++k)
        if (book_.worksheet(k).name() == worksheet) return book_.worksheet(k).numberFormat(cell.row, cell.column);
    return "General";
}

std::string WorkbookViewer::currentWorksheet() const {
    const int index = tabs_->currentIndex();
    return index < 0 ? std::string() : book_.worksheet(index + 1).name();
}

std::optional<CellArea> WorkbookViewer::selectedArea() const {
    if (table_->selectionModel() == nullptr) return std::nullopt;
    const QItemSelection selection = table_->selectionModel()->selection();
    if (selection.isEmpty()) return std::nullopt;
    const QItemSelectionRange& area = selection.last();
    return CellArea{area.top() + 1, area.left() + 1, area.bottom() + 1, area.right() + 1};
}

QString WorkbookViewer::selectedAddress() const {
    const auto area = selectedArea();
    return area ? QString::fromStdString(areaName(*area)) : QString();
}

void WorkbookViewer::selectionChanged() {
    selectionLabel_->setText(selectedAddress());
    if (takeRangeButton_ != nullptr) {
        takeRangeButton_->setEnabled(selectedArea().has_value() && extras_.takesRangeOf &&
                                     extras_.takesRangeOf(currentWorksheet()));
    }
}

void WorkbookViewer::takeSelectedRange() {
    const auto area = selectedArea();
    const std::string sheet = currentWorksheet();
    if (!area || !extras_.takesRangeOf || !extras_.takesRangeOf(sheet)) return;
    extras_.takeRange(sheet, *area);
    selectionLabel_->setText(selectedAddress() + QString::fromUtf8("  已填入「") + QString::fromStdString(sheet) +
                             QString::fromUtf8("」的区间"));
}

void WorkbookViewer::showCellMenu(const QPoint& at) {
    const QModelIndex index = table_->indexAt(at);
    if (!extras_.cellMenu || !index.isValid()) return;
    QMenu menu(this);
    extras_.cellMenu(menu, currentWorksheet(), {index.row() + 1, index.column() + 1});
    if (!menu.isEmpty()) menu.exec(table_->viewport()->mapToGlobal(at));
}

void lookAtWorkbook(DialogsPort& dialogs, const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost,
                    const std::filesystem::path& file, const ViewerExtras& extras) {
    // A FIFO would block the window for good, and a folder or device is no workbook.
    if (std::error_code error; std::filesystem::exists(std::filesystem::status(file, error)) &&
                               !isRegularWorkbookFile(file)) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, notAWorkbookFileText(file));
    }
    auto host = makeHost();
    Workbook& book = host->open(file);
    QPointer<WorkbookViewer> viewer = new WorkbookViewer(book, extras);
    // Over the window the user opened it from (the main window or the range entry), which has
    // the focus back once the look is over.
    const QPointer<QWidget> opener = QApplication::activeWindow();
    placeOver(*viewer, opener);
    keepUsableBesideMessages(*viewer);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    dialogs.messageBesideOtherWindows("查看完毕后,按确定自动关闭!");

    // The viewer reads the workbook until it is gone, so it goes first.
    bool closedByUser = viewer.isNull() || !viewer->isVisible();
    delete viewer.data();
    try {
        host->close(book, false);
        host->quit();
    } catch (const std::exception&) {
        closedByUser = true;
    }
    if (closedByUser) dialogs.message("表格已自动关闭!");
    if (opener) opener->activateWindow();
}

}  // namespace sbx
