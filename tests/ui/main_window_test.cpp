// The main window between operations: its controls, the rule that enables Command3, the
// start of a run, the two pop-up menus, the hint box colours and exit.
#include <algorithm>
#include <cmath>
#include <set>

#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "app/hint_colour.h"
#include "tests/ui/main_window_fixture.h"
#include "workspace/pool_file_ops.h"
#include "workspace/startup.h"

using namespace sbx::testing;
using namespace std::chrono_literals;

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

QWidget* openTopLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible()) return widget;
    }
    return nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    void select(std::initializer_list<int> rows) {
        f->list1()->clearSelection();
        for (int row : rows) f->list1()->item(row)->setSelected(true);
    }
    QPoint itemCentre(int row) const { return f->list1()->visualItemRect(f->list1()->item(row)).center(); }
    void rightClickPoolList(int row) {
        QTest::mouseClick(f->list1()->viewport(), Qt::RightButton, {}, itemCentre(row));
    }
    QMenu* menu(const char* name) const { return f->window->findChild<QMenu*>(name); }

private slots:
    void init() {
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        for (const char* name : {"一.xls", "二.xls", "三.xls"}) writeFile(f->paths.poolFile(name), "x");
        f->dialogs.expectOkCancel(sbx::startup_text::workOnPoolQuestion(f->paths), true);
        f->make();
        f->window->startUp(0ms);
        f->window->show();
        QApplication::setActiveWindow(f->window.get());
        QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
    }
    void cleanup() {
        for (QMenu* open : f->window->findChildren<QMenu*>()) open->close();
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void controlsCarryTheirNamesCaptionsAndTooltips() {
        QCOMPARE(f->window->objectName(), QStringLiteral("main"));
        QCOMPARE(f->window->windowTitle(), u("数簿星"));
        const std::tuple<const char*, const char*, const char*> buttons[] = {
            {"Command1", "退出系统", ""},
            {"Command2", "环 境 设 定", "设定汇总信息数据"},
            {"Command3", "开 始 汇 表", "汇总开始"},
            {"Command4", "添加文件", "添加需要汇总合并的表格文件"},
            {"Command5", "导出文件", ""},
            {"Command6", "", ""},
            {"Command7", "", "系统进度提示"}};
        for (const auto& [name, caption, tooltip] : buttons) {
            QVERIFY2(f->button(name), name);
            QCOMPARE(f->button(name)->text(), u(caption));
            QCOMPARE(f->button(name)->toolTip(), u(tooltip));
        }
        const std::pair<const char*, const char*> labels[] = {
            {"Label1", "数簿星系统（EXCEL表格版）"}, {"Label3", "文件"}, {"Label5", "个"}, {"Label12", "已选"},
            {"Label14", "个"}, {"Label8", "表格文件"}, {"Label9", "个"}, {"Label11", "当前工作表"},
            {"Label2", "当前文件"}, {"Label6", "读取单元格"}, {"Label7", "写入单元格"}, {"Label15", "本表读取"},
            {"Label16", "0%"}, {"Label17", "文件读取"}, {"Label18", "0%"}, {"Label19", "本表写入"}, {"Label20", "0%"},
            {"Label21", "当前工作表"}, {"Label22", "提取文件"}, {"Label23", "系统进程"}};
        for (const auto& [name, caption] : labels) {
            QVERIFY2(f->control<QLabel>(name), name);
            QCOMPARE(f->caption(name), u(caption));
        }
        for (int i = 1; i <= 12; ++i) {
            QVERIFY2(f->control<QLineEdit>(qPrintable(QStringLiteral("Text%1").arg(i))), qPrintable(QString::number(i)));
        }
        QCOMPARE(f->control<QLineEdit>("Text12")->text(), u("操作提示"));
        QCOMPARE(f->control<QLineEdit>("Text11")->toolTip(), u("操作提示栏"));
        QCOMPARE(f->list1()->toolTip(), u("待汇文件列表"));
        QCOMPARE(f->list1()->selectionMode(), QAbstractItemView::ExtendedSelection);
        for (const char* name : {"Frame1", "Frame2", "Image1", "Line1", "Line2", "Line3", "Line4"}) {
            QVERIFY2(f->control(name), name);
        }
        QVERIFY(f->control("Image1")->isVisible());
    }

    void command3FollowsJobSelectionAndLastRun_data() {
        QTest::addColumn<bool>("jobReady");
        QTest::addColumn<int>("runState");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("job ready, two selected") << true << 0 << 2 << true;
        QTest::newRow("job ready, after a finished run") << true << 2 << 1 << true;
        QTest::newRow("no job yet") << false << 0 << 2 << false;
        QTest::newRow("last run failed") << true << 1 << 2 << false;
        QTest::newRow("nothing selected") << true << 0 << 0 << false;
    }
    void command3FollowsJobSelectionAndLastRun() {
        QFETCH(bool, jobReady);
        QFETCH(int, runState);
        QFETCH(int, selected);
        QFETCH(bool, enabled);
        f->control<QLabel>("Label13")->setText(QStringLiteral("7"));
        f->window->job().runState = static_cast<sbx::RunState>(runState);
        if (selected == 0) {
            // Leave a selection first, then take it away with the job ready.
            select({1});
            f->window->job().jobReady = jobReady;
            f->list1()->clearSelection();
        }
        f->window->job().jobReady = jobReady;
        if (selected == 2) select({0, 2});
        if (selected == 1) select({1});
        QCOMPARE(f->button("Command3")->isEnabled(), enabled);
        // Without the rule applying, Label13 keeps what it showed.
        QCOMPARE(f->caption("Label13"), enabled ? QString::number(selected) : QStringLiteral("7"));
    }

    // ... where Enter presses it, as in a dialog.
    void aMouseSelectionMovesTheFocusToCommand3() {
        QSignalSpy opened(f->window.get(), &sbx::MainWindow::modeWindowRequested);
        f->window->job().jobReady = true;
        QTest::mouseClick(f->list1()->viewport(), Qt::LeftButton, {}, itemCentre(1));
        QCOMPARE(f->list1()->selectedItems().size(), 1);
        QVERIFY(f->button("Command3")->isEnabled());
        QVERIFY(f->button("Command3")->hasFocus());
        QCOMPARE(f->caption("Label13"), QStringLiteral("1"));
        QTest::keyClick(f->button("Command3"), Qt::Key_Return);
        QCOMPARE(opened.count(), 1);
    }

    void aKeyboardSelectionEnablesCommand3Too() {
        f->window->job().jobReady = true;
        f->list1()->setFocus();
        f->list1()->setCurrentRow(0);
        QTest::keyClick(f->list1(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(f->list1()->selectedItems().size(), 2);
        QVERIFY(f->button("Command3")->isEnabled());
        QCOMPARE(f->caption("Label13"), QStringLiteral("2"));
    }

    void command3WithoutASelectionOnlySaysSo() {
        QSignalSpy opened(f->window.get(), &sbx::MainWindow::modeWindowRequested);
        f->window->job().jobReady = true;
        select({0});
        f->list1()->clearSelection();  // Command3 stays enabled, nothing is selected
        f->list2()->addItem("一.xls");
        f->dialogs.expectMessage("请在左边列表框中选择文件先！");
        f->button("Command3")->click();
        QCOMPARE(opened.count(), 0);
        QCOMPARE(f->list2()->count(), 1);
    }

    void command3ClearsThePanelAndTheRunListAndAsksForTheModeWindow() {
        QSignalSpy opened(f->window.get(), &sbx::MainWindow::modeWindowRequested);
        f->window->job().jobReady = true;
        select({0, 1});
        f->list2()->addItems({"一.xls", "二.xls"});
        f->window->refreshCounts();
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 2"));
        for (const char* name : {"Text1", "Text3", "Text4"}) {
            f->control<QLineEdit>(name)->setText("old");
            f->control(name)->show();
        }
        f->button("Command7")->show();
        f->button("Command6")->show();
        f->control("Image1")->hide();

        f->button("Command3")->click();
        QCOMPARE(opened.count(), 1);
        QCOMPARE(f->list2()->count(), 0);
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 0"));
        QCOMPARE(f->hint(), u("请根据需要选择相应模式!"));
        for (const char* name : {"Text1", "Text3", "Text4"}) {
            QCOMPARE(f->control<QLineEdit>(name)->text(), QString());
            QVERIFY2(f->control(name)->isHidden(), name);
        }
        QVERIFY(f->button("Command7")->isHidden());
        QVERIFY(f->button("Command6")->isHidden());
        QVERIFY(f->control("Image1")->isVisible());
    }

    void poolMenuOpensForExactlyOneSelectedEntry() {
        QMenu* op = menu("op");
        QVERIFY(op);
        QStringList items;
        for (QAction* action : op->actions()) {
            items << (action->isSeparator() ? QStringLiteral("-") : action->objectName() + "=" + action->text());
        }
        QCOMPARE(items, (QStringList{"-", u("OPN=打开文件"), u("SEE=查看属性"), u("RENAME=改文件名"),
                                     u("del=删除文件"), "-", u("TEMPLATE=设为汇总模板")}));

        select({0, 2});
        rightClickPoolList(2);
        QVERIFY(!op->isVisible());
        QCOMPARE(f->list1()->selectedItems().size(), 2);  // a right click does not select

        select({1});
        rightClickPoolList(0);
        QVERIFY(op->isVisible());
        QVERIFY(!menu("hlp")->isVisible());
        QCOMPARE(f->list1()->selectedItems(), QList<QListWidgetItem*>{f->list1()->item(1)});
        op->close();

        f->list1()->clearSelection();
        rightClickPoolList(0);
        QVERIFY(!op->isVisible());
    }

    void helpMenuOpensOnTheEmptyAreaCentredOnTheMouse() {
        QMenu* hlp = menu("hlp");
        QVERIFY(hlp);
        QStringList items;
        for (QAction* action : hlp->actions()) items << action->objectName() + "=" + action->text();
        QCOMPARE(items, (QStringList{u("help=上手指南"), u("about=关    于")}));

        const QPoint empty(230, 425);
        QCOMPARE(f->window->childAt(empty), nullptr);
        QTest::mouseClick(f->window.get(), Qt::RightButton, {}, empty);
        QVERIFY(hlp->isVisible());
        QVERIFY(qAbs(hlp->geometry().center().x() - f->window->mapToGlobal(empty).x()) <= 2);
        hlp->close();

        QTest::mouseClick(f->window.get(), Qt::LeftButton, {}, empty);
        QVERIFY(!hlp->isVisible());
        // On a control the window's menu stays shut.
        QWidget* label = f->control("Label3");
        QTest::mouseClick(label, Qt::RightButton, {}, QPoint(2, 2));
        QVERIFY(!hlp->isVisible());
    }

    void helpAboutAndTheTitleAskForTheirWindows() {
        QSignalSpy help(f->window.get(), &sbx::MainWindow::helpRequested);
        QSignalSpy about(f->window.get(), &sbx::MainWindow::aboutRequested);
        f->window->findChild<QAction*>("help")->trigger();
        f->window->findChild<QAction*>("about")->trigger();
        QTest::mouseClick(f->control("Label1"), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(help.count(), 1);
        QCOMPARE(about.count(), 2);
    }

    void hintColourRoundsGreenHalvesToEvenAndCutsRedAndBlue() {
        QCOMPARE(sbx::hintColour(0.0, 0.0, 0.0), (sbx::Rgb{0, 0, 0}));
        QCOMPARE(sbx::hintColour(0.9999, 0.9999, 0.9999), (sbx::Rgb{254, 255, 254}));
        QCOMPARE(sbx::hintColour(2.5 / 255, 2.5 / 255, 2.5 / 255), (sbx::Rgb{2, 2, 2}));
        QCOMPARE(sbx::hintColour(3.5 / 255, 3.5 / 255, 3.5 / 255), (sbx::Rgb{3, 4, 3}));
    }

    // Every colour the three draws can give, as the hint box shows it on its background.
    void everyHintColourReadsOnTheHintBox() {
        const QColor base = f->control<QLineEdit>("Text11")->palette().color(QPalette::Base);
        const sbx::Rgb background{base.red(), base.green(), base.blue()};
        // WCAG 2: linear light of each sRGB channel, weighted.
        double linear[256];
        for (int c = 0; c < 256; ++c) {
            const double v = c / 255.0;
            linear[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        }
        const auto luminance = [&linear](sbx::Rgb c) {
            return 0.2126 * linear[c.red] + 0.7152 * linear[c.green] + 0.0722 * linear[c.blue];
        };
        const double ground = luminance(background);
        double worst = 21.0;
        int kept = 0;
        for (int red = 0; red < 256; ++red) {
            for (int green = 0; green < 256; ++green) {
                for (int blue = 0; blue < 256; ++blue) {
                    const sbx::Rgb drawn{red, green, blue};
                    const sbx::Rgb shown = sbx::readableOn(drawn, background);
                    const double text = luminance(shown);
                    worst = std::min(worst, (std::max(text, ground) + 0.05) / (std::min(text, ground) + 0.05));
                    kept += shown == drawn;
                }
            }
        }
        QVERIFY2(worst >= 4.5, qPrintable(QString::number(worst)));
        // Still a hint in changing colours: the readable ones are shown as drawn.
        QVERIFY(kept > 100000);
    }

    void theHintBoxShowsReadableColours() {
        auto* hint = f->control<QLineEdit>("Text11");
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(110);
            const QColor text = hint->palette().color(QPalette::Text);
            const QColor base = hint->palette().color(QPalette::Base);
            QVERIFY(sbx::contrastRatio({text.red(), text.green(), text.blue()}, {base.red(), base.green(), base.blue()}) >=
                    4.5);
        }
    }

    // Delete and F2 on the selected pool entry ask as the menu's 删除文件 and 改文件名 do, with
    // the focus on the list or on a button; F1 opens the guide.
    void keysDeleteRenameAndHelp() {
        select({1});
        const QString name = f->list1()->item(1)->text();
        for (QWidget* focused : {static_cast<QWidget*>(f->list1()), static_cast<QWidget*>(f->button("Command4"))}) {
            focused->setFocus();
            f->dialogs.expectOkCancel(sbx::pool_ops_text::deleteQuestion(name.toStdString()), false,
                                      sbx::Risk::Destructive);
            QTest::keyClick(focused, Qt::Key_Delete);
            f->dialogs.expectInput(sbx::pool_ops_text::kRenamePrompt, std::nullopt);
            QTest::keyClick(focused, Qt::Key_F2);
        }
        // Ctrl+A takes the whole pool; Delete then asks once, naming the count.
        f->list1()->setFocus();
        QTest::keyClick(f->list1(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(f->list1()->selectedItems().size(), 3);
        f->dialogs.expectOkCancel(sbx::pool_ops_text::deleteSeveralQuestion(3), false, sbx::Risk::Destructive);
        QTest::keyClick(f->list1(), Qt::Key_Delete);
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        QCOMPARE(f->list1()->count(), 3);

        QSignalSpy help(f->window.get(), &sbx::MainWindow::helpRequested);
        QTest::keyClick(f->button("Command4"), Qt::Key_F1);
        QCOMPARE(help.count(), 1);
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != f->window.get()) window->close();
    }

    void timer1RecoloursTheHintAboutTenTimesASecond() {
        auto* timer = f->window->findChild<QTimer*>("Timer1");
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 101);
        QVERIFY(timer->isActive());
        std::set<QRgb> colours;
        // Six ticks take about 0.6 s; a loaded machine gets more time before the test gives up.
        for (int i = 0; i < 30 && colours.size() < 3; ++i) {
            QTest::qWait(110);
            colours.insert(f->control<QLineEdit>("Text11")->palette().color(QPalette::Text).rgb());
        }
        QVERIFY(colours.size() >= 3);
    }

    void command2ReadsTheSummaryWorksheetsAndOpensTheSelection() {
        // A pool of the example reports: the summary workbook is a real copy of one of them.
        f.reset();
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        for (const char* name : {"东城区.xls", "西城区.xls"}) {
            std::filesystem::create_directories(f->paths.poolDirectory());
            std::filesystem::copy_file(sbx::utf8Path(std::string(SBX_EXAMPLES "/pool/") + name),
                                       f->paths.poolFile(name));
        }
        f->dialogs.expectOkCancel(sbx::startup_text::workOnPoolQuestion(f->paths), true);
        f->make();
        f->window->startUp(0ms);
        f->window->show();
        f->list2()->addItem("旧.xls");
        f->button("Command5")->show();
        f->control("Label2")->show();

        f->button("Command2")->click();
        QCOMPARE(f->window->job().sheetNames, (std::vector<std::string>{"基本情况", "收支明细"}));
        QVERIFY(!f->button("Command2")->isEnabled());
        QCOMPARE(f->hint(), u("请根据需要选择所需汇总合并的工作表!"));
        QCOMPARE(f->list2()->count(), 0);
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 0"));
        // The first job setup leaves the previous panel and the export button alone.
        QVERIFY(f->button("Command5")->isVisible());
        QVERIFY(f->control("Label2")->isVisible());
        QWidget* selection = openTopLevel("checkfrm");
        QVERIFY(selection);
        selection->close();

        // From the second on, they go.
        f->window->setEnabled(true);
        f->button("Command2")->setEnabled(true);
        f->button("Command2")->click();
        QVERIFY(f->button("Command5")->isHidden());
        QVERIFY(f->control("Label2")->isHidden());
        if (QWidget* again = openTopLevel("checkfrm")) again->close();
    }

    void command1ClosesTheWindowAndEndsTheProgram() {
        QSignalSpy closed(f->window.get(), &sbx::MainWindow::closed);
        f->button("Command1")->click();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!f->window->isVisible());
        QVERIFY(!f->window->findChild<QTimer*>("Timer1")->isActive());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
