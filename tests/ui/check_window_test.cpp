// The check window before a run and the contributions window of a summary cell, driven as a
// person does: buttons clicked, keys pressed, the window closed by the window system.
#include <filesystem>
#include <fstream>
#include <optional>

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "consolidate/run/run.h"
#include "consolidate/record/run_record.h"
#include "consolidate/check/source_check.h"
#include "consolidate/desktop/windows/check_window.h"
#include "consolidate/desktop/windows/contributions_window.h"

namespace fs = std::filesystem;
using sbx::CheckChoice;

namespace {

const fs::path kFamily = fs::path(SBX_TEST_DATA) / "check";
const sbx::Job kJob{{"收入明细", *sbx::parseCellRange("b4:d11")}, {"支出", *sbx::parseCellRange("b2:c6")}};

std::vector<fs::path> family(std::initializer_list<const char*> names) {
    std::vector<fs::path> files;
    for (const char* n : names) files.push_back(kFamily / n);
    return files;
}

sbx::CheckReport checkOf(const std::vector<fs::path>& files) {
    auto host = sbx::makeNativeHost();
    sbx::SourceCache cache(*host);
    return sbx::checkSources({files, kFamily / "template.xls", kJob}, cache);
}

enum class Act { IncludeAll, Skip, Cancel, Escape, Enter, CloseBox };

}  // namespace

Q_DECLARE_METATYPE(Act)
Q_DECLARE_METATYPE(CheckChoice)

