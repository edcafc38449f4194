// Start-up as the main window runs it: the splash and its wait, the questions before the
// window shows, and the three states the window is left in.
#include <QElapsedTimer>
#include <QFrame>
#include <QtTest>

#include "tests/ui/main_window_fixture.h"
#include "ui/splash_window.h"
#include "workspace/startup.h"

using namespace sbx::testing;
namespace text = sbx::startup_text;
using namespace std::chrono_literals;

namespace {

const QString kWelcome = QString::fromUtf8("欢迎使用数簿星");

QWidget* splashWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("frmSplash") && widget->isVisible()) return widget;
    }
    return nullptr;
}

// Runs `act` on the splash window once it shows.
void onSplash(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        if (QWidget* splash = splashWindow()) {
            poll->stop();
            poll->deleteLater();
            act(splash);
        }
    });
    poll->start(10);
}

}  // namespace

class StartupWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    // The parts of the state that every start-up leaves the same way.
    void checkCommonState() {
        QVERIFY(!f->button("Command3")->isEnabled());
        QVERIFY(!f->button("Command5")->isEnabled());
        QVERIFY(!f->button("Command6")->isEnabled());
        QVERIFY(f->button("Command1")->isEnabled());
        QVERIFY(f->button("Command4")->isEnabled());
        for (const char* hidden : {"Command5", "Command6", "Command7"}) QVERIFY2(f->button(hidden)->isHidden(), hidden);
        for (const char* name : {"Label2", "Label6", "Label7", "Label11", "Label15", "Label16", "Label17", "Label18",
                                 "Label19", "Label20", "Label21", "Label22", "Label23", "Text1", "Text2", "Text3",
                                 "Text4", "Text5", "Text6", "Text7", "Text8", "Text9", "Text10"}) {
            QVERIFY2(f->control(name)->isHidden(), name);
        }
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 0"));
        QCOMPARE(f->caption("Label13"), QString());
        QVERIFY(!f->window->job().jobReady);
        QCOMPARE(f->window->job().runState, sbx::RunState::IdleOrRunning);
    }

    void mixedPool() {
        const auto pool = f->paths.poolDirectory();
        writeFile(pool / "b.xls", "B");
        writeFile(pool / "a.xls", "A");
        writeFile(pool / "C.XLS", "C");
        writeFile(pool / "notes.txt", "notes");
        writeFile(pool / "archive" / "old.xls", "old");
    }

    QStringList poolEntries() const {
        QStringList names;
        for (int i = 0; i < f->list1()->count(); ++i) names << f->list1()->item(i)->text();
        return names;
    }

