// File faults during runs started from the windows, seen from the pool list: whatever goes
// wrong (a source removed before or during the run, a summary that cannot be saved, a file
// that archiving cannot move, an archive folder that cannot be made), List1 ends naming
// exactly the pool's workbooks that are still there, Label4 counts them, the sources keep
// their bytes and the user has been told.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <cerrno>
#include <map>

#include "spreadsheet/native_host.h"
#include "spreadsheet/utf8_path.h"
#include "tests/ui/run_window_fixture.h"
#include "workspace/archive.h"

using namespace sbx::testing;
namespace fs = std::filesystem;
namespace run_text = sbx::run_text;

namespace {

// Passes everything to the native engine; the first open of any workbook first removes
// `victim` (a source present at the pool scan and gone when the run reaches it).
class RemovingOnOpenHost final : public sbx::SpreadsheetHost {
public:
    explicit RemovingOnOpenHost(fs::path victim) : victim_(std::move(victim)) {}
    sbx::Workbook& open(const fs::path& file) override {
        std::error_code ignored;
        if (file.filename() != "total.xls") fs::remove(victim_, ignored);
        return inner_->open(file);
    }
    void close(sbx::Workbook& book, bool save) override { inner_->close(book, save); }
    void quit() override { inner_->quit(); }
    void saveAs(sbx::Workbook& book, const fs::path& target) override { inner_->saveAs(book, target); }

private:
    std::unique_ptr<sbx::SpreadsheetHost> inner_ = sbx::makeNativeHost();
    fs::path victim_;
};

std::map<std::string, std::string> poolBytes(const sbx::WorkspacePaths& paths) {
    std::map<std::string, std::string> bytes;
    for (const auto& entry : fs::directory_iterator(paths.poolDirectory())) {
        if (entry.is_regular_file()) bytes[entry.path().filename().string()] = bytesOf(entry.path());
    }
    return bytes;
}

}  // namespace

class PoolListFaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<RunFixture> f;

    QStringList listed() const {
        QStringList names = entries(*f->list1());
        names.sort();
        return names;
    }

    void start(std::function<std::unique_ptr<sbx::SpreadsheetHost>()> makeHost = sbx::makeNativeHost) {
        f = std::make_unique<RunFixture>();
        f->makeHost = std::move(makeHost);
        f->startOverFixturePool();
        f->readyJob();
    }

