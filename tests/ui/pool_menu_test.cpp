// The pool list's menu op: OPN in the read-only viewer, SEE's properties, RENAME with its
// screening, overwrite question and own name, del with its question, failures reported, and
// List1 and Label4 true to the folder after every operation.
#include <algorithm>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QApplication>
#include <QMenu>
#include <QtTest>

#include "tests/ui/main_window_fixture.h"
#include "ui/pool_file_actions.h"
#include "ui/pool_name_text.h"
#include "ui/workbook_viewer.h"
#include "workspace/pool.h"
#include "workspace/pool_file_ops.h"
#include "workspace/startup.h"
#include "workspace/summary_template.h"

using namespace sbx::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
namespace text = sbx::pool_ops_text;

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

bool viewerOpen() {
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget* widget) {
        return qobject_cast<sbx::WorkbookViewer*>(widget) != nullptr && widget->isVisible();
    });
}

}  // namespace

class PoolMenuTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    bool exists(const char* name) const { return fs::exists(f->paths.poolFile(name)); }
    void select(const QString& name) {
        f->list1()->clearSelection();
        const auto found = f->list1()->findItems(name, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(name));
        found.front()->setSelected(true);
    }
    void choose(const char* action) {
        QAction* item = f->window->findChild<QMenu*>("op")->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY2(item, action);
        item->trigger();
    }

