// The desktop around a run: files and folders dropped on the pool list are taken in (and
// refused while a run works), a running consolidation is cancelled with its button or Esc
// and leaves the summary workbook as it was, and the run shows its files done, elapsed time
// and time left. Events reach the widgets as the window system would send them; with
// SBX_REAL_X11 set (under Xvfb), Esc comes from the X server itself.
#include <QMimeData>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include "workspace/natural_order.h"
#include "tests/support/test_files.h"
#include "tests/ui/run_window_fixture.h"
#include "workspace/drop_intake.h"
#include "workspace/intake.h"
#include "workspace/pool_file_ops.h"

using namespace sbx::testing;
namespace fs = std::filesystem;
namespace run_text = sbx::run_text;

namespace {

// Drag-enter, drag-move and drop of `files` on `target`; whether the drop was accepted.
bool dropFiles(QWidget* target, const std::vector<fs::path>& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& file : files) urls << QUrl::fromLocalFile(QString::fromStdString(sbx::utf8String(file)));
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    move.ignore();
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();  // the intake runs right after the drop
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

// Runs `action` once, on the first tick (during the run's repaints) where `when` holds.
void duringRun(QObject* owner, std::function<bool()> when, std::function<void()> action) {
    auto* timer = new QTimer(owner);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, when, action] {
        if (!when()) return;
        timer->stop();
        action();
    });
    timer->start();
}

}  // namespace

class DesktopRunTest : public QObject {
    Q_OBJECT

    std::unique_ptr<RunFixture> f;
    std::unique_ptr<TempFolder> elsewhere;

    QWidget* poolListViewport() const { return f->list1()->viewport(); }
    fs::path source(const std::string& relative, const std::string& from = "branch_1.xls") {
        const fs::path file = elsewhere->path() / relative;
        fs::create_directories(file.parent_path());
        fs::copy_file(kPoolFixture / from, file, fs::copy_options::overwrite_existing);
        return file;
    }

private slots:
    void init() {
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool();
        elsewhere = std::make_unique<TempFolder>("drops");
    }
    void cleanup() {
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
        elsewhere.reset();
    }

    void droppedFilesAndFoldersAreTakenIn_data() {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("summaryFrom");
        QTest::newRow("two files") << QStringList{"a/east.xls", "b/west.xls"} << false
                                   << QStringList{"east.xls", "west.xls"} << "b/west.xls";
        // A folder: its workbooks by name, not its sub-folders, not its other files.
        QTest::newRow("a folder") << QStringList{"month"} << false << QStringList{"north.xls", "south.xls"}
                                  << "month/south.xls";
        // The pool's own name: asked before it is replaced.
        QTest::newRow("a pool name, replaced") << QStringList{"c/branch_2.xls"} << true << QStringList{"branch_2.xls"}
                                               << "c/branch_2.xls";
        QTest::newRow("a pool name, kept") << QStringList{"c/branch_2.xls"} << false << QStringList{} << "";
    }
    void droppedFilesAndFoldersAreTakenIn() {
        QFETCH(QStringList, dropped);
        QFETCH(bool, replace);
        QFETCH(QStringList, added);
        QFETCH(QString, summaryFrom);
        for (const char* file : {"month/south.xls", "month/north.xls", "month/notes.txt", "month/2024/old.xls"}) {
            source(file, "branch_3.xls");
        }
        std::vector<fs::path> files;
        for (const QString& d : dropped) {
            const std::string relative = d.toStdString();
            files.push_back(relative.find('.') == std::string::npos ? elsewhere->path() / relative : source(relative));
        }
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        QStringList expectedList = entries(*f->list1());
        if (dropped.first().contains("branch_2")) f->dialogs.expectYesNo(sbx::pool_ops_text::overwriteQuestion("branch_2.xls"), replace,
                                                                                              sbx::Risk::Destructive);
        f->dialogs.allowUnscriptedMessages();

        QVERIFY(dropFiles(poolListViewport(), files));

        QCOMPARE(f->dialogs.messages().size(), size_t{1});
        const QString report = u(f->dialogs.messages().front());
        for (const QString& name : added) {
            expectedList.removeAll(name);
            expectedList << name;
            QVERIFY2(report.contains(name), qPrintable(report));
        }
        // Listed where the start-up listing would put them.
        std::sort(expectedList.begin(), expectedList.end(),
                  [](const QString& a, const QString& b) { return sbx::naturalLess(a.toStdString(), b.toStdString()); });
        QCOMPARE(entries(*f->list1()), expectedList);
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QVERIFY(!fs::exists(f->paths.poolFile("old.xls")));
        QVERIFY(!fs::exists(f->paths.poolFile("notes.txt")));
        if (added.isEmpty()) {
            QVERIFY2(report.startsWith(u("没有添加任何文件。")), qPrintable(report));
            QCOMPARE(bytesOf(f->paths.summaryWorkbook()), summaryBefore);
        } else {
            QVERIFY2(report.startsWith(u("已添加 " + std::to_string(added.size()) + " 个文件：")), qPrintable(report));
            QCOMPARE(f->hint(), u(sbx::intake_text::kNextStepHint));
            QCOMPARE(bytesOf(f->paths.summaryWorkbook()), bytesOf(elsewhere->path() / summaryFrom.toStdString()));
            QVERIFY(f->button("Command2")->isEnabled());
        }
    }

