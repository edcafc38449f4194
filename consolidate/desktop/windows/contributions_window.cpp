#include "consolidate/desktop/windows/contributions_window.h"

#include <cctype>
#include <charconv>
#include <optional>

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QShortcut>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "consolidate/record/run_record_reader.h"
#include "consolidate/desktop/windows/qt_text.h"
#include "spreadsheet/number_format_text.h"
#include "spreadsheet/utf8_path.h"
#include "ui/pool_name_text.h"
#include "workspace/natural_order.h"

namespace sbx {
namespace {

constexpr int kSortKey = Qt::UserRole;

// A value of the record that is a number: 1011.25, not “1200” or #DIV/0!.
std::optional<double> amountOf(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

QString amountText(const std::string& recorded, const std::string& numberFormat) {
    const auto amount = amountOf(recorded);
    return amount ? qtText(formatNumber(*amount, numberFormat).text) : qtText(recorded);
}

// Names in the order of the pool list (单位2 before 单位10), amounts by value, and amounts
// before the values that are no number.
class SourceLine final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        if (column == 0) return naturalLess(data(0, kSortKey).toString().toStdString(), other.data(0, kSortKey).toString().toStdString());
        const QVariant mine = data(1, kSortKey);
        const QVariant theirs = other.data(1, kSortKey);
        if (mine.isValid() != theirs.isValid()) return mine.isValid();
        return mine.isValid() ? mine.toDouble() < theirs.toDouble() : text(1) < other.text(1);
    }
};

}  // namespace

ContributionsWindow::ContributionsWindow(const std::filesystem::path& summary, const QString& worksheet,
                                         CellAddress cell, QWidget* parent, const std::string& numberFormat)
    : QDialog(parent) {
    setObjectName(QStringLiteral("contributionsWindow"));
    std::string where = worksheet.toUtf8().toStdString() + "!" + cellName(cell);
    for (char& c : where) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    setWindowTitle(QStringLiteral("单元格来源"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("contributionsHeading"));
    layout->addWidget(heading);
    auto* list = new QTreeWidget(this);
    list_ = list;
    list->setObjectName(QStringLiteral("contributionsList"));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHeaderLabels({QStringLiteral("文件"), QStringLiteral("值")});
    list->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    layout->addWidget(list);
    auto* totalLabel = new QLabel(this);
    totalLabel->setObjectName(QStringLiteral("contributionsTotal"));
    totalLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    totalLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(totalLabel);
    try {
        const auto found = contributionsFromRecord(summary, worksheet.toUtf8().toStdString(), cell);
        if (!found) {
            heading->setText(qtText(where) + QStringLiteral("：没有文件在此处有值"));
        } else {
            total_ = amountText(found->total, numberFormat);
            heading->setText(qtText(where) + QStringLiteral(" 的合计：") + total_ +
                             (found->refused ? QStringLiteral("（汇总表未接受此值）") : QString()));
            for (const auto& c : found->from) {
                const std::filesystem::path file = utf8Path(c.file);
                const QString name = poolNameText(utf8String(file.filename()));
                // A source added by its labels: the cell it was taken from in its own file.
                const QString taken = c.cell.empty() ? QString() : QStringLiteral("（按标签对齐，取自 %1）").arg(qtText(c.cell).toUpper());
                auto* line = new SourceLine(list, {name + taken, amountText(c.value, numberFormat) +
                                                             (c.addsNothing ? QStringLiteral("（不计入合计）") : QString())});
                line->setToolTip(0, poolNameText(c.file));
                line->setData(0, kSortKey, name);
                line->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
                if (const auto amount = amountOf(c.value); amount && !c.addsNothing) line->setData(1, kSortKey, *amount);
            }
            list->setSortingEnabled(true);
            list->sortByColumn(0, Qt::AscendingOrder);
            totalLabel->setText(QStringLiteral("合计  ") + total_);
        }
    } catch (const RecordOutOfDate& e) {
        // Sources that may not be the summary's are not shown at all.
        heading->setText(e.why() == RecordOutOfDate::Why::SummaryChanged
                             ? QStringLiteral("运行记录与汇总表不符（汇总表在记录之后被改动过），无法显示来源。")
                             : QStringLiteral("运行记录来自旧版本，无法确认与汇总表相符，无法显示来源。请重新汇表。"));
    } catch (const RunRecordError& e) {
        const char* why = e.kind() == RunRecordError::Kind::CannotOpen ? "找不到或无法打开运行记录"
                          : e.kind() == RunRecordError::Kind::Damaged  ? "运行记录已损坏"
                                                                       : "这不是本程序的运行记录";
        heading->setText(QStringLiteral("没有可用的运行记录：") + qtText(why) + QStringLiteral("：\n") +
                         poolNameText(utf8String(e.file())));
    } catch (const std::exception&) {
        // The summary itself could not be read for its digest.
        heading->setText(QStringLiteral("没有可用的运行记录：无法读取汇总表或运行记录"));
    }
    heading->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    auto* copy = buttons->addButton(QStringLiteral("复制"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copyContributions"));
    copy->setToolTip(QStringLiteral("复制所选各行（未选时为全部）及合计，可粘贴到表格中"));
    copy->setEnabled(list->topLevelItemCount() > 0);
    const auto copyLines = [this] { QApplication::clipboard()->setText(copiedText()); };
    connect(copy, &QPushButton::clicked, this, copyLines);
    connect(new QShortcut(QKeySequence::Copy, list), &QShortcut::activated, this, copyLines);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 320);
}

QString ContributionsWindow::copiedText() const {
    QString text;
    const bool selected = !list_->selectedItems().isEmpty();
    for (int k = 0; k < list_->topLevelItemCount(); ++k) {
        const QTreeWidgetItem* line = list_->topLevelItem(k);
        if (!selected || line->isSelected()) text += line->text(0) + '\t' + line->text(1) + '\n';
    }
    if (!total_.isEmpty()) text += QStringLiteral("合计\t") + total_ + '\n';
    return text;
}

void showContributions(QWidget* parent, const std::filesystem::path& summary, const QString& worksheet,
                       CellAddress cell, const std::string& numberFormat) {
    ContributionsWindow window(summary, worksheet, cell, parent, numberFormat);
    window.exec();
}

}  // namespace sbx
