// The file intake window opened from the main window's Command4: its controls, the
// lists that follow the current folder, the drive list, taking files in with every message
// and outcome, the pool folder under another spelling, a copy that fails, and the main
// window disabled while it is open.
#include <algorithm>
#include <filesystem>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/ui/main_window_fixture.h"
#include "ui/file_intake_window.h"
#include "ui/open_windows.h"
#include "workspace/intake.h"
#include "workspace/pool.h"
#include "workspace/startup.h"
#include "workspace/summary_template.h"
#include "ui/pool_file_actions.h"

using namespace sbx::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
namespace text = sbx::intake_text;

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }
QString q(const fs::path& path) { return QString::fromUtf8(sbx::utf8String(path).c_str()); }

}  // namespace

class FileIntakeWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;
    std::unique_ptr<QTemporaryDir> source;  // a folder outside the pool
    QString startFolder;
    QPointer<sbx::FileIntakeWindow> intake;

    fs::path src() const { return sbx::utf8Path(source->path().toStdString()); }
    template <typename Widget = QWidget>
    Widget* in(const char* name) const {
        return intake->findChild<Widget*>(QString::fromLatin1(name));
    }
    QListWidget* file1() const { return in<QListWidget>("File1"); }
    void openIntake() {
        QTest::mouseClick(f->button("Command4"), Qt::LeftButton);
        intake = sbx::findOpenWindow<sbx::FileIntakeWindow>();
        QVERIFY(intake);
        QVERIFY(intake->isVisible());
    }
    void selectFiles(const QStringList& names) {
        file1()->clearSelection();
        for (const QString& name : names) {
            const auto found = file1()->findItems(name, Qt::MatchExactly);
            QVERIFY2(found.size() == 1, qPrintable(name));
            found.front()->setSelected(true);
        }
    }
    void takeIn() { QTest::mouseClick(in<QPushButton>("Command1"), Qt::LeftButton); }
    std::string sourceBytes(const char* name) const { return bytesOf(src() / name); }
    // Pastes over the path line's text as a person does (Chinese cannot be typed by key
    // events), and presses Enter.
    void typePath(const QString& text) {
        auto* path1 = in<QLineEdit>("Path1");
        path1->setFocus();
        path1->selectAll();
        path1->insert(text);
        QTest::keyClick(path1, Qt::Key_Return);
    }
    // List1 names exactly the pool files of the folder.

