#include "ui/workbook_viewer.h"

#include <QApplication>
#include <QDate>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QTabBar>
#include <QTableView>
#include <QTime>
#include <QVBoxLayout>
#include <cmath>
#include <exception>

#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "ui/literal_ampersands.h"
#include "workspace/file_kind.h"

namespace sbx {
namespace {

constexpr int kRows = 65536;
constexpr int kColumns = 256;

QString dateText(double serial) {
    // 1900 serials count a 29 February 1900 that never was: day 60. Before it, day 1 is
    // 1900-01-01; from day 61 on, the day count runs one ahead.
    const double day = std::floor(serial);
    const auto days = static_cast<qint64>(day);
    const QDate date = days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
    QString text = days == 60 ? QStringLiteral("1900-02-29") : date.toString(QStringLiteral("yyyy-MM-dd"));
    const auto seconds = static_cast<int>(std::lround((serial - day) * 86400.0));
    if (seconds > 0 && seconds < 86400) text += QTime(0, 0).addSecs(seconds).toString(QStringLiteral(" hh:mm:ss"));
    return text;
}

}  // namespace

QString displayText(const CellValue& value) {
    switch (value.kind()) {
        case CellKind::Empty:
            return {};
        case CellKind::Number:
            return QString::number(value.numberValue(), 'g', 15);
        case CellKind::Text:
            return QString::fromStdString(value.textValue());
        case CellKind::Boolean:
            return value.booleanValue() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        case CellKind::Date:
            return dateText(value.numberValue());
        case CellKind::Error:
            return QString::fromStdString(errorText(value.errorCode()));
    }
    return {};
}

WorksheetModel::WorksheetModel(const Worksheet& sheet, QObject* parent) : QAbstractTableModel(parent), sheet_(sheet) {}

int WorksheetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kRows; }
int WorksheetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant WorksheetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) return {};
    const CellValue value = sheet_.cell(index.row() + 1, index.column() + 1);
    if (role == Qt::TextAlignmentRole) {
        const bool figure = value.kind() == CellKind::Number || value.kind() == CellKind::Date;
        return QVariant::fromValue(Qt::AlignVCenter | (figure ? Qt::AlignRight : Qt::AlignLeft));
    }
    return displayText(value);
}

QVariant WorksheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    return orientation == Qt::Horizontal ? QVariant(QString::fromStdString(columnLetters(section + 1))) : QVariant(section + 1);
}

WorkbookViewer::WorkbookViewer(Workbook& book, QWidget* parent) : QWidget(parent, Qt::Window), book_(book) {
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
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->horizontalHeader()->setDefaultSectionSize(72);
    selectionLabel_ = new QLabel(this);
    selectionLabel_->setObjectName("selectionLabel");
    selectionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(selectionLabel_);
    layout->addWidget(table_, 1);
    layout->addWidget(tabs_);
    resize(760, 520);

    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { showWorksheet(index + 1); });
    if (book.worksheetCount() > 0) showWorksheet(1);
}

void WorkbookViewer::showWorksheet(int position) {
    if (position < 1 || position > book_.worksheetCount()) return;
    if (tabs_->currentIndex() != position - 1) {
        tabs_->setCurrentIndex(position - 1);  // whose signal comes back here
        return;
    }
    auto* previous = model_;
    model_ = new WorksheetModel(book_.worksheet(position), this);
    table_->setModel(model_);
    delete previous;
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WorkbookViewer::updateSelectionLabel);
    updateSelectionLabel();
}

QString WorkbookViewer::selectedAddress() const {
    if (table_->selectionModel() == nullptr) return {};
    const QItemSelection selection = table_->selectionModel()->selection();
    if (selection.isEmpty()) return {};
    const QItemSelectionRange& area = selection.last();
    return QString::fromStdString(areaName({area.top() + 1, area.left() + 1, area.bottom() + 1, area.right() + 1}));
}

void WorkbookViewer::updateSelectionLabel() { selectionLabel_->setText(selectedAddress()); }

void lookAtWorkbook(DialogsPort& dialogs, const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost,
                    const std::filesystem::path& file) {
    // A FIFO would block the window for good, and a folder or device is no workbook.
    if (std::error_code error; std::filesystem::exists(std::filesystem::status(file, error)) &&
                               !isRegularWorkbookFile(file)) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, notAWorkbookFileText(file));
    }
    auto host = makeHost();
    Workbook& book = host->open(file);
    QPointer<WorkbookViewer> viewer = new WorkbookViewer(book);
    viewer->show();
    viewer->raise();
    dialogs.message("查看完毕后,按确定自动关闭!");

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
}

}  // namespace sbx