class CheckWindowTest : public QObject {
    Q_OBJECT
private slots:
    void listsFlaggedFilesFirst() {
        sbx::CheckWindow window(checkOf(family({"unit_a.xls", "inserted_row.xls", "duplicate.xls"})));
        auto* list = window.findChild<QTreeWidget*>(QStringLiteral("checkList"));
        QVERIFY(list);
        QCOMPARE(list->topLevelItemCount(), 3);
        const QStringList expected[] = {
            {"inserted_row.xls", "格式不符", "收入明细!A6：模板为“投资收益”，此文件为“新增项目”"},
            {"duplicate.xls", "重复", "与 unit_a.xls 完全相同"},
            {"unit_a.xls", "正常", ""},
        };
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                QCOMPARE(list->topLevelItem(row)->text(column), expected[row][column]);
            }
        }
    }

    void answers_data() {
        QTest::addColumn<Act>("act");
        QTest::addColumn<CheckChoice>("expected");
        QTest::newRow("全部汇总") << Act::IncludeAll << CheckChoice::IncludeAll;
        QTest::newRow("跳过有问题的文件") << Act::Skip << CheckChoice::SkipFlagged;
        QTest::newRow("取消") << Act::Cancel << CheckChoice::Cancel;
        QTest::newRow("Esc") << Act::Escape << CheckChoice::Cancel;
        QTest::newRow("Enter decides nothing") << Act::Enter << CheckChoice::Cancel;
        QTest::newRow("the window's ×") << Act::CloseBox << CheckChoice::Cancel;
    }
    void answers() {
        QFETCH(Act, act);
        QFETCH(CheckChoice, expected);
        sbx::CheckWindow window(checkOf(family({"unit_a.xls", "inserted_row.xls"})));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        const auto button = [&](const char* name) { return window.findChild<QPushButton*>(QString::fromLatin1(name)); };
        switch (act) {
            case Act::IncludeAll: QTest::mouseClick(button("includeAllButton"), Qt::LeftButton); break;
            case Act::Skip: QTest::mouseClick(button("skipFlaggedButton"), Qt::LeftButton); break;
            case Act::Cancel: QTest::mouseClick(button("cancelButton"), Qt::LeftButton); break;
            case Act::Escape: QTest::keyClick(&window, Qt::Key_Escape); break;
            case Act::Enter: QTest::keyClick(&window, Qt::Key_Return); break;
            case Act::CloseBox: {
                QCloseEvent close;
                QApplication::sendEvent(&window, &close);
                break;
            }
        }
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(window.choice(), expected);
    }

    void namesTheFilesNoAnswerTakesIn() {
        const struct {
            std::initializer_list<const char*> files;
            QString note;
        } cases[] = {
            {{"unit_a.xls", "damaged.xls", "inserted_row.xls"}, QStringLiteral("其中 1 个文件无法读取，无论选择哪一项都不参加汇总：damaged.xls")},
            {{"unit_a.xls", "inserted_row.xls"}, QString()},
        };
        for (const auto& c : cases) {
            sbx::CheckWindow window(checkOf(family(c.files)));
            auto* note = window.findChild<QLabel*>(QStringLiteral("unreadableNote"));
            QCOMPARE(note ? note->text() : QString(), c.note);
        }
    }

    // 按标签对齐汇总 checks again by the labels, and back; a run on the aligned check shows, in
    // 查看来源, the cell each shifted report's amount was taken from.
    void alignsByLabelsWhenTheBoxIsTicked() {
        const fs::path align = fs::path(SBX_TEST_DATA) / "align";
        sbx::CheckRequest request{{}, align / "template.xls", {{"收支", *sbx::parseCellRange("b4:c9")}}};
        for (const char* name : {"in_place.xls", "shifted.xls", "moved_column.xls", "extra_label.xls"}) {
            request.sources.push_back(align / name);
        }
        auto host = sbx::makeNativeHost();
        std::optional<sbx::SourceCache> cache(std::in_place, *host);
        sbx::CheckReport report = sbx::checkSources(request, *cache);
        std::vector<bool> asked;
        const sbx::Recheck recheck = [&](bool aligned) -> const sbx::CheckReport& {
            asked.push_back(aligned);
            request.alignLabels = aligned;
            cache.emplace(*host);
            return report = sbx::checkSources(request, *cache);
        };
        sbx::CheckWindow window(report, nullptr, recheck);
        auto* box = window.findChild<QCheckBox*>(QStringLiteral("alignLabelsBox"));
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("按标签对齐汇总"));
        auto* list = window.findChild<QTreeWidget*>(QStringLiteral("checkList"));
        const auto verdicts = [&] {
            QStringList shown;
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                shown << list->topLevelItem(row)->text(0) + " " + list->topLevelItem(row)->text(1);
            }
            return shown;
        };
        const QStringList inPlace{"shifted.xls 格式不符", "moved_column.xls 格式不符", "extra_label.xls 格式不符", "in_place.xls 正常"};
        QCOMPARE(verdicts(), inPlace);
        box->setChecked(true);
        QCOMPARE(verdicts(), (QStringList{"extra_label.xls 标签对不上", "in_place.xls 正常", "shifted.xls 正常", "moved_column.xls 正常"}));
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("收支!A8 的标签 “培训” 模板中没有，这一行（列）不能相加"));
        box->setChecked(false);
        QCOMPARE(verdicts(), inPlace);
        box->setChecked(true);
        QCOMPARE(asked, (std::vector<bool>{true, false, true}));

        QTemporaryDir dir;
        sbx::RunRequest run;
        run.sources = request.sources;
        run.templateFile = request.templateFile;
        run.summary = fs::path(dir.path().toStdString()) / "total.xls";
        run.job = request.job;
        run.saving = sbx::Saving::OnceAtEnd;
        sbx::RunEvents events;
        sbx::StrictDecisions decisions;
        const auto done = sbx::run(run, *host, events, decisions, *cache);
        QVERIFY(done.succeeded());
        sbx::writeRunRecord({std::chrono::system_clock::now(), report, sbx::CheckOutcome::IncludedAll, run, done}, *cache);
        cache.reset();
        sbx::ContributionsWindow contributions(run.summary, QStringLiteral("收支"), {5, 2});
        auto* lines = contributions.findChild<QTreeWidget*>(QStringLiteral("contributionsList"));
        QStringList files;
        for (int row = 0; row < lines->topLevelItemCount(); ++row) files << lines->topLevelItem(row)->text(0);
        QCOMPARE(files, (QStringList{"extra_label.xls", "in_place.xls", "moved_column.xls（按标签对齐，取自 C5）",
                                     "shifted.xls（按标签对齐，取自 B7）"}));
    }

    void showsACellsContributionsFromTheRecord() {
        QTemporaryDir dir;
        sbx::RunRequest request;
        request.sources = family({"unit_a.xls", "unit_b.xls", "unit_c.xls"});
        request.templateFile = kFamily / "template.xls";
        request.summary = fs::path(dir.path().toStdString()) / "total.xls";
        request.job = kJob;
        request.saving = sbx::Saving::OnceAtEnd;
        auto host = sbx::makeNativeHost();
        {
            sbx::SourceCache cache(*host);
            const auto check = sbx::checkSources({request.sources, request.templateFile, request.job}, cache);
            sbx::RunEvents events;
            sbx::StrictDecisions decisions;
            const auto report = sbx::run(request, *host, events, decisions, cache);
            QVERIFY(report.succeeded());
            sbx::writeRunRecord({std::chrono::system_clock::now(), check, sbx::CheckOutcome::NothingFlagged, request, report},
                                cache);
        }
        // 收入明细!c5 of the three units as xlrd reads them: 1011.25, 2011.25 and the text "1200".
        sbx::ContributionsWindow window(request.summary, QStringLiteral("收入明细"), {5, 3});
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("contributionsHeading"))->text(),
                 QStringLiteral("收入明细!C5 的合计：4222.5"));
        auto* list = window.findChild<QTreeWidget*>(QStringLiteral("contributionsList"));
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("1011.25"));
        QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("“1200”"));
        QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("unit_c.xls"));

        // In the cell's own format, right-aligned, sorted by either column, the total at the
        // foot, and copied as lines a spreadsheet takes.
        sbx::ContributionsWindow money(request.summary, QStringLiteral("收入明细"), {5, 3}, nullptr, "#,##0.00");
        auto* lines = money.findChild<QTreeWidget*>(QStringLiteral("contributionsList"));
        money.show();
        QVERIFY(QTest::qWaitForWindowExposed(&money));
        QCOMPARE(money.findChild<QLabel*>(QStringLiteral("contributionsTotal"))->text(), QStringLiteral("合计  4,222.50"));
        QCOMPARE(lines->topLevelItem(0)->text(1), QStringLiteral("1,011.25"));
        QVERIFY(lines->topLevelItem(0)->textAlignment(1) & Qt::AlignRight);
        QTest::mouseClick(lines->header()->viewport(), Qt::LeftButton, {},
                          QPoint(lines->header()->sectionViewportPosition(1) + 5, 5));
        QCOMPARE(lines->sortColumn(), 1);
        lines->sortByColumn(1, Qt::DescendingOrder);  // amounts by value, the text "1200" apart from them
        QCOMPARE(lines->topLevelItem(1)->text(0), QStringLiteral("unit_b.xls"));
        QCOMPARE(lines->topLevelItem(2)->text(0), QStringLiteral("unit_a.xls"));
        lines->topLevelItem(2)->setSelected(true);
        QCOMPARE(money.copiedText(), QStringLiteral("unit_a.xls\t1,011.25\n合计\t4,222.50\n"));
        lines->clearSelection();
        QCOMPARE(money.copiedText().count('\n'), 4);
        QTest::keySequence(lines, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), money.copiedText());

        // A summary changed after its record (or saved by a run killed before its record): no sources shown.
        std::ofstream(request.summary, std::ios::binary | std::ios::app) << "changed";
        sbx::ContributionsWindow changed(request.summary, QStringLiteral("收入明细"), {5, 3});
        QCOMPARE(changed.findChild<QLabel*>(QStringLiteral("contributionsHeading"))->text(),
                 QStringLiteral("运行记录与汇总表不符（汇总表在记录之后被改动过），无法显示来源。"));
        QCOMPARE(changed.findChild<QTreeWidget*>(QStringLiteral("contributionsList"))->topLevelItemCount(), 0);

        sbx::ContributionsWindow without(fs::path(dir.path().toStdString()) / "other.xls", QStringLiteral("收入明细"), {5, 3});
        QCOMPARE(without.findChild<QLabel*>(QStringLiteral("contributionsHeading"))->text(),
                 QStringLiteral("没有可用的运行记录：找不到或无法打开运行记录：\n") + dir.path() + QStringLiteral("/other.xls.run.json"));
        QCOMPARE(without.findChild<QTreeWidget*>(QStringLiteral("contributionsList"))->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(CheckWindowTest)
#include "check_window_test.moc"