    void dragsWithoutFilesAreRefused() {
        QMimeData text;
        text.setText(QStringLiteral("branch_9.xls"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(poolListViewport(), &enter);
        QVERIFY(!enter.isAccepted());
    }

    void cancelLeavesTheSummaryAsItWas_data() {
        QTest::addColumn<bool>("function");
        QTest::addColumn<bool>("byEscape");
        QTest::addColumn<bool>("afterFirstWorksheet");
        QTest::newRow("efficiency, button, after a saved worksheet") << false << false << true;
        QTest::newRow("efficiency, Esc, in the first worksheet") << false << true << false;
        QTest::newRow("function, Esc, after a saved worksheet") << true << true << true;
        QTest::newRow("function, button, in the first worksheet") << true << false << false;
    }
    void cancelLeavesTheSummaryAsItWas() {
        QFETCH(bool, function);
        QFETCH(bool, byEscape);
        QFETCH(bool, afterFirstWorksheet);
        f->readyJob();
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        const fs::path dropped = source("late/late.xls");
        QPushButton* cancel = f->button("CancelRun");
        QVERIFY(cancel != nullptr && cancel->isHidden());

        bool cancelShown = false, dropAccepted = true, timeShown = false;
        // What ignores clicks during the run looks it: disabled, and enabled again after.
        const char* heldOff[] = {"Command1", "Command2", "Command3", "Command4", "List1", "List2"};
        QStringList enabledDuringRun;
        const QString fileField = function ? "Text3" : "Text9";
        duringRun(
            f->window.get(),
            [&] {
                return afterFirstWorksheet ? f->button("Command7")->text().startsWith(u("总进程：1/2"))
                                           : !f->control<QLineEdit>(fileField.toLatin1().constData())->text().isEmpty();
            },
            [&] {
                cancelShown = cancel->isVisible() && cancel->isEnabled();
                timeShown = f->control<QLabel>("RunTime")->isVisible();
                for (const char* name : heldOff) {
                    if (f->control(name)->isEnabled()) enabledDuringRun << QString::fromLatin1(name);
                }
                dropAccepted = dropFiles(poolListViewport(), {dropped});
                QTest::mouseClick(f->button("Command1"), Qt::LeftButton);  // 退出系统 waits for the run
                if (byEscape && qEnvironmentVariableIsSet("SBX_REAL_X11")) {
                    // Through the X server: the key waits in the window system's queue until
                    // the run lets input through.
                    const QString command = QStringLiteral("xdotool key --window %1 Escape").arg(f->window->winId());
                    QCOMPARE(std::system(command.toLocal8Bit().constData()), 0);
                } else if (byEscape) {
                    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : f->window.get(),
                                    Qt::Key_Escape);
                } else {
                    QTest::mouseClick(cancel, Qt::LeftButton);
                }
            });
        if (function) f->expectFunctionConfirmation(true);
        f->dialogs.expectMessage(run_text::cancelledMessage());
        f->clickMode(function ? "Command2" : "Command1");

        QVERIFY(cancelShown);
        QVERIFY2(enabledDuringRun.isEmpty(), qPrintable(enabledDuringRun.join(' ')));
        for (const char* name : heldOff) QVERIFY2(f->control(name)->isEnabled(), name);
        QVERIFY(timeShown);
        QVERIFY(!dropAccepted);
        QVERIFY(!fs::exists(f->paths.poolFile("late.xls")));
        QVERIFY(f->window->isVisible());
        QVERIFY(bytesOf(f->paths.summaryWorkbook()) == summaryBefore);
        QCOMPARE(f->hint(), u(run_text::kHintCancelled));
        QCOMPARE(f->window->job().runState, sbx::RunState::IdleOrRunning);
        QVERIFY(!f->window->job().efficiencyBlocked);
        QVERIFY(f->panelHidden());
        QVERIFY(cancel->isHidden());
        QCOMPARE(f->list2()->count(), 0);
        QVERIFY(f->button("Command3")->isEnabled());
        // The window takes input again: a drop after the run is taken in.
        f->dialogs.allowUnscriptedMessages();
        QVERIFY(dropFiles(poolListViewport(), {dropped}));
        QVERIFY(fs::exists(f->paths.poolFile("late.xls")));
    }

    void runShowsFilesDoneAndTime() {
        f->readyJob();
        QStringList seen;
        auto* timer = new QTimer(f->window.get());
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, timer, [&] {
            const QString text = f->control<QLabel>("RunTime")->text();
            if (f->control<QLabel>("RunTime")->isVisible() && !text.isEmpty() && !seen.contains(text)) seen << text;
        });
        timer->start();
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive).expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command1");
        timer->stop();
        QVERIFY2(!seen.isEmpty(), "the time line never showed");
        for (const QString& text : seen) {
            QVERIFY2(QRegularExpression(u("^文件 [0-3]/3（工作表 [12]/2）\n已用 \\d+ 秒，")).match(text).hasMatch(),
                     qPrintable(text));
        }
        QVERIFY(f->control<QLabel>("RunTime")->isHidden());
    }
};

QTEST_MAIN(DesktopRunTest)
#include "desktop_run_test.moc"