private slots:
    void init() {
        startFolder = QDir::currentPath();
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        writeFile(f->paths.poolFile("p.xls"), "pool P");
        f->dialogs.expectOkCancel(sbx::startup_text::workOnPoolQuestion(f->paths), true);
        f->make();
        f->window->startUp(0ms);
        f->window->show();
        source = std::make_unique<QTemporaryDir>();
        // Two workbooks that can be read (each may become the template) and two other files.
        fs::copy_file(fs::path(SBX_EXAMPLES) / "pool" / sbx::utf8Path("东城区.xls"), src() / "a.xls");
        fs::copy_file(fs::path(SBX_EXAMPLES) / "pool" / sbx::utf8Path("西城区.xls"), src() / "b.xls");
        for (const char* name : {"notes.txt", "c.XLS"}) writeFile(src() / name, name);
        fs::create_directories(src() / "子目录");
        QVERIFY(QDir::setCurrent(source->path()));
    }
    void cleanup() {
        if (intake) intake->close();
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
        QDir::setCurrent(startFolder);
        source.reset();
    }

    void command4OpensTheWindowOnTheCurrentFolderAndDisablesMain() {
        f->control<QLabel>("Label13")->setText(QStringLiteral("2"));
        for (const char* name : {"单位10.xls", "单位2.xls"}) writeFile(src() / sbx::utf8Path(name), name);
        openIntake();
        QCOMPARE(f->caption("Label13"), QString());
        QVERIFY(!f->window->isEnabled());
        QVERIFY(intake->isEnabled());
        QCOMPARE(intake->windowTitle(), u("请选择XLS文件"));
        QCOMPARE(in<QPushButton>("Command1")->text(), u("确定"));
        QCOMPARE(in<QPushButton>("Command1")->toolTip(), u("添加所选表格文件"));
        QCOMPARE(in<QPushButton>("Command2")->text(), u("退出"));
        for (const char* name : {"Frame1", "Drive1", "Dir1"}) QVERIFY2(in(name), name);
        QCOMPARE(file1()->selectionMode(), QAbstractItemView::ExtendedSelection);
        // Tab order: the path line, then as designed: Drive1, Dir1, Command1, File1, Command2.
        QStringList order;
        QWidget* step = in("Drive1");
        do {
            if (step->parentWidget() && step->focusPolicy() & Qt::TabFocus && !step->objectName().startsWith(u("qt_")))
                order << step->objectName();
            step = step->nextInFocusChain();
        } while (step != in("Drive1"));
        order.removeAll(QString());
        QCOMPARE(order, (QStringList{u("Drive1"), u("Dir1"), u("Command1"), u("File1"), u("Command2"), u("TemplateButton"),
                                     u("Path1")}));

        QCOMPARE(intake->folder(), QDir(source->path()).absolutePath());
        QCOMPARE(in<QLineEdit>("Path1")->text(), QDir::toNativeSeparators(intake->folder()));
        // Only the workbooks the pool takes, no folders, in the pool's order.
        QCOMPARE(entries(*file1()), (QStringList{u("a.xls"), u("b.xls"), u("单位2.xls"), u("单位10.xls")}));
        // Opens at a size for long names and can be made larger; the lists grow with it.
        QVERIFY2(intake->width() >= 600 && intake->height() >= 400, qPrintable(QString::number(intake->width())));
        const int listWidth = file1()->width();
        intake->resize(intake->width() + 300, intake->height() + 200);
        QTRY_VERIFY(file1()->width() > listWidth);
        const QStringList folders = entries(*in<QListWidget>("Dir1"));
        QVERIFY(folders.last().trimmed() == u("子目录"));

        QTest::mouseClick(in<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_VERIFY(intake.isNull());
        QVERIFY(f->window->isEnabled());
    }

    void closingTheWindowAnyOtherWayEnablesMainToo() {
        openIntake();
        intake->close();
        QVERIFY(f->window->isEnabled());
    }

    void dir1ChangeMovesTheListsButNotTheCurrentFolder() {
        openIntake();
        auto* dir1 = in<QListWidget>("Dir1");
        QListWidgetItem* sub = dir1->findItems(u("子目录"), Qt::MatchEndsWith).value(0);
        QVERIFY(sub);
        writeFile(src() / "子目录" / "d.xls", "D");
        emit dir1->itemActivated(sub);
        const QString subPath = QDir(source->path()).absoluteFilePath(u("子目录"));
        QCOMPARE(intake->folder(), subPath);
        QCOMPARE(QDir::currentPath(), QDir(source->path()).absolutePath());  // where init put it
        QCOMPARE(entries(*file1()), QStringList{u("d.xls")});
        // Its parent is listed above it and leads back.
        QListWidgetItem* parent = dir1->item(dir1->currentRow() - 1);
        emit dir1->itemActivated(parent);
        QCOMPARE(intake->folder(), QDir(source->path()).absolutePath());
        QCOMPARE(file1()->count(), 2);
    }

    // A working folder given relative to where the program started stays that folder: browsing
    // never moves the process's current folder, and files taken in land in the pool, not in
    // a kx/ under the browsed folder.
    void browsingLeavesTheCurrentFolderAndTheFilesLandInTheWorkingFolder() {
        QTemporaryDir base;
        QVERIFY(QDir::setCurrent(base.path()));
        const sbx::WorkspacePaths relative(fs::path("kx"));
        fs::create_directories(relative.summaryDirectory());
        const sbx::PoolWindowContext context{f->window.get(), f->list1(), f->control<QLabel>("Label13"),
                                             f->button("Command2"), f->dialogs, relative, sbx::makeNativeHost,
                                             {}, {}, {}};
        intake = new sbx::FileIntakeWindow(context);
        QVERIFY(intake->changeFolder(source->path()));
        auto* dir1 = in<QListWidget>("Dir1");
        emit dir1->itemActivated(dir1->findItems(u("子目录"), Qt::MatchEndsWith).value(0));
        QVERIFY(intake->changeFolder(source->path()));
        QCOMPARE(QDir::currentPath(), QDir(base.path()).absolutePath());

        selectFiles({u("a.xls")});
        f->dialogs.expectMessage(text::kAllTakenIn);
        takeIn();
        const fs::path pool = sbx::utf8Path(base.path().toStdString()) / "kx";
        QCOMPARE(bytesOf(pool / "a.xls"), sourceBytes("a.xls"));
        QCOMPARE(bytesOf(pool / "hz" / "total.xls"), sourceBytes("a.xls"));
        QVERIFY(!fs::exists(src() / "kx"));
        QCOMPARE(QDir::currentPath(), QDir(base.path()).absolutePath());
        intake->close();
        QDir::setCurrent(source->path());
    }

    // Taken in in the intake list's order, each listed where the start-up listing would put it.
    void twoFilesAreTakenInInListOrder() {
        openIntake();
        selectFiles({u("b.xls"), u("a.xls")});
        f->button("Command2")->setEnabled(false);
        f->dialogs.expectMessage(text::kAllTakenIn);
        takeIn();
        QCOMPARE(entries(*f->list1()), (QStringList{u("a.xls"), u("b.xls"), u("p.xls")}));
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 3"));
        QCOMPARE(f->hint(), u("请点击[环境设定]来设置汇总计算参数!"));
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), sourceBytes("b.xls"));
        QCOMPARE(intake->focusWidget(), in("Command2"));
        intake->close();  // Command2 shows its state once the main window is enabled again
        QVERIFY(f->button("Command2")->isEnabled());
        // The job is not touched.
        QVERIFY(!f->window->job().jobReady);
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    // An .xlsx workbook is taken in as an .xls one is: the summary becomes total.xlsx (the
    // total.xls of start-up goes), and the job setup reads the worksheets from it.
    void anXlsxWorkbookIsTakenInAndTheJobSetupReadsTheNewSummary() {
        fs::copy_file(fs::path(SBX_TEST_DATA) / "fixtures" / "mixed_pool" / "branch_2.xlsx", src() / "分公司.xlsx");
        QVERIFY(fs::exists(f->paths.summaryWorkbook(sbx::WorkbookFormat::Xls)));
        openIntake();
        selectFiles({u("分公司.xlsx")});
        f->dialogs.expectMessage(text::kAllTakenIn);
        takeIn();
        QCOMPARE(entries(*f->list1()), (QStringList{u("p.xls"), u("分公司.xlsx")}));
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QCOMPARE(f->paths.summaryWorkbook(), f->paths.summaryWorkbook(sbx::WorkbookFormat::Xlsx));
        QVERIFY(!fs::exists(f->paths.summaryWorkbook(sbx::WorkbookFormat::Xls)));
        intake->close();
        QTest::mouseClick(f->button("Command2"), Qt::LeftButton);
        QCOMPARE(f->window->job().sheetNames, (std::vector<std::string>{"收入明细", "成本费用"}));
    }

    // A path typed or pasted into the path line: a folder is shown, a file taken in as if
    // picked (quoted or as a file:// address too, as file managers copy them); a file that is
    // no workbook or cannot be read, or a path that leads nowhere, is said so.
    void aTypedPathShowsAFolderOrTakesAFileIn_data() {
        QTest::addColumn<QString>("typed");  // {src} stands for the source folder
        QTest::addColumn<QString>("folder");  // shown after, relative to it
        QTest::addColumn<QStringList>("messages");  // the start of each, in order
        QTest::addColumn<QStringList>("pool");
        QTest::addColumn<QString>("summaryFrom");  // the file the summary is a copy of
        const QStringList onlyP{u("p.xls")};
        QTest::newRow("a folder, relative, blanks around") << u("  子目录 ") << u("子目录") << QStringList() << onlyP << u("p");
        QTest::newRow("a workbook, quoted") << u("\"{src}/b.xls\"") << u(".") << QStringList{u(text::kAllTakenIn)}
                                            << QStringList{u("b.xls"), u("p.xls")} << u("b.xls");
        QTest::newRow("a file:// address") << u("file://{src}/子目录/d.xls") << u("子目录") << QStringList{u(text::kAllTakenIn)}
                                           << QStringList{u("d.xls"), u("p.xls")} << u("子目录/d.xls");
        QTest::newRow("no workbook") << u("{src}/notes.txt") << u(".") << QStringList{u(text::kNotXls), u(text::kChooseAgain)}
                                     << onlyP << u("p");
        QTest::newRow("a workbook that cannot be read")
            << u("{src}/坏表.xls") << u(".")
            << QStringList{u("文件 坏表.xls 无法读取，不能作为汇总模板："), u(text::kAllTakenIn)}
            << QStringList{u("p.xls"), u("坏表.xls")} << u("p");
        QTest::newRow("nothing there") << u("{src}/无此文件夹") << u(".") << QStringList{u(text::kNoSuchPath)} << onlyP << u("p");
    }
    void aTypedPathShowsAFolderOrTakesAFileIn() {
        QFETCH(QString, typed);
        QFETCH(QString, folder);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, pool);
        QFETCH(QString, summaryFrom);
        fs::create_directories(src() / "子目录");
        fs::copy_file(fs::path(SBX_EXAMPLES) / "pool" / sbx::utf8Path("南城区.xls"), src() / "子目录" / "d.xls");
        writeFile(src() / sbx::utf8Path("坏表.xls"), "damaged");
        for (const QString& message : messages) f->dialogs.expectMessageContaining(message.toStdString());
        openIntake();
        typePath(typed.replace(u("{src}"), source->path()));
        QCOMPARE(intake->folder(), QDir::cleanPath(QDir(source->path()).absoluteFilePath(folder)));
        QCOMPARE(entries(*f->list1()), pool);
        QCOMPARE(f->list1UntrueToFolder(), QString());
        const std::string expected = summaryFrom == u("p") ? std::string("pool P") : sourceBytes(summaryFrom.toUtf8().constData());
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), expected);
    }

    // Taking files in again that the pool holds asks once for all of them when told to.
    void reTakingSeveralPoolFilesAsksOnceForAll() {
        for (const char* name : {"a.xls", "b.xls"}) {
            writeFile(f->paths.poolFile(name), "old");
            f->list1()->addItem(u(name));
        }
        openIntake();
        selectFiles({u("a.xls"), u("b.xls")});
        f->dialogs.expectYesNoForAll(sbx::pool_ops_text::overwriteQuestion("a.xls"), sbx::ForAllAnswer::YesToAll)
            .expectMessage(text::kAllTakenIn);
        takeIn();
        for (const char* name : {"a.xls", "b.xls"}) QCOMPARE(bytesOf(f->paths.poolFile(name)), sourceBytes(name));
    }

    // 空白表作模板… chooses a blank form in the open dialog, starting in the folder shown: it
    // becomes the template, kept in hz/模板, without joining the pool. One that cannot be read
    // is refused, naming it.
    void aBlankFormIsChosenAsTheTemplateWithoutJoiningThePool() {
        fs::copy_file(fs::path(SBX_TEST_DATA) / "fixtures" / "mixed_pool" / "branch_2.xlsx", src() / sbx::utf8Path("空白表.xlsx"));
        openIntake();
        f->dialogs.expectOpenFile(src() / "c.XLS").expectMessage(text::kNotXls);
        f->dialogs.expectOpenFile(src() / "notes.xls").expectMessageContaining("文件 notes.xls 无法读取，不能作为汇总模板：\r");
        f->dialogs.expectOpenFile(std::nullopt);
        fs::copy_file(src() / "notes.txt", src() / "notes.xls");
        for (int i = 0; i < 3; ++i) QTest::mouseClick(in<QPushButton>("TemplateButton"), Qt::LeftButton);
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), std::string("pool P"));

        const fs::path blank = src() / sbx::utf8Path("空白表.xlsx");
        f->dialogs.expectOpenFile(blank).expectMessage(sbx::templateChosenMessage("空白表.xlsx", f->paths));
        QTest::mouseClick(in<QPushButton>("TemplateButton"), Qt::LeftButton);
        const auto& asked = f->dialogs.transcript();
        const auto opened = std::find_if(asked.rbegin(), asked.rend(), [](const auto& prompt) {
            return prompt.kind == sbx::testing::ScriptedDialogs::Kind::OpenFile;
        });
        QVERIFY(opened != asked.rend());
        QCOMPARE(sbx::utf8String(opened->openRequest.startIn), sbx::utf8String(src()));
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), bytesOf(blank));
        QCOMPARE(bytesOf(sbx::keptTemplateDirectory(f->paths) / sbx::utf8Path("空白表.xlsx")), bytesOf(blank));
        QCOMPARE(entries(*f->list1()), QStringList{u("p.xls")});
        QCOMPARE(f->control<QLabel>("TemplateLabel")->text(), u("汇总文件的模板：\n空白表.xlsx（选定的模板）"));
    }

    void noSelectionAsksToChooseAgainAndStillEnablesCommand2() {
        openIntake();
        f->button("Command2")->setEnabled(false);
        f->dialogs.expectMessage(text::kChooseAgain);
        takeIn();
        intake->close();
        QVERIFY(f->button("Command2")->isEnabled());
    }

    void anExistingPoolFileIsReplacedOnYesAndKeptOnNo() {
        writeFile(f->paths.poolFile("a.xls"), "old A");
        f->list1()->addItem(u("a.xls"));
        openIntake();
        selectFiles({u("a.xls")});
        f->dialogs.expectYesNo("目标目录下有a.xls同名文件，是否覆盖?", false, sbx::Risk::Destructive).expectMessage(text::kChooseAgain);
        takeIn();
        QCOMPARE(bytesOf(f->paths.poolFile("a.xls")), std::string("old A"));
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), std::string("pool P"));

        f->dialogs.expectYesNo("目标目录下有a.xls同名文件，是否覆盖?", true, sbx::Risk::Destructive).expectMessage(text::kAllTakenIn);
        takeIn();
        QCOMPARE(bytesOf(f->paths.poolFile("a.xls")), sourceBytes("a.xls"));
        QCOMPARE(entries(*f->list1()), (QStringList{u("a.xls"), u("p.xls")}));
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 2"));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void aPoolFileIsNeverTakenInOntoItselfThroughAnotherSpelling() {
        const fs::path link = src() / "pool_link";
        fs::create_directory_symlink(f->paths.poolDirectory(), link);
        openIntake();
        QVERIFY(intake->changeFolder(q(link)));
        QCOMPARE(intake->folder(), q(link));
        selectFiles({u("p.xls")});
        f->dialogs.expectMessage(text::kPoolFolder).expectMessage(text::kChooseAgain);
        takeIn();
        QCOMPARE(bytesOf(f->paths.poolFile("p.xls")), std::string("pool P"));
        QCOMPARE(entries(*f->list1()), QStringList{u("p.xls")});
        QCOMPARE(f->list1UntrueToFolder(), QString());

        // Where the disk does not tell letter case apart, the upper-case spelling too.
        const fs::path upper = f->paths.poolDirectory().parent_path() / "KX";
        if (fs::exists(upper)) {
            QVERIFY(intake->changeFolder(q(upper)));
            selectFiles({u("p.xls")});
            f->dialogs.expectMessage(text::kPoolFolder).expectMessage(text::kChooseAgain);
            takeIn();
            QCOMPARE(bytesOf(f->paths.poolFile("p.xls")), std::string("pool P"));
        }
    }

    // After a run, a file taken in replaces the summary: the run's summary is kept in hz/历史,
    // and 导出文件 and 查看结果 go, since they would show a unit's report as the total.
    void intakeAfterARunKeepsItsSummaryAndWithdrawsItsExport() {
        writeFile(f->paths.summaryWorkbook(), "run total");
        for (const char* name : {"Command5", "Command8"}) f->button(name)->show();
        openIntake();
        selectFiles({u("a.xls")});
        f->dialogs.expectMessageContaining(sbx::startup_text::kPreviousSummaryKept).expectMessage(text::kAllTakenIn);
        takeIn();
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), sourceBytes("a.xls"));
        for (const char* name : {"Command5", "Command8"}) QVERIFY2(f->button(name)->isHidden(), name);
        const fs::path history = f->paths.summaryDirectory() / sbx::utf8Path("历史");
        QCOMPARE(std::distance(fs::directory_iterator(history), fs::directory_iterator()), 1);
        QCOMPARE(bytesOf(fs::directory_iterator(history)->path()), std::string("run total"));
    }

    void aCopyThatFailsKeepsThePoolFileAndTheList() {
        writeFile(f->paths.poolFile("a.xls"), "old A");
        f->list1()->addItem(u("a.xls"));
        f->window->refreshCounts();
        const auto halfThenFail = [](const fs::path&, const fs::path& to) {
            std::ofstream(to, std::ios::binary) << "a.x";
            return std::make_error_code(std::errc::no_space_on_device);
        };
        const sbx::PoolWindowContext context{f->window.get(), f->list1(), f->control<QLabel>("Label13"),
                                             f->button("Command2"), f->dialogs, f->paths, sbx::makeNativeHost,
                                             [this](const std::string& t) { f->window->setHint(t); },
                                             [this] { f->window->refreshCounts(); }, {}};
        intake = new sbx::FileIntakeWindow(context, {}, halfThenFail);
        intake->show();
        selectFiles({u("a.xls")});
        f->dialogs.expectYesNo("目标目录下有a.xls同名文件，是否覆盖?", true, sbx::Risk::Destructive)
            .expectMessageContaining(sbx::pool_ops_text::kCopyFailed)
            .expectMessage(text::kChooseAgain);
        takeIn();
        QVERIFY(f->dialogs.messages().at(0).find("磁盘空间已满") != std::string::npos);
        QCOMPARE(bytesOf(f->paths.poolFile("a.xls")), std::string("old A"));
        QCOMPARE(entries(*f->list1()), (QStringList{u("p.xls"), u("a.xls")}));
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 2"));
        QCOMPARE(f->hint(), u("欢迎使用数簿星"));
        // Nothing half-written is left in the pool folder.
        QCOMPARE(std::distance(fs::directory_iterator(f->paths.poolDirectory()), fs::directory_iterator()), 3);
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void aDriveThatIsNotReadyKeepsTheOldFolder() {
        QTemporaryDir other;
        const QString missing = other.path() + u("/no_medium");
        const sbx::PoolWindowContext context{f->window.get(), f->list1(), f->control<QLabel>("Label13"),
                                             f->button("Command2"), f->dialogs, f->paths, sbx::makeNativeHost,
                                             {}, {}, {}};
        intake = new sbx::FileIntakeWindow(context, {QStringLiteral("/"), other.path(), missing});
        auto* drive1 = in<QComboBox>("Drive1");
        QCOMPARE(drive1->currentIndex(), 0);  // the source folder lies on "/"

        f->dialogs.expectMessage(text::kDriveNotReady);
        intake->changeDrive(2);
        QCOMPARE(drive1->currentIndex(), 2);
        QCOMPARE(intake->folder(), QDir(source->path()).absolutePath());
        QCOMPARE(QDir::currentPath(), QDir(source->path()).absolutePath());
        QCOMPARE(file1()->count(), 2);

        // A ready drive: its folder in the lists; the process stays where it was.
        intake->changeDrive(1);
        QCOMPARE(intake->folder(), QDir(other.path()).absolutePath());
        QCOMPARE(QDir::currentPath(), QDir(source->path()).absolutePath());
        QCOMPARE(file1()->count(), 0);
        // Back to the drive of the root: its root.
        intake->changeDrive(0);
        QCOMPARE(intake->folder(), QDir::rootPath());
    }

    void withoutDriveLettersTheDriveListHoldsTheRootAndHome() {
        const QStringList roots = sbx::FileIntakeWindow::systemDriveRoots();
        QVERIFY(roots.size() >= 2);
        if (QDir::drives().size() == 1) {
            QCOMPARE(roots, (QStringList{QDir::rootPath(), QDir::homePath()}));
        }
    }
};

QTEST_MAIN(FileIntakeWindowTest)
#include "file_intake_window_test.moc"
