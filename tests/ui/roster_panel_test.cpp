// Who has reported, in the main window between runs: the roster made from the pool with one
// click, 已报/应报 with who is missing, unknown or reported twice as the pool and the roster
// change, and the unit cell chosen there, kept with the job and used to match the reports.
#include <QtTest>

#include "job/job_file.h"
#include "job/windows/remembered_job.h"
#include "tests/ui/run_window_fixture.h"

using namespace sbx::testing;
namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

class RosterPanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<RunFixture> f;

    fs::path rosterFile() const { return f->paths.poolDirectory() / sbx::utf8Path(sbx::kRosterFileName); }
    // The pool list changed: the roster follows once control returns to the window.
    void settle() const { QCoreApplication::processEvents(); }
    QString rosterCount() const { return f->button("RosterButton")->text(); }
    QString rosterDetail() const { return f->control<QLabel>("RosterDetail")->toolTip(); }

private slots:
    void init() {
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool();
    }
    void cleanup() {
        const std::string problems = f->dialogs.problems();
        f.reset();
        QVERIFY2(problems.empty(), problems.c_str());
    }

    void theFirstRosterIsMadeFromThePool() {
        QCOMPARE(rosterCount(), u("生成应报名单"));
        QVERIFY(!fs::exists(rosterFile()));
        f->dialogs.expectMessageContaining("已按汇表池生成应报名单（3 个单位）");
        QTest::mouseClick(f->button("RosterButton"), Qt::LeftButton);
        QCOMPARE(readText(rosterFile()), std::string("branch_1\nbranch_2\nbranch_3\n"));
        QCOMPARE(rosterCount(), u("已报 3 / 应报 3"));
        QCOMPARE(rosterDetail(), QString());
        // A second click only matches again: the roster kept is the user's to edit.
        writeText(rosterFile(), "branch_1\n");
        QTest::mouseClick(f->button("RosterButton"), Qt::LeftButton);
        QCOMPARE(readText(rosterFile()), std::string("branch_1\n"));
        QCOMPARE(rosterCount(), u("已报 1 / 应报 1"));
    }

    // The roster as edited by hand, and reports taken into the pool besides the fixtures'.
    void thePoolAgainstTheRosterSaysWhoIsMissingUnknownOrTwice_data() {
        QTest::addColumn<QString>("roster");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("detail");
        QTest::newRow("all in") << "branch_1\nbranch_2\nbranch_3\n" << QStringList{} << "已报 3 / 应报 3" << "";
        QTest::newRow("one missing") << "branch_1\r\nbranch_2\r\nbranch_3\r\n东城区\r\n" << QStringList{}
                                     << "已报 3 / 应报 4" << "未报：东城区";
        QTest::newRow("unknown and twice")
            << "branch_1\nbranch_2\nbranch_3\n" << QStringList{"总表副本.xls", "branch_2 更正.xls"} << "已报 3 / 应报 3"
            << "不在名单中：总表副本.xls\n一个单位多份：branch_2（branch_2.xls、branch_2 更正.xls）";
        QTest::newRow("a roster naming no unit") << "\n  \n" << QStringList{} << "应报名单有误" << "应报名单无法读取";
    }
    void thePoolAgainstTheRosterSaysWhoIsMissingUnknownOrTwice() {
        QFETCH(QString, roster);
        QFETCH(QStringList, added);
        QFETCH(QString, count);
        QFETCH(QString, detail);
        writeText(rosterFile(), roster.toStdString());
        QTest::mouseClick(f->button("RosterButton"), Qt::LeftButton);  // edited by hand: matched again on a click
        for (const QString& name : added) {
            fs::copy_file(kPoolFixture / "branch_1.xls", f->paths.poolFile(name.toStdString()));
            f->list1()->addItem(name);
        }
        settle();
        QCOMPARE(rosterCount(), count);
        QVERIFY2(rosterDetail().startsWith(detail), qPrintable(rosterDetail()));
        QVERIFY(!f->control<QLabel>("RosterDetail")->text().isEmpty() || detail.isEmpty());
        // A file deleted from the pool is missed again.
        if (!added.isEmpty()) {
            delete f->list1()->takeItem(f->list1()->count() - 1);
            settle();
            QVERIFY2(!rosterDetail().contains(u("多份")), qPrintable(rosterDetail()));
        }
    }

    // The unit cell: typed as the worksheet and the cell, checked against the template's
    // worksheets, kept with the job in 方案.txt, and what the reports are matched by.
    void theUnitCellNamesEachReportsUnitAndIsKeptWithTheJob() {
        const std::pair<const char*, const char*> units[] = {
            {"branch_1.xls", "东城区"}, {"branch_2.xls", "西城区"}, {"branch_3.xls", "东城区"}};
        auto host = sbx::makeNativeHost();
        for (const auto& [file, unit] : units) {
            sbx::Workbook& book = host->open(f->paths.poolFile(file));
            book.worksheet(kIncome).setCell(1, 1, sbx::CellValue::text(unit));
            host->saveAs(book, f->paths.poolFile(file));
            host->close(book, false);
        }
        writeText(rosterFile(), "东城区\n西城区\n朝阳区\n");
        sbx::JobDefinition& job = f->window->job();
        job.sheetNames = {kIncome, kCost};  // as 环境设定 read them from the summary
        job.rangeTable = {{kIncome, sbx::CellArea{4, 2, 9, 5}}};
        sbx::JobWindowContext context{job, f->dialogs, f->paths, nullptr, nullptr, nullptr, {}, {}, {}};
        sbx::rememberAcceptedJob(context);
        f->window->roster().refresh();
        QCOMPARE(rosterCount(), u("已报 0 / 应报 3"));  // by file names: none of them

        f->dialogs.expectInput("单位名称所在的单元格，如 封面!b3（留空：按文件名对应单位）：", "无此表!a1")
            .expectMessageContaining("“无此表!a1”不是汇总文件中的单元格")
            .expectInput("单位名称所在的单元格，如 封面!b3（留空：按文件名对应单位）：", std::string("收入明细!A1"));
        QTest::mouseClick(f->button("UnitCellButton"), Qt::LeftButton);
        QCOMPARE(job.unitCell, (sbx::UnitCell{kIncome, {1, 1}}));
        QCOMPARE(rosterCount(), u("已报 2 / 应报 3"));
        QCOMPARE(rosterDetail(), u("未报：朝阳区\n一个单位多份：东城区（branch_1.xls、branch_3.xls）"));
        const std::string kept = readText(sbx::jobFileOf(f->paths));
        QVERIFY2(kept.find("unit\t" + kIncome + "\ta1\n") != std::string::npos, kept.c_str());

        // The next 环境设定 brings it back with the job; an empty answer goes back to file names.
        job.unitCell.reset();
        sbx::offerRememberedJob(context);
        QCOMPARE(job.unitCell, (sbx::UnitCell{kIncome, {1, 1}}));
        f->dialogs.expectInput("单位名称所在的单元格，如 封面!b3（留空：按文件名对应单位）：", " ");
        QTest::mouseClick(f->button("UnitCellButton"), Qt::LeftButton);
        QVERIFY(!job.unitCell);
        QVERIFY(readText(sbx::jobFileOf(f->paths)).find("unit\t") == std::string::npos);
        QCOMPARE(rosterCount(), u("已报 0 / 应报 3"));
    }

    // The run's check matches the reports by the job's unit cell too.
    void theRunSaysWhoReportedByTheUnitCell() {
        auto host = sbx::makeNativeHost();
        for (const auto& [file, unit] : {std::pair{"branch_1.xls", "东城区"}, {"branch_2.xls", "西城区"}, {"branch_3.xls", "朝阳区"}}) {
            sbx::Workbook& book = host->open(f->paths.poolFile(file));
            book.worksheet(kIncome).setCell(1, 1, sbx::CellValue::text(unit));
            host->saveAs(book, f->paths.poolFile(file));
            host->close(book, false);
        }
        writeText(rosterFile(), "东城区\n西城区\n海淀区\n");
        f->readyJob();
        f->window->job().unitCell = sbx::UnitCell{kIncome, {1, 1}};
        f->dialogs.expectMessage("已报 2 / 应报 3\r未报：海淀区\r不在名单中：branch_3.xls")
            .expectYesNo(sbx::run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .expectYesNo(sbx::run_text::kExportQuestion, false);
        f->clickMode("Command1");
    }

    // During a run the time line takes the roster's place; after it the roster is back.
    void theRosterGivesWayToTheRunsTimeLine() {
        f->readyJob();
        bool rosterHidden = false;
        auto* timer = new QTimer(f->window.get());
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, timer, [&] {
            if (f->control<QLabel>("RunTime")->isVisible()) rosterHidden = f->button("RosterButton")->isHidden();
        });
        timer->start();
        f->dialogs.expectYesNo(sbx::run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .expectYesNo(sbx::run_text::kExportQuestion, false);
        f->clickMode("Command1");
        timer->stop();
        QVERIFY(rosterHidden);
        QVERIFY(f->button("RosterButton")->isVisible());
    }
};

QTEST_MAIN(RosterPanelTest)
#include "roster_panel_test.moc"