private slots:
    void init() {
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        fs::create_directories(f->paths.poolDirectory());
        fs::copy_file(fs::path(SBX_EXAMPLES) / "sample_report.xls", f->paths.poolFile("a.xls"));
        writeFile(f->paths.poolFile("b.xls"), "B");
        writeFile(f->paths.poolFile("c.xls"), "C");
        f->dialogs.expectOkCancel(sbx::startup_text::workOnPoolQuestion(f->paths), true);
        f->make();
        f->window->startUp(0ms);
        f->window->show();
        // The directory's own order is not known: put a.xls, b.xls, c.xls in that order.
        f->list1()->clear();
        f->list1()->addItems({u("a.xls"), u("b.xls"), u("c.xls")});
    }
    void cleanup() {
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    // Nothing selected: no action asks. Several: only 删除文件 does, once, naming the count.
    void withoutExactlyOneSelectedEntryOnlyDeleteAsks() {
        // A box would break the script: none may appear but the one expected.
        f->list1()->clearSelection();
        for (const char* action : {"OPN", "SEE", "RENAME", "del"}) choose(action);
        f->list1()->item(0)->setSelected(true);
        f->list1()->item(1)->setSelected(true);
        for (const char* action : {"OPN", "SEE", "RENAME"}) choose(action);
        f->dialogs.expectOkCancel(text::deleteSeveralQuestion(2), false, sbx::Risk::Destructive);
        choose("del");
        QCOMPARE(f->list1()->count(), 3);
    }

    void openShowsTheWorkbookUntilOkAndNeverSavesIt() {
        const std::string before = bytesOf(f->paths.poolFile("a.xls"));
        select(u("a.xls"));
        bool shownDuringMessage = false;
        f->dialogs.expectMessage("查看完毕后,按确定自动关闭!").then([&] { shownDuringMessage = viewerOpen(); });
        choose("OPN");
        QVERIFY(shownDuringMessage);
        QVERIFY(!viewerOpen());
        QCOMPARE(bytesOf(f->paths.poolFile("a.xls")), before);
    }

    void aDoubleClickOpensTheEntry() {
        bool shownDuringMessage = false;
        f->dialogs.expectMessage("查看完毕后,按确定自动关闭!").then([&] { shownDuringMessage = viewerOpen(); });
        QListWidgetItem* entry = f->list1()->findItems(u("a.xls"), Qt::MatchExactly).value(0);
        QVERIFY(entry);
        const QPoint at = f->list1()->visualItemRect(entry).center();
        QTest::mousePress(f->list1()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(f->list1()->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(shownDuringMessage);
    }

    void openOfABrokenWorkbookIsReported() {
        select(u("b.xls"));
        f->dialogs.expectMessageContaining("无法打开文件：b.xls\r");
        choose("OPN");
        QVERIFY(!viewerOpen());
    }

    // A pool file that turned into a FIFO is named, never opened: opening it would hang.
    void openAndSeeOfAFifoNameItWithoutOpeningIt() {
        alarm(30);  // a hang fails the test instead of blocking it
        fs::remove(f->paths.poolFile("c.xls"));
        QCOMPARE(mkfifo(f->paths.poolFile("c.xls").c_str(), 0600), 0);
        select(u("c.xls"));
        f->dialogs.expectMessageContaining("无法打开文件：c.xls\r“" + sbx::utf8String(f->paths.poolFile("c.xls")) +
                                           "”不是表格文件：这是一个命名管道");
        choose("OPN");
        QVERIFY(!viewerOpen());
        f->dialogs.expectMessageContaining("这是一个命名管道");
        choose("SEE");
        alarm(0);
    }

    void seeShowsSizeTimeAndWorksheets() {
        select(u("a.xls"));
        f->dialogs.expectMessageContaining("工作表：2 个（资产负债表、利润表）");
        choose("SEE");
        const std::string shown = f->dialogs.messages().back();
        QVERIFY(shown.find("大小：" + std::to_string(fs::file_size(f->paths.poolFile("a.xls"))) + " 字节") !=
                std::string::npos);
        QVERIFY(shown.find("修改时间：") != std::string::npos);
    }

    void renameMovesTheEntryToTheEndAndNeverDoublesTheEnding() {
        select(u("a.xls"));
        f->dialogs.expectInput(text::kRenamePrompt, " 新名 ");
        choose("RENAME");
        QCOMPARE(entries(*f->list1()), (QStringList{u("b.xls"), u("c.xls"), u("新名.xls")}));
        QVERIFY(!exists("a.xls"));
        QVERIFY(exists("新名.xls"));
        select(u("b.xls"));
        f->dialogs.expectInput(text::kRenamePrompt, "d.xls");
        choose("RENAME");
        QVERIFY(exists("d.xls"));
        QCOMPARE(f->dialogs.transcript().back().defaultText, std::string("b"));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void renameWithBlanksCancelOrTheOwnNameChangesNothing() {
        select(u("b.xls"));
        f->dialogs.expectInput(text::kRenamePrompt, "   ")
            .expectInput(text::kRenamePrompt, std::nullopt)
            .expectInput(text::kRenamePrompt, "b");
        for (int i = 0; i < 3; ++i) choose("RENAME");
        QCOMPARE(entries(*f->list1()), (QStringList{u("a.xls"), u("b.xls"), u("c.xls")}));
        QCOMPARE(bytesOf(f->paths.poolFile("b.xls")), std::string("B"));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void renameRefusesPathsAndDots() {
        select(u("b.xls"));
        for (const char* bad : {"..", "a/b", "../b", "x\\y"}) {
            f->dialogs.expectInput(text::kRenamePrompt, bad).expectMessageContaining("不能作为文件名");
            choose("RENAME");
        }
        QVERIFY(!fs::exists(f->paths.poolDirectory().parent_path() / "b.xls"));
        QCOMPARE(entries(*f->list1()), (QStringList{u("a.xls"), u("b.xls"), u("c.xls")}));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void renameOntoAnExistingNameAsksAndOnYesListsItOnce() {
        select(u("b.xls"));
        f->dialogs.expectInput(text::kRenamePrompt, "c").expectYesNo("目标目录下有c.xls同名文件，是否覆盖?", false, sbx::Risk::Destructive);
        choose("RENAME");
        QCOMPARE(bytesOf(f->paths.poolFile("c.xls")), std::string("C"));
        QCOMPARE(entries(*f->list1()), (QStringList{u("a.xls"), u("b.xls"), u("c.xls")}));

        f->dialogs.expectInput(text::kRenamePrompt, "c").expectYesNo("目标目录下有c.xls同名文件，是否覆盖?", true, sbx::Risk::Destructive);
        choose("RENAME");
        QCOMPARE(bytesOf(f->paths.poolFile("c.xls")), std::string("B"));
        QVERIFY(!exists("b.xls"));
        QCOMPARE(entries(*f->list1()), (QStringList{u("a.xls"), u("c.xls")}));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void aRenameThatFailsIsReportedAndTheListStaysTrue() {
        fs::create_directories(f->paths.poolFile("d.xls") / "inner");
        select(u("b.xls"));
        f->dialogs.expectInput(text::kRenamePrompt, "d")
            .expectYesNo("目标目录下有d.xls同名文件，是否覆盖?", true, sbx::Risk::Destructive)
            .expectMessageContaining(std::string(text::kRenameFailed) + "b.xls → d.xls\r");
        choose("RENAME");
        QCOMPARE(bytesOf(f->paths.poolFile("b.xls")), std::string("B"));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    void deleteAsksAndTheLastDeletionDisablesCommand2() {
        QVERIFY(f->button("Command2")->isEnabled());
        select(u("b.xls"));
        f->dialogs.expectOkCancel("确信要删除文件：b.xls吗？", false, sbx::Risk::Destructive);
        choose("del");
        QVERIFY(exists("b.xls"));
        QCOMPARE(f->list1()->count(), 3);
        for (const char* name : {"b.xls", "a.xls", "c.xls"}) {
            select(u(name));
            f->dialogs.expectOkCancel(text::deleteQuestion(name), true, sbx::Risk::Destructive)
                .expectMessageContaining("已删除的文件已移到");
            choose("del");
            QVERIFY(!exists(name));
            QCOMPARE(f->list1UntrueToFolder(), QString());
            QCOMPARE(f->button("Command2")->isEnabled(), f->list1()->count() > 0);
        }
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 0"));
    }

    // The main window names the file the summary is made from: the last pool file that can be
    // read. Deleting that file makes the summary again at once from what is left; a template
    // chosen with 设为汇总模板 (only a readable one) stays when its pool file is deleted.
    void theTemplateIsNamedChosenAndFollowsADeletion() {
        auto* shown = f->control<QLabel>("TemplateLabel");
        const fs::path summary = f->paths.summaryWorkbook();
        QVERIFY2(shown->isVisible() && shown->text().endsWith(u("\na.xls")), qPrintable(shown->text()));
        QCOMPARE(bytesOf(summary), bytesOf(f->paths.poolFile("a.xls")));

        select(u("c.xls"));
        f->dialogs.expectMessageContaining("文件 c.xls 无法读取，不能作为汇总模板");
        choose("TEMPLATE");
        select(u("a.xls"));
        f->dialogs.expectOkCancel(text::deleteQuestion("a.xls"), true, sbx::Risk::Destructive)
            .expectMessageContaining("已删除的文件已移到");
        choose("del");
        QVERIFY2(shown->text().endsWith(u("\nc.xls")), qPrintable(shown->text()));
        QCOMPARE(bytesOf(summary), std::string("C"));

        fs::copy_file(fs::path(SBX_EXAMPLES) / "sample_report.xls", f->paths.poolFile("d.xls"));
        f->list1()->addItem(u("d.xls"));
        select(u("d.xls"));
        f->dialogs.expectMessage(sbx::templateChosenMessage("d.xls", f->paths));
        choose("TEMPLATE");
        const std::string chosen = bytesOf(f->paths.poolFile("d.xls"));
        QCOMPARE(bytesOf(summary), chosen);
        f->dialogs.expectOkCancel(text::deleteQuestion("d.xls"), true, sbx::Risk::Destructive)
            .expectMessageContaining("已删除的文件已移到");
        choose("del");
        QCOMPARE(bytesOf(summary), chosen);
        QCOMPARE(shown->text(), u("汇总文件的模板：\nd.xls（选定的模板）"));
    }

    // Renaming the template's pool file renames it in the main window's note and in
    // hz/模板.txt: the pool file the summary was copied from, and a chosen template's kept copy.
    void renamingTheTemplatesPoolFileRenamesItsNote() {
        auto* shown = f->control<QLabel>("TemplateLabel");
        const struct {
            const char* from;
            const char* to;
            bool chosen;
            const char* note;
        } steps[] = {{"a.xls", "东城区", false, "东城区.xls"}, {"东城区.xls", "西城区", true, "西城区.xls（选定的模板）"}};
        for (const auto& step : steps) {
            select(u(step.from));
            if (step.chosen) {
                f->dialogs.expectMessage(sbx::templateChosenMessage(step.from, f->paths));
                choose("TEMPLATE");
            }
            f->dialogs.expectInput(text::kRenamePrompt, step.to);
            choose("RENAME");
            QCOMPARE(shown->text(), u("汇总文件的模板：\n") + u(step.note));
            const std::string renamed = std::string(step.to) + ".xls";
            const sbx::TemplateNote note = sbx::readTemplateNote(f->paths);
            const fs::path kept = sbx::keptTemplateDirectory(f->paths);
            QCOMPARE(note.madeFrom, step.chosen ? kept / sbx::utf8Path(renamed) : f->paths.poolFile(renamed));
            QCOMPARE(note.chosen, step.chosen ? kept / sbx::utf8Path(renamed) : fs::path());
            QVERIFY(!fs::exists(kept / sbx::utf8Path(step.from)));
        }
    }

    // Names of GBK bytes (not UTF-8, as shared drives hold them) are renamed and deleted by
    // their own bytes, not by the replacement marks the list shows for them.
    void namesOfGbkBytesAreRenamedAndDeletedByTheirBytes() {
        const std::string gbk = "\xB7\xD6\xB9\xAB\xCB\xBE";  // 分公司 in GBK
        writeFile(f->paths.poolFile(gbk + "1.xls"), "G1");
        writeFile(f->paths.poolFile(gbk + "2.xls"), "G2");
        for (const char* n : {"1.xls", "2.xls"}) f->list1()->addItem(sbx::poolNameText(gbk + n));
        select(sbx::poolNameText(gbk + "1.xls"));
        f->dialogs.expectInput(text::kRenamePrompt, "新名");
        choose("RENAME");
        QCOMPARE(bytesOf(f->paths.poolFile("新名.xls")), std::string("G1"));
        select(sbx::poolNameText(gbk + "2.xls"));
        f->dialogs.expectOkCancel(text::deleteQuestion(gbk + "2.xls"), true, sbx::Risk::Destructive)
            .expectMessageContaining("已删除的文件已移到");
        choose("del");
        QVERIFY(!fs::exists(f->paths.poolFile(gbk + "2.xls")));
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QCOMPARE(sbx::poolNameBytes(sbx::poolNameText(gbk + "😀.xls")), gbk + "😀.xls");
    }

    void aDeleteThatFailsIsReportedAndTheListStaysTrue() {
        // An entry whose name is now a folder: it is not removed, and the entry goes.
        fs::create_directories(f->paths.poolFile("d.xls") / "inner");
        f->list1()->addItem(u("d.xls"));
        select(u("d.xls"));
        f->dialogs.expectOkCancel(text::deleteQuestion("d.xls"), true, sbx::Risk::Destructive)
            .expectMessageContaining(std::string(text::kDeleteFailed) + "d.xls\r");
        choose("del");
        QVERIFY(fs::exists(f->paths.poolFile("d.xls") / "inner"));
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }
};

QTEST_MAIN(PoolMenuTest)
#include "pool_menu_test.moc"
