// The step windows opened from the main window (添加文件 fldfrm, worksheet selection checkfrm,
// range entry hjxx), left by their cancel button, by the title bar's close box (a close event
// from the window system) and by Esc: every way leaves the main window enabled and usable and
// the job as cancelling does. Each opens centred over the main window, inside the screen.
// Enter in range entry accepts the job.
#include <filesystem>

#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include "job/windows/range_entry_window.h"
#include "job/windows/sheet_selection_window.h"
#include "tests/ui/main_window_fixture.h"
#include "ui/file_intake_window.h"
#include "ui/open_windows.h"
#include "workspace/startup.h"

using namespace sbx::testing;
using namespace std::chrono_literals;

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

enum class Leave { CancelButton, CloseBox, Escape };

// The window system's close request, as the title bar's × sends it.
void closeFromTitleBar(QWidget* window) {
    QVERIFY(window->windowHandle());
    QCloseEvent close;
    QApplication::sendEvent(window->windowHandle(), &close);
}

}  // namespace

Q_DECLARE_METATYPE(Leave)

class StepWindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    QWidget* openStep(const QString& name) {
        if (name == "fldfrm") {
            QTest::mouseClick(f->button("Command4"), Qt::LeftButton);
            return sbx::findOpenWindow<sbx::FileIntakeWindow>();
        }
        QTest::mouseClick(f->button("Command2"), Qt::LeftButton);
        sbx::SheetSelectionWindow* selection = sbx::SheetSelectionWindow::findOpen();
        if (name == "checkfrm" || selection == nullptr) return selection;
        selection->findChild<QCheckBox*>("chk11")->setChecked(true);
        f->dialogs.expectMessage("你选择了  1 个工作表.");
        QTest::mouseClick(selection->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        return sbx::RangeEntryWindow::findOpen();
    }

private slots:
    void init() {
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        // The example reports: start-up makes the summary workbook a copy of one of them.
        std::filesystem::create_directories(f->paths.poolDirectory());
        for (const char* name : {"东城区.xls", "西城区.xls"}) {
            std::filesystem::copy_file(sbx::utf8Path(std::string(SBX_EXAMPLES "/pool/") + name),
                                       f->paths.poolFile(name));
        }
        f->dialogs.expectOkCancel(sbx::startup_text::workOnPoolQuestion(f->paths), true);
        f->make();
        f->window->startUp(0ms);
        f->window->move(40, 30);
        f->window->show();
        QApplication::setActiveWindow(f->window.get());
        QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
    }
    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != f->window.get()) window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void everyWayOutIsCancelAndGivesTheMainWindowBack_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<Leave>("leave");
        QTest::addColumn<QString>("cancelButton");
        QTest::addColumn<QString>("hint");  // empty: the hint stays as it was
        const std::tuple<const char*, const char*, const char*> steps[] = {
            {"fldfrm", "Command2", ""}, {"checkfrm", "Command2", "欢迎使用数簿星!"}, {"hjxx", "Command2", "欢迎使用数簿星"}};
        const std::pair<Leave, const char*> ways[] = {
            {Leave::CancelButton, "cancel button"}, {Leave::CloseBox, "close box"}, {Leave::Escape, "Esc"}};
        for (const auto& [step, button, hint] : steps) {
            for (const auto& [leave, way] : ways) {
                QTest::addRow("%s by %s", step, way) << QString(step) << leave << QString(button) << u(hint);
            }
        }
    }
    void everyWayOutIsCancelAndGivesTheMainWindowBack() {
        QFETCH(QString, step);
        QFETCH(Leave, leave);
        QFETCH(QString, cancelButton);
        QFETCH(QString, hint);
        const QString hintBefore = f->hint();
        QPointer<QWidget> window = openStep(step);
        QVERIFY(window);
        QCOMPARE(window->objectName(), step);
        QVERIFY(!f->window->isEnabled());

        switch (leave) {
        case Leave::CancelButton:
            QTest::mouseClick(window->findChild<QPushButton*>(cancelButton), Qt::LeftButton);
            break;
        case Leave::CloseBox:
            closeFromTitleBar(window);
            break;
        case Leave::Escape:
            // Where the keyboard focus is, as a person presses it.
            QTest::keyClick(window->focusWidget() ? window->focusWidget() : window.data(), Qt::Key_Escape);
            break;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull() || !window->isVisible());

        QVERIFY(f->window->isEnabled());
        QCOMPARE(f->hint(), hint.isEmpty() ? hintBefore : hint);
        QVERIFY(!f->window->job().jobReady);
        QVERIFY(f->button("Command2")->isEnabled());
        QVERIFY(f->button("Command4")->isEnabled());
        QVERIFY(!f->button("Command3")->isEnabled());
        // The main window answers again: 退出系统 ends it.
        QSignalSpy closed(f->window.get(), &sbx::MainWindow::closed);
        QTest::mouseClick(f->button("Command1"), Qt::LeftButton);
        QCOMPARE(closed.count(), 1);
    }

    void eachStepOpensCentredOverTheMainWindowOnTheScreen_data() {
        QTest::addColumn<QString>("step");
        for (const char* step : {"fldfrm", "checkfrm", "hjxx"}) QTest::newRow(step) << QString(step);
    }
    void eachStepOpensCentredOverTheMainWindowOnTheScreen() {
        QFETCH(QString, step);
        QWidget* window = openStep(step);
        QVERIFY(window);
        const QRect available = f->window->screen()->availableGeometry();
        QVERIFY2(available.contains(window->frameGeometry()), qPrintable(step));
        const QPoint offset = window->frameGeometry().center() - f->window->frameGeometry().center();
        // Up to half the assumed title bar apart where the platform draws no frame.
        QVERIFY2(offset.manhattanLength() <= 16, qPrintable(QStringLiteral("%1, %2").arg(offset.x()).arg(offset.y())));
    }

    void enterInRangeEntryAcceptsTheJob() {
        QWidget* window = openStep("hjxx");
        QVERIFY(window);
        auto* first = window->findChild<QLineEdit*>("txt12");
        auto* last = window->findChild<QLineEdit*>("txt13");
        QVERIFY(first && last);
        QTest::keyClicks(first, "b3");
        QTest::keyClicks(last, "c4");
        f->dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QTest::keyClick(last, Qt::Key_Return);
        QVERIFY(f->window->job().jobReady);
        QCOMPARE(f->window->job().rangeTable.size(), std::size_t{1});
        QVERIFY(f->window->isEnabled());
        QVERIFY(sbx::RangeEntryWindow::findOpen() == nullptr);
    }
};

QTEST_MAIN(StepWindowsTest)
#include "step_windows_test.moc"
