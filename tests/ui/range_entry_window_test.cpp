// The range entry window: its layout, every message of its OK with the box it names, the
// order check, accepting a job, and the mouse wheel on its scroll bar.
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>

#include "job/range_rules.h"
#include "job/windows/range_entry_window.h"
#include "job/windows/twips.h"
#include "job/windows/wheel_hook.h"
#include "tests/ui/job_window_harness.h"

using namespace sbx;
using namespace sbx::testing;

namespace {

const char* const kBeyond = "区间已经超出EXCEL工作表的上限,区间范围锁定!";

std::string messageA(const std::string& box, const std::string& text) {
    return box + "=" + text + "  输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！";
}
std::string messageB(const std::string& box, const std::string& text) {
    return box + "=" + text + "输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！";
}

RangeEntryWindow* openFor(JobWindowHarness& h, int rows) {
    h.job.chosenSheets.clear();
    for (int i = 1; i <= rows; ++i) h.job.chosenSheets.push_back("表" + std::to_string(i));
    return RangeEntryWindow::open(h.context());
}

void fill(RangeEntryWindow* window, const char* first, const char* last) {
    for (int i = 1; i <= window->rows(); ++i) {
        window->box(i, 2)->setText(first);
        window->box(i, 3)->setText(last);
    }
}

// Typed as a person does: ASCII key by key, anything else (Ｂ３) as an input method commits it.
void typeInto(QLineEdit* box, const QString& text) {
    bool ascii = true;
    for (const QChar c : text) ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        QTest::keyClicks(box, text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(box, &commit);
}

QAbstractButton* okButton(QWidget* window) { return window->findChild<QAbstractButton*>("Command4"); }

void turnWheel(QWidget* over, int rotation) {
    QWheelEvent event(QPointF(5, 5), over->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, rotation), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &event);
}

}  // namespace

class RangeEntryWindowTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }

    void nineRowsFitWithoutScrollBar() {
        JobWindowHarness h;
        auto* window = openFor(h, 9);
        QCOMPARE(window->objectName(), QString("hjxx"));
        QCOMPARE(window->windowTitle(), QString("环境信息设定"));
        QCOMPARE(window->rows(), 9);
        QVERIFY(!h.main.isEnabled());
        QVERIFY(window->scrollBar().isHidden());
        QCOMPARE(window->height(), twips::clientHeight(4200));
        QCOMPARE(window->findChild<QWidget*>("Command3")->y(), 3200 / 15);

        auto* name = window->findChild<QLineEdit*>("txt91");
        QVERIFY(name != nullptr);
        QCOMPARE(name->text(), QString("表9"));
        QVERIFY(!name->isEnabled());
        QCOMPARE(name->geometry(), QRect(qRound(1150 / 15.0), 2700 / 15, qRound(1150 / 15.0), 300 / 15));
        auto* last = window->findChild<QLineEdit*>("txt93");
        QCOMPARE(last, window->box(9, 3));
        QCOMPARE(last->x(), 3450 / 15);
        QCOMPARE(last->maxLength(), 10);  // xfd1048576
        QVERIFY(last->text().isEmpty());
    }

    void tenRowsScroll() {
        JobWindowHarness h;
        auto* window = openFor(h, 12);
        QVERIFY(!window->scrollBar().isHidden());
        QCOMPARE(window->height(), twips::clientHeight(4500));
        QCOMPARE(window->scrollBar().maximum(), 120);
        QCOMPARE(window->scrollBar().pageStep(), 964);
        QVERIFY(window->findChild<QLineEdit*>("txt123") != nullptr);
        window->box(1, 2)->setText("a3");
        window->box(1, 3)->setText("h20");
        window->box(2, 2)->setText("b4");
        saveScreenshot(*window, "hjxx.png");
        window->scrollBar().setValue(120);
        QCOMPARE(window->findChild<QWidget*>("Picture2")->y(), qRound((3255.0 - 4600.0) * 120 / 125 / 15));
    }

    void everyRefusalNamesItsBoxAndFocusesIt_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        const auto add = [](const char* tag, int row, int column, const char* typed, const std::string& message) {
            QTest::newRow(tag) << row << column << QString::fromUtf8(typed) << QString::fromStdString(message);
        };
        add("empty", 1, 2, "", "请输入表格区间范围！");
        add("blanks only", 2, 3, "   ", "请输入表格区间范围！");
        add("one character", 2, 3, "a", messageA("txt23", "a"));
        add("digit first", 1, 2, "3a", messageB("txt12", "3a"));
        add("upper case row zero", 1, 2, "A0", messageB("txt12", "A0"));
        add("full-width letters only", 1, 3, "ＡＢ", messageB("txt13", "ＡＢ"));
        add("row zero", 2, 2, "a0", messageB("txt22", "a0"));
        add("two letters", 1, 2, "ab", messageB("txt12", "ab"));
        add("letter in row", 1, 2, "a1b2", messageB("txt12", "a1b2"));
        add("kept blanks", 2, 2, " 3a ", messageB("txt22", " 3a "));
        add("column beyond xfd", 1, 3, "xfe1", kBeyond);
        add("row beyond", 1, 3, "a1048577", kBeyond);
        add("four letters", 2, 2, "abcd1", kBeyond);
    }

    void everyRefusalNamesItsBoxAndFocusesIt() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        JobWindowHarness h;
        auto* window = openFor(h, 2);
        fill(window, "a1", "c9");
        window->box(row, column)->setText(typed);
        h.dialogs.expectMessage(message.toStdString());
        QVERIFY(clickScripted(okButton(window), h.dialogs));
        QCOMPARE(window->focusWidget(), static_cast<QWidget*>(window->box(row, column)));
        QVERIFY(!h.job.jobReady);
        QCOMPARE(h.jobChanges, 0);
        QVERIFY(RangeEntryWindow::findOpen() == window);
        QVERIFY(h.main.isEnabled());
        // The job changes only when every box is right.
        QVERIFY(h.job.rangeTable.empty());
    }

    void backwardRangesAreRefusedWithoutFocus_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("left") << "b2" << "a9";
        QTest::newRow("above") << "a9" << "b2";
        QTest::newRow("two letters before one") << "ab3" << "z9";
        QTest::newRow("two letters left") << " ac1" << "ab5 ";
    }

    void backwardRangesAreRefusedWithoutFocus() {
        QFETCH(QString, first);
        QFETCH(QString, last);
        JobWindowHarness h;
        h.job.jobReady = true;  // from an earlier job: a refusal leaves it
        auto* window = openFor(h, 2);
        fill(window, "a1", "b2");
        window->box(2, 2)->setText(first);
        window->box(2, 3)->setText(last);
        window->box(1, 2)->setFocus();
        h.dialogs.expectMessage("坏了，你输入的区间范围不合法：\r\r当前工作表  ：表2\r表格区间范围：[" +
                                first.trimmed().toStdString() + "，" + last.trimmed().toStdString() +
                                "]\r\r请重新输入！");
        QVERIFY(clickScripted(okButton(window), h.dialogs));
        QCOMPARE(window->focusWidget(), static_cast<QWidget*>(window->box(1, 2)));
        QVERIFY(RangeEntryWindow::findOpen() == window);
        QVERIFY(h.job.rangeTable.empty());  // nothing is kept of a refused job
    }

    // The full grid is taken as typed; an .xls summary ends at iv65536 and refuses more.
    void theSummaryFormatSetsTheLastCell() {
        JobWindowHarness h;
        auto* window = openFor(h, 1);
        window->box(1, 2)->setText("aa70000");
        window->box(1, 3)->setText("XFD1048576");
        h.dialogs.expectMessage(rangeBeyondXlsMessage("表1", {70000, 27, 1048576, 16384}));
        QVERIFY(clickScripted(okButton(window), h.dialogs));
        QCOMPARE(window->focusWidget(), static_cast<QWidget*>(window->box(1, 2)));
        QVERIFY(h.job.rangeTable.empty());

        const std::filesystem::path hz = std::filesystem::path(h.pool.path().toStdString()) / "hz";
        std::filesystem::create_directories(hz);
        std::filesystem::copy_file(std::filesystem::path(SBX_TEST_DATA) / "grid" / "grid_template.xlsx", hz / "total.xlsx");
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(okButton(window), h.dialogs));
        QCOMPARE(h.job.rangeTable, (sbx::Job{{"表1", {70000, 27, 1048576, 16384}}}));
    }

    void anAcceptedJobIsStoredTyped() {
        JobWindowHarness h;
        auto* window = openFor(h, 3);
        window->box(1, 2)->setText("a3");
        window->box(1, 3)->setText("h20");
        window->box(2, 2)->setText(" b5 ");
        window->box(2, 3)->setText("iv65536");
        window->box(3, 2)->setText("aa1");
        window->box(3, 3)->setText("ad5");
        h.main.show();
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(okButton(window), h.dialogs));
        QCOMPARE(h.job.rangeTable, (sbx::Job{{"表1", {3, 1, 20, 8}}, {"表2", {5, 2, 65536, 256}}, {"表3", {1, 27, 5, 30}}}));
        QVERIFY(h.job.jobReady);
        QCOMPARE(h.jobChanges, 1);
        QCOMPARE(h.lastHint(), std::string("通过单击鼠标并拖拉来实现对文件的选择,然后点击[开始汇表]!"));
        QVERIFY(h.main.isEnabled());
        QCOMPARE(h.main.focusWidget(), static_cast<QWidget*>(h.list1));
        QVERIFY(RangeEntryWindow::findOpen() == nullptr);
        QVERIFY(WheelHook::of(&h.main).hookedWindow() == nullptr);
    }

    // What people type (upper case, full-width, a whole range in the first box) is taken
    // in the canonical form the rules check.
    void typedFormsBecomeCanonical_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("upper case") << "B3" << "D5";
        QTest::newRow("full-width") << "Ｂ３" << "ｄ５";
        QTest::newRow("range in the first box") << "b3:d5" << "";
        QTest::newRow("full-width range") << "Ｂ３：Ｄ５" << "";
        QTest::newRow("range over a typed last cell") << "b3:D5" << "z9";
    }

    void typedFormsBecomeCanonical() {
        QFETCH(QString, first);
        QFETCH(QString, last);
        JobWindowHarness h;
        auto* window = openFor(h, 1);
        typeInto(window->box(1, 2), first);
        typeInto(window->box(1, 3), last);
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(okButton(window), h.dialogs));
        QCOMPARE(h.job.rangeTable, (sbx::Job{{"表1", {3, 2, 5, 4}}}));
        QCOMPARE(window->box(1, 2)->text(), QString("b3"));
        QCOMPARE(window->box(1, 3)->text(), QString("d5"));
    }

    void cancelLeavesTheJobAlone() {
        JobWindowHarness h;
        h.job.rangeTable = {{"old", {1, 1, 2, 2}}};
        h.job.jobReady = true;
        auto* window = openFor(h, 2);
        fill(window, "a1", "b2");
        QVERIFY(clickScripted(window->findChild<QAbstractButton*>("Command2"), h.dialogs));
        QCOMPARE(h.lastHint(), std::string("欢迎使用数簿星"));
        QVERIFY(h.main.isEnabled());
        QCOMPARE(h.job.rangeTable.front().worksheet, std::string("old"));
        QVERIFY(h.job.jobReady);
        QCOMPARE(h.jobChanges, 0);
        QVERIFY(RangeEntryWindow::findOpen() == nullptr);
        QVERIFY(WheelHook::of(&h.main).hookedWindow() == nullptr);
    }

    void theWheelStepsOncePerNotchAndStopsAtTheEnds() {
        JobWindowHarness h;
        auto* window = openFor(h, 15);
        window->show();
        QScrollBar& bar = window->scrollBar();
        QWidget* box = window->box(2, 2);
        turnWheel(box, 120);  // away from the user at the top: nothing
        QCOMPARE(bar.value(), 0);
        turnWheel(box, -120);
        QCOMPARE(bar.value(), 1);
        turnWheel(window, -360);
        QCOMPARE(bar.value(), 4);
        turnWheel(window, -60);  // half a notch truncates to nothing
        QCOMPARE(bar.value(), 4);
        bar.setValue(119);
        turnWheel(&bar, -240);  // would pass the end: refused, not clamped
        QCOMPARE(bar.value(), 119);
        turnWheel(&bar, -120);
        QCOMPARE(bar.value(), 120);
        turnWheel(&bar, -120);
        QCOMPARE(bar.value(), 120);
        turnWheel(&bar, 240);
        QCOMPARE(bar.value(), 118);

        // Other windows keep their own wheel.
        QScrollBar elsewhere(Qt::Vertical);
        elsewhere.setRange(0, 10);
        elsewhere.setValue(5);
        turnWheel(&elsewhere, -120);
        QCOMPARE(bar.value(), 118);
    }

    void anOpenWindowIsReplacedByANewSelection() {
        JobWindowHarness h;
        auto* first = openFor(h, 2);
        auto* second = openFor(h, 4);
        QVERIFY(first != second);
        QCOMPARE(RangeEntryWindow::findOpen(), second);
        QCOMPARE(second->rows(), 4);
        QCOMPARE(WheelHook::of(&h.main).hookedWindow(), static_cast<QWidget*>(second));
    }
};

QTEST_MAIN(RangeEntryWindowTest)
#include "range_entry_window_test.moc"
