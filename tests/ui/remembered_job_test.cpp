// Remembered jobs in the job windows: an accepted job is kept for its summary workbook,
// offered ticked and filled in the next time (still editable and checked), and a damaged
// job file is told about and left exactly as it was.
#include <QCheckBox>
#include <QLineEdit>
#include <fstream>

#include "job/job_file.h"
#include "job/windows/range_entry_window.h"
#include "job/windows/remembered_job.h"
#include "job/windows/sheet_selection_window.h"
#include "tests/support/test_files.h"
#include "tests/ui/job_window_harness.h"

using namespace sbx;
using namespace sbx::testing;

namespace {

QAbstractButton* button(QWidget* window, const char* name) { return window->findChild<QAbstractButton*>(name); }
QCheckBox* tick(QWidget* window, int k) { return window->findChild<QCheckBox*>(QString("chk%1").arg(10 * k + 1)); }

// Command2 of the main window up to the range entry, with worksheets `k` of sheets_9 ticked
// on top of what comes ticked.
RangeEntryWindow* setUpTo(JobWindowHarness& h, std::initializer_list<int> alsoTick, int chosen) {
    startJobSetup(h.context());
    auto* selection = SheetSelectionWindow::findOpen();
    if (selection == nullptr) return nullptr;
    // On the box itself: the check box's middle may lie beyond its short caption.
    for (int k : alsoTick) QTest::mouseClick(tick(selection, k), Qt::LeftButton, {}, QPoint(8, tick(selection, k)->height() / 2));
    h.dialogs.expectMessage("你选择了  " + std::to_string(chosen) + " 个工作表.");
    if (!clickScripted(button(selection, "Command1"), h.dialogs)) return nullptr;
    return RangeEntryWindow::findOpen();
}

}  // namespace

class RememberedJobTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }

    void anAcceptedJobIsOfferedNextTime() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        const auto file = jobFileOf(h.context().paths);
        auto* entry = setUpTo(h, {2, 5}, 2);
        QVERIFY(entry != nullptr);
        QVERIFY(entry->box(1, 2)->text().isEmpty());
        QTest::keyClicks(entry->box(1, 2), "b3:d5");
        QTest::keyClicks(entry->box(2, 2), "A1");
        QTest::keyClicks(entry->box(2, 3), "c9");
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(button(entry, "Command4"), h.dialogs));
        const std::vector<std::string> sheets{"表1", "表2", "表3", "表4", "表5", "表6", "表7", "表8", "表9"};
        const Job accepted{{"表2", {3, 2, 5, 4}}, {"表5", {1, 1, 9, 3}}};
        QCOMPARE(readJobFile(file).jobs, (std::vector<RememberedJob>{{sheets, accepted}}));

        // Next time: the same worksheets come ticked and the boxes filled in, still editable.
        auto* again = setUpTo(h, {}, 2);
        QVERIFY(again != nullptr);
        QCOMPARE(again->box(1, 2)->text(), QString("b3"));
        QCOMPARE(again->box(1, 3)->text(), QString("d5"));
        QCOMPARE(again->box(2, 2)->text(), QString("a1"));
        QVERIFY(again->box(2, 3)->isEnabled() && !again->box(2, 3)->isReadOnly());
        again->box(2, 3)->clear();
        QTest::keyClicks(again->box(2, 3), "a0");  // the same rules as typed by hand
        h.dialogs.expectMessage("txt23=a0输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！");
        QVERIFY(clickScripted(button(again, "Command4"), h.dialogs));
        again->box(2, 3)->clear();
        QTest::keyClicks(again->box(2, 3), "e7");
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(button(again, "Command4"), h.dialogs));
        QCOMPARE(*readJobFile(file).find(sheets), (Job{{"表2", {3, 2, 5, 4}}, {"表5", {1, 1, 7, 5}}}));
    }

    // The range entry opens with the first range box focused, so that Enter accepts remembered
    // ranges rather than pressing the first button (查看表格).
    void enterAcceptsTheRememberedRanges() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        auto* entry = setUpTo(h, {3}, 1);
        QVERIFY(entry != nullptr);
        QCOMPARE(entry->focusWidget(), entry->box(1, 2));
        QTest::keyClicks(entry->box(1, 2), "b3:d5");
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QTest::keyClick(entry->focusWidget(), Qt::Key_Return);
        QVERIFY(RangeEntryWindow::findOpen() == nullptr);

        auto* again = setUpTo(h, {}, 1);
        QVERIFY(again != nullptr);
        QCOMPARE(again->box(1, 2)->text(), QString("b3"));
        QCOMPARE(again->focusWidget(), again->box(1, 2));
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QTest::keyClick(again->focusWidget(), Qt::Key_Return);
        QVERIFY(RangeEntryWindow::findOpen() == nullptr);
        QVERIFY(h.job.jobReady);
    }

    // Another template's job is kept beside it, and does not fill this one's boxes.
    void jobsAreKeptPerTemplate() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        const auto file = jobFileOf(h.context().paths);
        RememberedJobs other;
        other.remember({"收入", "支出"}, {{"支出", {2, 2, 4, 4}}});
        writeJobFile(file, other);
        auto* entry = setUpTo(h, {1}, 1);
        QVERIFY(entry != nullptr);
        QVERIFY(entry->box(1, 2)->text().isEmpty());
        QTest::keyClicks(entry->box(1, 2), "a1:b2");
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(button(entry, "Command4"), h.dialogs));
        const RememberedJobs kept = readJobFile(file);
        QCOMPARE(kept.jobs.size(), size_t(2));
        QCOMPARE(kept.jobs.front(), other.jobs.front());
    }

    void aDamagedJobFileIsToldAndLeftAsItWas() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        const auto file = jobFileOf(h.context().paths);
        const std::string damaged = "shubuxing-jobs\t1\ntemplate\t表1\nsheet\t表1\tb3\n";
        std::ofstream(file, std::ios::binary) << damaged;
        h.dialogs.expectMessageContaining("方案文件第 3 行已损坏：\r" + utf8String(file));
        auto* entry = setUpTo(h, {1}, 1);
        QVERIFY(entry != nullptr);
        QVERIFY(entry->box(1, 2)->text().isEmpty());
        QTest::keyClicks(entry->box(1, 2), "a1:b2");
        h.dialogs.expectMessageContaining("本次方案未能保存，方案文件保持原样：\r方案文件第 3 行已损坏").expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(button(entry, "Command4"), h.dialogs));
        QVERIFY(h.job.jobReady);  // the job itself stands
        QCOMPARE(bytesOf(file), damaged);
        QVERIFY2(h.dialogs.problems().empty(), h.dialogs.problems().c_str());
    }
};

QTEST_MAIN(RememberedJobTest)
#include "remembered_job_test.moc"
