// The mode window: its texts, how Command3 opens it (modeless, one at a time, the
// efficiency button following efficiencyBlocked), and that nothing runs before a click.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "tests/ui/run_window_fixture.h"

using namespace sbx::testing;

class ModeWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<RunFixture> f;

private slots:
    void init() {
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool();
        f->readyJob();
    }
    void cleanup() {
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void textsAndTooltips() {
        sbx::ModeWindow* modes = f->openModes();
        QVERIFY(modes);
        QCOMPARE(modes->objectName(), QStringLiteral("modfrm"));
        QCOMPARE(modes->windowTitle(), u("请选择汇表模式"));
        auto* efficiency = modes->findChild<QPushButton*>("Command1");
        auto* function = modes->findChild<QPushButton*>("Command2");
        QVERIFY(efficiency && function);
        QCOMPARE(efficiency->text(), u("效率型"));
        QCOMPARE(efficiency->toolTip(), u("速度快,消耗低,有限型"));
        QCOMPARE(function->text(), u("功能型"));
        QCOMPARE(function->toolTip(), u("功能全,消耗大,无限型"));
        auto* frame = modes->findChild<QGroupBox*>("Frame1");
        QVERIFY(frame);
        auto* label2 = frame->findChild<QLabel*>("Label2");
        auto* label1 = frame->findChild<QLabel*>("Label1");
        QVERIFY(label1 && label2);
        // The runs of blanks (9 and 11, then 10) are part of the texts.
        QCOMPARE(label2->text(), u("效率型：速度快，占用系统资源较少，缺点是对一" + std::string(9, ' ') +
                                   "些加有写保护的表格文件不能汇总，一" + std::string(11, ' ') +
                                   "般情况下建议只用这种模式！"));
        QCOMPARE(label1->text(), u("功能型：不受任何限制，缺点速度慢且占用资源较" + std::string(10, ' ') +
                                   "多，建议尽量少用。"));
        if (!qEnvironmentVariableIsEmpty("SBX_SCREENSHOT_DIR")) {
            modes->grab().save(qEnvironmentVariable("SBX_SCREENSHOT_DIR") + "/modfrm.png", "PNG");
        }
    }

    void opensModelessAndRunsNothingByItself() {
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        sbx::ModeWindow* modes = f->openModes();
        QVERIFY(modes);
        QVERIFY(modes->isWindow());
        QCOMPARE(modes->windowModality(), Qt::NonModal);
        QVERIFY(f->window->isEnabled());
        QCOMPARE(f->hint(), u("请根据需要选择相应模式!"));
        QVERIFY(f->panelHidden());
        QCOMPARE(f->window->job().runState, sbx::RunState::IdleOrRunning);
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), summaryBefore);
        // A second Command3 brings the same window forward.
        QCOMPARE(f->openModes(), modes);
        QCOMPARE(f->window->findChildren<sbx::ModeWindow*>().size(), 1);
    }

    void efficiencyButtonFollowsTheBlock() {
        sbx::ModeWindow* modes = f->openModes();
        QVERIFY(modes->findChild<QPushButton*>("Command1")->isEnabled());
        modes->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(f->window->findChildren<sbx::ModeWindow*>().isEmpty());  // closing unloads it

        f->window->job().efficiencyBlocked = true;
        modes = f->openModes();
        QVERIFY(!modes->findChild<QPushButton*>("Command1")->isEnabled());
        QVERIFY(modes->findChild<QPushButton*>("Command2")->isEnabled());
    }

    void nothingSelectedOpensNoModeWindow() {
        f->list1()->clearSelection();
        f->dialogs.expectMessage("请在左边列表框中选择文件先！");
        QVERIFY(!f->openModes());
    }

    void closingTheMainWindowClosesIt() {
        QPointer<sbx::ModeWindow> modes = f->openModes();
        QVERIFY(modes);
        f->window.reset();
        QVERIFY(modes.isNull());
    }
};

QTEST_MAIN(ModeWindowTest)
#include "mode_window_test.moc"
