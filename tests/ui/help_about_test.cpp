// The help window help_u and the about window frmAbout, opened from the main window's menu
// hlp and its title Label1: captions, texts, the guide's blank runs that start each numbered
// paragraph on a new line, closing, and the system information button.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextLayout>
#include <QtTest>

#include "tests/ui/main_window_fixture.h"
#include "ui/about_window.h"
#include "ui/help_window.h"
#include "workspace/startup.h"

using namespace sbx::testing;
using namespace std::chrono_literals;

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

// Where each line of `label`'s wrapped text begins, laid out with its font and width.
QList<int> lineStarts(const QLabel& label) {
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QList<int> starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.contentsRect().width());
        starts << line.textStart();
    }
    layout.endLayout();
    return starts;
}

}  // namespace

class HelpAboutTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    QAction* menuItem(const char* name) const {
        return f->window->findChild<QMenu*>("hlp")->findChild<QAction*>(QString::fromLatin1(name));
    }
    template <typename Window>
    QList<Window*> openWindows() const {
        QList<Window*> open;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible()) open << window;
        return open;
    }

private slots:
    void init() {
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        f->dialogs.expectMessage(sbx::startup_text::kEmptyPool);
        f->make();
        f->window->startUp(0ms);
        f->window->show();
    }
    void cleanup() {
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void helpShowsTheGuideAndClosesOnOk() {
        menuItem("help")->trigger();
        QCOMPARE(openWindows<sbx::HelpWindow>().size(), 1);
        sbx::HelpWindow* help = openWindows<sbx::HelpWindow>().front();
        QCOMPARE(help->objectName(), QStringLiteral("help_u"));
        QCOMPARE(help->windowTitle(), u("系统上手指南"));
        auto* label = help->findChild<QLabel*>("Label1");
        QCOMPARE(label->text(), sbx::guideText(f->paths));
        QCOMPARE(label->toolTip(), u("详细内容请参见<操作指南>"));
        auto* ok = help->findChild<QPushButton*>("Command1");
        QCOMPARE(ok->text(), u("确  定"));
        // The main window stays usable behind it.
        QVERIFY(f->window->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(openWindows<sbx::HelpWindow>().isEmpty());
    }

    void helpOpensAgainAndAgainAsOneWindow() {
        for (int i = 0; i < 3; ++i) {
            menuItem("help")->trigger();
            menuItem("help")->trigger();
            QCOMPARE(openWindows<sbx::HelpWindow>().size(), 1);
            QTest::mouseClick(openWindows<sbx::HelpWindow>().front()->findChild<QPushButton*>("Command1"),
                              Qt::LeftButton);
            QTRY_VERIFY(openWindows<sbx::HelpWindow>().isEmpty());
        }
    }

    void theGuidesBlankRunsStartEachParagraphOnANewLine() {
        const QString guide = u(sbx::kGuideText);
        QList<qsizetype> runs;
        for (const QRegularExpressionMatch& run : QRegularExpression(QStringLiteral(" {2,}")).globalMatch(guide))
            runs << run.capturedLength();
        QCOMPARE(runs, (QList<qsizetype>{15, 69, 45, 15, 13, 45}));

        menuItem("help")->trigger();
        const QLabel& label = *openWindows<sbx::HelpWindow>().front()->findChild<QLabel*>("Label1");
        const QList<int> starts = lineStarts(label);
        for (const char* paragraph : {"一、", "二、", "三、", "四、", "五、"}) {
            const int at = static_cast<int>(label.text().indexOf(u(paragraph)));
            QVERIFY2(starts.contains(at), paragraph);
        }
        // The title keeps its leading blanks on the first line.
        QCOMPARE(starts.value(0), 0);
        QVERIFY(starts.size() >= 6);
        // The whole text fits the label.
        QVERIFY(label.height() >= label.heightForWidth(label.width()));
    }

    void aboutOpensFromTheMenuAndFromTheTitle() {
        menuItem("about")->trigger();
        QCOMPARE(openWindows<sbx::AboutWindow>().size(), 1);
        sbx::AboutWindow* about = openWindows<sbx::AboutWindow>().front();
        QCOMPARE(about->objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(about->windowTitle(), u("关于 数簿星"));
        QCOMPARE(about->findChild<QLabel*>("lblTitle")->text(), u("数簿星 [EXCEL电子表格版]"));
        QCOMPARE(about->findChild<QLabel*>("lblVersion")->text(), u("版本: 测试版"));
        QCOMPARE(about->findChild<QLabel*>("lblProgramVersion")->text(), QStringLiteral(SBX_VERSION));
        QVERIFY(about->findChild<QLabel*>("lblDescription")
                    ->text()
                    .startsWith(u("该程序在WIN98\\WIN XP系统下,OFFICE2000环境下测试通过.由于本人并非专业的程序员,"
                                  "加之水平有限,很难保证程序在运行过程中不出现任何问题,对于存在的问题,在抱歉的同时,"
                                  "也希望阁下能及时与我取得联系,因为你的意见和建议是我们共同进步的动力.")));
        QVERIFY(!about->findChild<QLabel*>("lblDisclaimer")->text().isEmpty());
        QCOMPARE(about->findChildren<QWidget*>("Line1").size(), 2);
        auto* ok = about->findChild<QPushButton*>("cmdOK");
        QCOMPARE(ok->text(), u("确    定"));
        QCOMPARE(ok->toolTip(), u("确定退出"));
        auto* sysInfo = about->findChild<QPushButton*>("cmdSysInfo");
        QCOMPARE(sysInfo->text(), u("系统信息"));
        QCOMPARE(sysInfo->toolTip(), u("本机系统信息"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(openWindows<sbx::AboutWindow>().isEmpty());

        QTest::mouseClick(f->control<QLabel>("Label1"), Qt::LeftButton);
        QCOMPARE(openWindows<sbx::AboutWindow>().size(), 1);
        openWindows<sbx::AboutWindow>().front()->close();
    }

    void systemInformationWithoutAProgramSaysItIsUnavailable() {
        // No system information tool on an empty search path.
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toLocal8Bit());
        menuItem("about")->trigger();
        f->dialogs.expectMessage(sbx::kSystemInfoUnavailable);
        QTest::mouseClick(openWindows<sbx::AboutWindow>().front()->findChild<QPushButton*>("cmdSysInfo"),
                          Qt::LeftButton);
        qputenv("PATH", path);
        openWindows<sbx::AboutWindow>().front()->close();
    }

    void systemInformationThatStartsShowsNoMessage() {
        int starts = 0;
        sbx::AboutWindow about(f->dialogs, nullptr, [&starts] {
            ++starts;
            return true;
        });
        QTest::mouseClick(about.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(starts, 1);
        QVERIFY(f->dialogs.messages().size() == 1);  // only start-up's
    }
};

QTEST_MAIN(HelpAboutTest)
#include "help_about_test.moc"
