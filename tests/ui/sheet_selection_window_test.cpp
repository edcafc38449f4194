// The worksheet selection window: reading the summary workbook's worksheets, the layout for
// few and many worksheets, the messages of its OK in their order, what it stores, and the
// second click on the main window's Command2.
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>
#include <fstream>

#include "job/windows/range_entry_window.h"
#include "job/windows/sheet_selection_window.h"
#include "job/windows/twips.h"
#include "job/windows/wheel_hook.h"
#include "tests/ui/job_window_harness.h"
#include "workspace/pool.h"

using namespace sbx;
using namespace sbx::testing;

namespace {

const char* const kCountWarning =
    "由于你一次选择了10个以上工作表，程序会占用大量系统资源\r建议停止其它应用程序的运行，以保证正常工作！";

QWidget* control(QWidget* window, const char* name) { return window->findChild<QWidget*>(name); }
QAbstractButton* button(QWidget* window, const char* name) { return window->findChild<QAbstractButton*>(name); }

SheetSelectionWindow* setUpJob(JobWindowHarness& h, const std::string& fixture) {
    h.useSummaryWorkbook(fixture);
    startJobSetup(h.context());
    return SheetSelectionWindow::findOpen();
}

}  // namespace

class SheetSelectionWindowTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }

    void nineWorksheetsFitWithoutScrollBar() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_9");
        QVERIFY(window != nullptr);
        QCOMPARE(window->objectName(), QString("checkfrm"));
        QCOMPARE(window->windowTitle(), QString("请选择EXCEL表格之工作表"));
        QCOMPARE(h.job.sheetNames.size(), size_t{9});
        QCOMPARE(h.job.sheetNames[8], std::string("表9"));
        QCOMPARE(h.lastHint(), std::string("请根据需要选择所需汇总合并的工作表!"));
        QVERIFY(!h.main.isEnabled());
        QVERIFY(!h.command2->isEnabledTo(&h.main));

        QCOMPARE(window->checkBoxes().size(), size_t{9});
        QVERIFY(window->scrollBar().isHidden());
        QCOMPARE(window->height(), twips::clientHeight(4400));
        QCOMPARE(control(window, "Command1")->y(), 3500 / 15);
        QCOMPARE(control(window, "Picture1")->height(), 3200 / 15);
        auto* last = window->findChild<QCheckBox*>("chk91");
        QVERIFY(last != nullptr);
        QCOMPARE(last->text(), QString("表9"));
        QCOMPARE(last->geometry(), QRect(qRound(1150 / 15.0), 2700 / 15, qRound(2811 / 15.0), 300 / 15));
        QVERIFY(!last->isChecked());
    }

    void tenWorksheetsScrollAndKeepPaddedNames() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_10_blank_names");
        QVERIFY(window != nullptr);
        // The job keeps the real names; only the check boxes show them padded.
        QCOMPARE(h.job.sheetNames[0], std::string(" 表 1 "));
        QCOMPARE(h.job.sheetNames[1], std::string("表2  "));
        QCOMPARE(window->findChild<QCheckBox*>("chk11")->text(), QString(" 表 1   "));
        QCOMPARE(window->height(), twips::clientHeight(3978));
        QVERIFY(!window->scrollBar().isHidden());
        QCOMPARE(window->scrollBar().maximum(), 600);
        QCOMPARE(window->scrollBar().pageStep(), 2549);
        QCOMPARE(control(window, "Command4")->y(), qRound(3051 / 15.0));

        // The tenth box lies below the viewport until the list is scrolled to its end.
        auto* viewport = control(window, "Picture1");
        auto* tenth = window->findChild<QCheckBox*>("chk101");
        QVERIFY(tenth != nullptr);
        const auto tenthTop = [&] { return tenth->mapTo(viewport, QPoint(0, 0)).y(); };
        QVERIFY(tenthTop() >= viewport->height());
        window->checkBoxes()[1]->setChecked(true);
        saveScreenshot(*window, "checkfrm.png");
        window->checkBoxes()[1]->setChecked(false);
        // The wheel over this window moves its own list, one small step a notch.
        QWheelEvent notch(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(tenth, &notch);
        QCOMPARE(window->scrollBar().value(), 15);
        window->scrollBar().setValue(600);
        QCOMPARE(control(window, "Picture2")->y(), qRound((2775.0 - 4000.0) * 600 / 613 / 15));
        QVERIFY(tenthTop() + tenth->height() <= viewport->height());
        QCOMPARE(window->scrollBar().singleStep(), 15);

        tenth->setChecked(true);
        window->findChild<QCheckBox*>("chk11")->setChecked(true);
        h.dialogs.expectMessage("你选择了  2 个工作表.");
        QVERIFY(clickScripted(button(window, "Command1"), h.dialogs));
        QCOMPARE(h.job.chosenSheets, (std::vector<std::string>{" 表 1 ", "表10"}));
        auto* entry = RangeEntryWindow::findOpen();
        QVERIFY(entry != nullptr);
        QCOMPARE(entry->box(1, 1)->text(), QString(" 表 1   "));
    }

    void withoutWorksheetsNothingCanBeChosen() {
        JobWindowHarness h;
        h.job.sheetNames.clear();
        auto* window = new SheetSelectionWindow(h.context());
        window->show();
        QVERIFY(window->checkBoxes().empty());
        QVERIFY(!window->scrollBar().isHidden());
        QVERIFY(!h.main.isEnabled());
        h.dialogs.expectMessage("请选择需要汇总合并的工作表!");
        QVERIFY(clickScripted(button(window, "Command1"), h.dialogs));
        QVERIFY(h.job.chosenSheets.empty());
        QVERIFY(window->isVisible());
        QVERIFY(h.main.isEnabled());
        QVERIFY(RangeEntryWindow::findOpen() == nullptr);
    }

    void chosenSheetsFollowWorksheetOrderNotTickingOrder() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_9");
        for (int k : {5, 2, 9}) window->findChild<QCheckBox*>(QString("chk%1").arg(10 * k + 1))->setChecked(true);
        h.dialogs.expectMessage("你选择了  3 个工作表.");
        QVERIFY(clickScripted(button(window, "Command1"), h.dialogs));
        QCOMPARE(h.job.chosenSheets, (std::vector<std::string>{"表2", "表5", "表9"}));
        QVERIFY(SheetSelectionWindow::findOpen() == nullptr);
        QVERIFY(!window->isVisible());
        QCOMPARE(h.lastHint(), std::string("通过查看表格来确定所汇工作表的数据区间,并正确录入!"));
        QVERIFY(h.command2->isEnabledTo(&h.main));
        auto* entry = RangeEntryWindow::findOpen();
        QVERIFY(entry != nullptr);
        QCOMPARE(entry->rows(), 3);
        QVERIFY(!h.main.isEnabled());  // the range entry window holds it now
        QCOMPARE(WheelHook::of(&h.main).hookedWindow(), static_cast<QWidget*>(entry));
    }

    void elevenTickedWarnAndGoOn() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_51");
        for (int k = 1; k <= 11; ++k) window->checkBoxes()[static_cast<size_t>(k - 1)]->setChecked(true);
        h.dialogs.expectMessage("你选择了  11 个工作表.").expectMessage(kCountWarning);
        QVERIFY(clickScripted(button(window, "Command1"), h.dialogs));
        QCOMPARE(h.job.chosenSheets.size(), size_t{11});
        QCOMPARE(h.job.chosenSheets.back(), std::string("s11"));
        QVERIFY(RangeEntryWindow::findOpen() != nullptr);
    }

    void fiftyOneTickedAreRefusedAndTheWindowIsShownAgain() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_51");
        QCOMPARE(window->checkBoxes().size(), size_t{51});
        h.job.chosenSheets = {"earlier"};
        QVERIFY(clickScripted(button(window, "Command3"), h.dialogs));  // tick all, also those out of view
        h.dialogs.expectMessage("你选择了  51 个工作表.")
            .expectMessage(kCountWarning)
            .expectMessage("抱歉，该版本所汇工作表数不能超过50个！");
        QVERIFY(clickScripted(button(window, "Command1"), h.dialogs));
        QCOMPARE(h.job.chosenSheets, (std::vector<std::string>{"earlier"}));
        QVERIFY(window->isVisible());
        QVERIFY(h.main.isEnabled());
        QVERIFY(h.command2->isEnabledTo(&h.main));
        QVERIFY(RangeEntryWindow::findOpen() == nullptr);

        // Command2 again: the names are read again, the loaded window comes back as it was.
        window->checkBoxes()[50]->setChecked(false);
        startJobSetup(h.context());
        QCOMPARE(SheetSelectionWindow::findOpen(), window);
        QCOMPARE(window->checkBoxes().size(), size_t{51});
        QVERIFY(window->checkBoxes()[0]->isChecked());
        QVERIFY(!h.command2->isEnabledTo(&h.main));
        QCOMPARE(h.job.sheetNames.size(), size_t{51});
        h.dialogs.expectMessage("你选择了  50 个工作表.").expectMessage(kCountWarning);
        QVERIFY(clickScripted(button(window, "Command1"), h.dialogs));
        QCOMPARE(h.job.chosenSheets.size(), size_t{50});
    }

    void clearUnticksAndCancelLeavesTheJobAlone() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_9");
        QVERIFY(clickScripted(button(window, "Command3"), h.dialogs));
        window->checkBoxes()[3]->setChecked(false);
        QVERIFY(clickScripted(button(window, "Command4"), h.dialogs));
        for (auto* box : window->checkBoxes()) QVERIFY(!box->isChecked());

        h.job.chosenSheets = {"表1", "表2", "表3", "表4"};
        h.job.jobReady = true;
        QVERIFY(clickScripted(button(window, "Command2"), h.dialogs));
        QVERIFY(SheetSelectionWindow::findOpen() == nullptr);
        QCOMPARE(h.lastHint(), std::string("欢迎使用数簿星!"));
        QVERIFY(h.main.isEnabled());
        QVERIFY(h.command2->isEnabledTo(&h.main));
        QCOMPARE(h.job.chosenSheets.size(), size_t{4});
        QVERIFY(h.job.jobReady);
    }

    void closeBoxGivesTheMainWindowBack() {
        JobWindowHarness h;
        auto* window = setUpJob(h, "sheets_9");
        QVERIFY(!h.main.isEnabled());
        window->close();
        QVERIFY(h.main.isEnabled());
        QVERIFY(h.command2->isEnabledTo(&h.main));
        QVERIFY(SheetSelectionWindow::findOpen() == nullptr);
    }

    void aMissingSummaryWorkbookIsReported() {
        JobWindowHarness h;
        h.dialogs.expectMessageContaining("total.xls");
        startJobSetup(h.context());
        QVERIFY2(h.dialogs.problems().empty(), h.dialogs.problems().c_str());
        QVERIFY(SheetSelectionWindow::findOpen() == nullptr);
        QVERIFY(h.main.isEnabled());
    }

    // The summary is a unit's copy: when it cannot be read, the message names that unit's file.
    void anUnreadableSummaryNamesTheFileItWasCopiedFrom() {
        JobWindowHarness h;
        const WorkspacePaths paths(std::filesystem::path(h.pool.path().toStdString()));
        std::filesystem::create_directories(paths.summaryDirectory());
        const std::filesystem::path unit = paths.poolFile("东城区.xls");
        std::ofstream(unit, std::ios::binary) << "damaged";
        QVERIFY(!replaceSummaryWorkbook(paths, unit).copyError);
        h.dialogs.expectMessageContaining(utf8String(unit));
        startJobSetup(h.context());
        QVERIFY2(h.dialogs.problems().empty(), h.dialogs.problems().c_str());
        QVERIFY(SheetSelectionWindow::findOpen() == nullptr);
    }
};

QTEST_MAIN(SheetSelectionWindowTest)
#include "sheet_selection_window_test.moc"