private slots:
    void init() {
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
    }
    void cleanup() {
        if (f) QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void aNewWorkingDirectoryStartsEmpty() {
        f->dialogs.expectMessage(text::kEmptyPool);
        f->make();
        f->window->startUp(0ms);
        QVERIFY(std::filesystem::is_directory(f->paths.summaryDirectory()));
        QCOMPARE(f->list1()->count(), 0);
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 0"));
        QVERIFY(!f->button("Command2")->isEnabled());
        QCOMPARE(f->hint(), QString::fromUtf8(text::kAddFilesHint));
        checkCommonState();

        // The empty list says in its middle that files can be dropped on it; a listed file
        // takes its place.
        f->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
        QWidget* viewport = f->list1()->viewport();
        const auto inkInTheMiddle = [viewport] {
            const QImage image = viewport->grab().toImage();
            const QRgb ground = viewport->palette().color(QPalette::Base).rgb();
            int ink = 0;
            for (int y = image.height() / 3; y < 2 * image.height() / 3; ++y)
                for (int x = 0; x < image.width(); ++x) ink += image.pixel(x, y) != ground;
            return ink;
        };
        QVERIFY(inkInTheMiddle() > 50);
        f->list1()->addItem(QStringLiteral("单位1.xls"));
        QCOMPARE(inkInTheMiddle(), 0);
    }

    void keptPoolIsListedAndCommand2Enabled_data() {
        QTest::addColumn<bool>("okFirst");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel then Cancel") << false;
    }
    void keptPoolIsListedAndCommand2Enabled() {
        QFETCH(bool, okFirst);
        f->make();
        mixedPool();
        QWidget* window = f->window.get();
        // Every question comes before the window shows.
        f->dialogs.expectOkCancel(text::workOnPoolQuestion(f->paths), okFirst).then([window] { QVERIFY(!window->isVisible()); });
        if (!okFirst) f->dialogs.expectOkCancel(text::kClearPool, false, sbx::Risk::Destructive);
        f->window->startUp(0ms);
        QCOMPARE(poolEntries().size(), 2);
        QVERIFY(poolEntries().contains("a.xls") && poolEntries().contains("b.xls"));
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 2"));
        QVERIFY(f->button("Command2")->isEnabled());
        QCOMPARE(f->hint(), kWelcome);
        QVERIFY(std::filesystem::exists(f->paths.poolFile("notes.txt")));
        checkCommonState();
    }

    // A file where the summary folder belongs is named before the questions, and the pool is
    // listed all the same.
    void aFileNamedHzIsNamedAndThePoolStillListed() {
        f->make();
        mixedPool();
        writeFile(f->paths.summaryDirectory(), "a file, not a folder");
        f->dialogs.expectMessageContaining(sbx::utf8String(f->paths.summaryDirectory()) + " 不是文件夹")
            .expectOkCancel(text::workOnPoolQuestion(f->paths), true);
        f->window->startUp(0ms);
        QCOMPARE(poolEntries().size(), 2);
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 2"));
        QVERIFY(f->button("Command2")->isEnabled());
        QCOMPARE(QString::fromStdString(bytesOf(f->paths.summaryDirectory())), QStringLiteral("a file, not a folder"));
        checkCommonState();
    }

    // The summary start-up replaces is kept, and the message says where, before the questions.
    void aPreviousSummaryIsKeptAndNamed() {
        f->make();
        mixedPool();
        writeFile(f->paths.summaryWorkbook(), "never exported");
        f->dialogs.expectMessageContaining(text::kPreviousSummaryKept).expectOkCancel(text::workOnPoolQuestion(f->paths), true);
        f->window->startUp(0ms);
        const std::string shown = f->dialogs.messages().at(0);
        const std::string kept = shown.substr(std::string(text::kPreviousSummaryKept).size());
        QCOMPARE(QString::fromStdString(bytesOf(sbx::utf8Path(kept))), QStringLiteral("never exported"));
        QVERIFY(kept.starts_with(sbx::utf8String(f->paths.summaryDirectory() / sbx::utf8Path("历史")) + "/total-"));
    }

    void cancelThenOkDeletesThePoolFilesOnly() {
        f->make();
        mixedPool();
        f->dialogs.expectOkCancel(text::workOnPoolQuestion(f->paths), false)
            .expectOkCancel(text::kClearPool, true, sbx::Risk::Destructive)
            .expectMessageContaining("已删除的文件已移到");
        f->window->startUp(0ms);
        QCOMPARE(f->list1()->count(), 0);
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 0"));
        QVERIFY(!f->button("Command2")->isEnabled());
        QCOMPARE(f->hint(), QString::fromUtf8(text::kAddFilesHint));
        QVERIFY(!std::filesystem::exists(f->paths.poolFile("a.xls")));
        QVERIFY(std::filesystem::exists(f->paths.poolFile("C.XLS")));
        QVERIFY(std::filesystem::exists(f->paths.poolFile("notes.txt")));
        QVERIFY(std::filesystem::exists(f->paths.poolDirectory() / "archive" / "old.xls"));
        QVERIFY(std::filesystem::exists(f->paths.summaryWorkbook()));
        checkCommonState();
    }

    void anUndeletableFileStaysListed() {
        f->make();
        mixedPool();
        const auto pool = f->paths.poolDirectory();
        f->dialogs.expectOkCancel(text::workOnPoolQuestion(f->paths), false)
            .then([pool] {
                std::filesystem::remove(pool / "a.xls");
                writeFile(pool / "a.xls" / "inside", "x");
            })
            .expectOkCancel(text::kClearPool, true, sbx::Risk::Destructive)
            .expectMessageContaining("a.xls")
            .expectMessageContaining("已删除的文件已移到");
        f->window->startUp(0ms);
        QCOMPARE(poolEntries(), QStringList{"a.xls"});
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 1"));
        QVERIFY(f->button("Command2")->isEnabled());
        checkCommonState();
    }

    void startUpResetsAnEarlierJob() {
        f->make();
        f->window->job().jobReady = true;
        f->window->job().runState = sbx::RunState::Failed;
        f->dialogs.expectMessage(text::kEmptyPool);
        f->window->startUp(0ms);
        checkCommonState();
    }

    void splashWaitsItsTimeWithoutInput() {
        f->dialogs.expectMessage(text::kEmptyPool);
        f->make();
        bool splashSeen = false;
        onSplash([&](QWidget*) { splashSeen = true; });
        QElapsedTimer clock;
        clock.start();
        f->window->startUp(400ms);
        QVERIFY(clock.elapsed() >= 400);
        QVERIFY(splashSeen);
        QVERIFY(!f->window->job().splashDismissed);
        QVERIFY(splashWindow() == nullptr);
    }

    void aKeyOrAFrameClickEndsTheWait_data() {
        QTest::addColumn<bool>("key");
        QTest::newRow("key press") << true;
        QTest::newRow("click on the frame") << false;
    }
    void aKeyOrAFrameClickEndsTheWait() {
        QFETCH(bool, key);
        f->dialogs.expectMessage(text::kEmptyPool);
        f->make();
        onSplash([key](QWidget* splash) {
            if (key) {
                QTest::keyClick(splash, Qt::Key_Space);
            } else {
                QTest::mouseClick(splash->findChild<QFrame*>("Frame1"), Qt::LeftButton, {}, QPoint(4, 4));
            }
        });
        QElapsedTimer clock;
        clock.start();
        f->window->startUp(6000ms);
        QVERIFY2(clock.elapsed() < 3000, "the wait did not end early");
        QVERIFY(f->window->job().splashDismissed);
        QVERIFY(splashWindow() == nullptr);
    }

    void aClickOnALabelOrTheLogoDoesNotEndTheWait() {
        f->dialogs.expectMessage(text::kEmptyPool);
        f->make();
        onSplash([](QWidget* splash) {
            QTest::mouseClick(splash->findChild<QWidget*>("lblCompanyProduct"), Qt::LeftButton, {}, QPoint(3, 3));
            QTest::mouseClick(splash->findChild<QWidget*>("imgLogo"), Qt::LeftButton, {}, QPoint(3, 3));
        });
        QElapsedTimer clock;
        clock.start();
        f->window->startUp(500ms);
        QVERIFY(clock.elapsed() >= 500);
        QVERIFY(!f->window->job().splashDismissed);
    }

    void splashShowsItsTexts() {
        sbx::JobDefinition job;
        job.splashDismissed = true;
        sbx::SplashWindow splash(job.splashDismissed);
        QVERIFY(!job.splashDismissed);
        QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
        const std::pair<const char*, const char*> texts[] = {
            {"lblCompanyProduct", "EXCEL数簿星"},
            {"lblPlatform", "Windows 系列平台"},
            {"lblVersion", "1.04 测试版本"},
            {"lblCompany", "   Office  环境"},
            {"Label2", "二○○四年十一月"},
            {"Label3", "资本有限"},
            {"Label1", "智本无限"},
            {"lblWarning", "        没有永恒的时代,只有永恒的历史;时代的更叠正如潮起潮落花开花谢!"}};
        for (const auto& [name, expected] : texts) {
            auto* label = splash.findChild<QLabel*>(name);
            QVERIFY2(label, name);
            QCOMPARE(label->text(), QString::fromUtf8(expected));
        }
        QCOMPARE(splash.findChild<QFrame*>("Frame1")->toolTip(),
                 QString::fromUtf8("在程序主介面空白地方，单击鼠标右键弹出帮助文档"));
        QVERIFY(!splash.findChild<QLabel*>("imgLogo")->pixmap().isNull());
    }
};

QTEST_MAIN(StartupWindowTest)
#include "startup_window_test.moc"