private slots:
    void cleanup() {
        if (f) QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void aSourceRemovedBeforeTheRunIsSkippedAndLeavesTheList_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("efficiency") << QByteArray("Command1");
        QTest::newRow("function") << QByteArray("Command2");
    }
    void aSourceRemovedBeforeTheRunIsSkippedAndLeavesTheList() {
        QFETCH(QByteArray, mode);
        start();
        fs::remove(f->paths.poolFile("branch_2.xls"));
        const auto sources = poolBytes(f->paths);
        if (mode == "Command2") f->expectFunctionConfirmation(true);
        f->dialogs.expectMessageContaining("汇表池中找不到的文件 1")
            .expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode(mode.constData());

        QCOMPARE(f->window->job().runState, sbx::RunState::Finished);
        QCOMPARE(f->runList(), QStringList({"branch_1.xls", "branch_3.xls"}));
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 2"));
        QCOMPARE(poolBytes(f->paths), sources);
    }

    void aSourceRemovedDuringTheRunEndsItAndLeavesTheList_data() {
        aSourceRemovedBeforeTheRunIsSkippedAndLeavesTheList_data();
    }
    void aSourceRemovedDuringTheRunEndsItAndLeavesTheList() {
        QFETCH(QByteArray, mode);
        sbx::WorkspacePaths paths = sbx::WorkspacePaths::fromEnvironment();
        const fs::path victim = paths.poolFile("branch_2.xls");
        start([victim] { return std::make_unique<RemovingOnOpenHost>(victim); });
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        auto sources = poolBytes(f->paths);
        sources.erase("branch_2.xls");
        if (mode == "Command2") f->expectFunctionConfirmation(true);
        f->dialogs.expectMessageContaining("branch_2.xls").expectMessageContaining("找不到文件：\r" + sbx::utf8String(victim));
        f->clickMode(mode.constData());

        QCOMPARE(f->window->job().runState, sbx::RunState::Failed);
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), summaryBefore);
        QVERIFY(!fs::exists(victim));
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 2"));
        QCOMPARE(poolBytes(f->paths), sources);
        // The entry that went was selected: the selected count follows the list.
        QCOMPARE(f->caption("Label13"), QStringLiteral("2"));
    }

    // The summary cannot be replaced (the rename at the end of every save fails): the old
    // summary stays, nothing of the pool changes, and the list keeps all three.
    void aSummaryThatCannotBeSavedLeavesPoolAndListAlone_data() {
        aSourceRemovedBeforeTheRunIsSkippedAndLeavesTheList_data();
    }
    void aSummaryThatCannotBeSavedLeavesPoolAndListAlone() {
        QFETCH(QByteArray, mode);
        start([] {
            sbx::FileWriteSteps steps = sbx::FileWriteSteps::system();
            steps.rename = [](const fs::path&, const fs::path&) {
                errno = EACCES;
                return -1;
            };
            return std::make_unique<sbx::NativeHost>(steps);
        });
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        const auto sources = poolBytes(f->paths);
        f->dialogs.allowUnscriptedMessages();
        // Both modes fail: no archiving or export is offered for a summary that was not saved.
        if (mode == "Command2") f->expectFunctionConfirmation(true);
        f->clickMode(mode.constData());

        const std::vector<std::string> told = f->dialogs.messages();
        QVERIFY(!told.empty());
        const bool named = std::any_of(told.begin(), told.end(), [](const std::string& m) {
            return m.find("total.xls") != std::string::npos;
        });
        QVERIFY2(named, told.front().c_str());
        QCOMPARE(f->window->job().runState, sbx::RunState::Failed);
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), summaryBefore);
        QCOMPARE(poolBytes(f->paths), sources);
        QCOMPARE(f->list1()->count(), 3);
        QCOMPARE(f->list1UntrueToFolder(), QString());
    }

    // Archiving that cannot move one of the files (the folder holds a sub-folder of its name):
    // the others move, the one that stayed is named and stays listed.
    void aFileArchivingCannotMoveStaysListed() {
        start();
        const fs::path folder = f->paths.poolDirectory() / "2005";
        fs::create_directories(folder / "branch_2.xls");
        const std::string stayed = bytesOf(f->paths.poolFile("branch_2.xls"));
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, true, sbx::Risk::Destructive)
            .expectInput(sbx::archive_text::kFolderPrompt, "2005")
            .expectYesNo(sbx::archive_text::kFolderExistsQuestion, true, sbx::Risk::Destructive)
            .expectMessage("以下 1 个文件未能移入文件夹，仍留在汇表池中：\rbranch_2.xls：文件夹中有同名的子文件夹")
            .expectMessage("清理完毕,共计 2 个子文件已被移至: [ " + f->paths.poolPrefix() + "2005/ ] 目录下！")
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command1");

        QVERIFY(fs::exists(folder / "branch_1.xls"));
        QVERIFY(fs::exists(folder / "branch_3.xls"));
        QCOMPARE(bytesOf(f->paths.poolFile("branch_2.xls")), stayed);
        QCOMPARE(listed(), QStringList({"branch_2.xls"}));
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QCOMPARE(f->list2()->count(), 0);
        QVERIFY(!f->list1()->item(0)->isSelected());
        QVERIFY(!f->button("Command2")->isEnabled());
        QVERIFY(!f->button("Command3")->isEnabled());
    }

    // The folder cannot be made (a file already has its name): nothing moves, the lists stay.
    void anArchiveFolderThatCannotBeMadeMovesNothing() {
        start();
        writeFile(f->paths.poolDirectory() / "2005", "not a folder");
        const auto sources = poolBytes(f->paths);
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, true, sbx::Risk::Destructive)
            .expectInput(sbx::archive_text::kFolderPrompt, "2005")
            .expectMessageContaining("无法建立文件夹")
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command1");

        QVERIFY(fs::is_regular_file(f->paths.poolDirectory() / "2005"));
        QCOMPARE(poolBytes(f->paths), sources);
        QCOMPARE(f->list1()->count(), 3);
        QCOMPARE(f->list1UntrueToFolder(), QString());
        QCOMPARE(f->runList().size(), 3);
    }
};

QTEST_MAIN(PoolListFaultsTest)
#include "pool_list_faults_test.moc"
