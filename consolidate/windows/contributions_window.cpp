#include "consolidate/windows/contributions_window.h"

#include <cctype>

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "consolidate/run_record_reader.h"
#include "consolidate/windows/qt_text.h"
#include "spreadsheet/utf8_path.h"
#include "ui/pool_name_text.h"

namespace sbx {

ContributionsWindow::ContributionsWindow(const std::filesystem::path& summary, const QString& worksheet,
                                         CellAddress cell, QWidget* parent)
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
    list->setObjectName(QStringLiteral("contributionsList"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("文件"), QStringLiteral("值")});
    list->header()->setStretchLastSection(true);
    layout->addWidget(list);
    try {
        const auto found = contributionsFromRecord(summary, worksheet.toUtf8().toStdString(), cell);
        if (!found) {
            heading->setText(qtText(where) + QStringLiteral("：没有文件在此处有值"));
        } else {
            heading->setText(qtText(where + " 的合计：" + found->total +
                                    (found->refused ? "（汇总表未接受此值）" : "")));
            for (const auto& c : found->from) {
                new QTreeWidgetItem(list,
                                    {poolNameText(c.file), qtText(c.value + (c.addsNothing ? "（不计入合计）" : ""))});
            }
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
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 320);
}

void showContributions(QWidget* parent, const std::filesystem::path& summary, const QString& worksheet,
                       CellAddress cell) {
    ContributionsWindow window(summary, worksheet, cell, parent);
    window.exec();
}

}  // namespace sbx
