// File intake without windows: the walk over the picked files with its messages and
// outcome, the pool and summary copies, the overwrite question, the refusal of files from
// the pool folder under any spelling of it, and copies that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_files.h"
#include "workspace/intake.h"
#include "workspace/summary_template.h"

namespace fs = std::filesystem;
using sbx::IntakeOutcome;
using sbx::VectorPoolList;
using sbx::WorkspacePaths;
using sbx::testing::ScriptedDialogs;
namespace text = sbx::intake_text;

namespace {

using Names = std::vector<std::string>;

class IntakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("sbx_intake_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(paths().summaryDirectory());
        source_ = root_ / "source";
        fs::create_directories(source_);
        // No summary yet: one a run wrote is kept before intake replaces it (tested apart).
    }
    void TearDown() override {
        EXPECT_EQ(dialogs_.problems(), "");
        sbx::testing::removeAllOf(root_);
    }

    WorkspacePaths paths() const { return WorkspacePaths(root_ / "kx"); }
    static void write(const fs::path& file, const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string pool(const std::string& name) const { return read(paths().poolFile(name)); }
    std::string total() const { return read(paths().summaryWorkbook()); }
    std::vector<std::string> poolFolderFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(paths().poolDirectory()))
            if (!entry.is_directory()) names.push_back(sbx::utf8String(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    IntakeOutcome takeIn(const fs::path& folder, const Names& selected, const sbx::FileCopy& copy = sbx::copyFileContents) {
        return sbx::takeInFiles(paths(), dialogs_, list_, folder, selected, {copy, screen_});
    }

    fs::path root_;
    fs::path source_;  // a folder outside the pool
    ScriptedDialogs dialogs_;
    VectorPoolList list_;
    // The files' bytes are short texts, no workbooks: every one passes as readable unless a
    // test screens by the engine.
    sbx::TemplateScreen screen_ = [](const fs::path&) { return std::string(); };
};

TEST_F(IntakeTest, FilesAreTakenInInListOrderAndTheSummaryIsACopyOfTheLast) {
    write(source_ / "a.xls", "A");
    write(source_ / "b.xls", "B");
    list_.append("old.xls");
    dialogs_.expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"a.xls", "b.xls"}), IntakeOutcome::Done);
    EXPECT_EQ(list_.names(), (Names{"old.xls", "a.xls", "b.xls"}));
    EXPECT_EQ(pool("a.xls"), "A");
    EXPECT_EQ(pool("b.xls"), "B");
    EXPECT_EQ(total(), "B");
    EXPECT_EQ(read(source_ / "a.xls"), "A");  // a copy, not a move
    EXPECT_EQ(poolFolderFiles(), (Names{"a.xls", "b.xls"}));
}

TEST_F(IntakeTest, NonXlsNamesAreRefusedOneByOneAndTheWalkGoesOn) {
    for (const char* name : {"notes.txt", "a.XLS", "c.XLSX", "b.xls"}) write(source_ / name, name);
    dialogs_.expectMessage(text::kNotXls).expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"notes.txt", "b.xls"}), IntakeOutcome::Done);
    EXPECT_EQ(list_.names(), Names{"b.xls"});

    // The outcome is that of the last entry handled.
    dialogs_.expectMessage(text::kNotXls).expectMessage(text::kNotXls).expectMessage(text::kChooseAgain);
    EXPECT_EQ(takeIn(source_, {"a.XLS", "c.XLSX"}), IntakeOutcome::ChooseAgain);
    EXPECT_EQ(list_.names(), Names{"b.xls"});
    EXPECT_EQ(poolFolderFiles(), Names{"b.xls"});
}

// .xlsx and .xlsm files are taken in beside .xls ones; the summary takes the format of the
// last one, and the summary of the other format goes.
TEST_F(IntakeTest, WorkbooksOfEveryFormatAreTakenInAndTheSummaryFollowsTheLastOnesFormat) {
    const std::string zip = std::string("PK\x03\x04", 4) + "package";
    const std::string biff = std::string("\xD0\xCF\x11\xE0", 4) + "compound file";
    write(source_ / "a.xls", biff);
    write(source_ / "b.xlsx", zip + "b");
    write(source_ / "c.xlsm", zip + "c");
    const struct {
        Names picked;
        const char* summary;
        std::string content;
    } steps[] = {{{"a.xls", "b.xlsx"}, "total.xlsx", zip + "b"},
                 {{"c.xlsm"}, "total.xlsm", zip + "c"},
                 {{"a.xls"}, "total.xls", biff}};
    for (const auto& step : steps) {
        for (const std::string& name : step.picked) {
            if (fs::exists(paths().poolFile(name))) dialogs_.expectYesNo(sbx::pool_ops_text::overwriteQuestion(name), true, sbx::Risk::Destructive);
        }
        dialogs_.expectMessage(text::kAllTakenIn);
        EXPECT_EQ(takeIn(source_, step.picked), IntakeOutcome::Done) << step.summary;
        EXPECT_EQ(paths().summaryWorkbook(), paths().summaryDirectory() / step.summary);
        EXPECT_EQ(total(), step.content) << step.summary;
        // One summary only: the previous one of another format is gone (beside it the note of
        // the file it was copied from).
        EXPECT_EQ(std::distance(fs::directory_iterator(paths().summaryDirectory()), fs::directory_iterator()), 2)
            << step.summary;
        EXPECT_TRUE(fs::exists(sbx::templateNoteFile(paths())));
    }
    EXPECT_EQ(list_.names(), (Names{"b.xlsx", "c.xlsm", "a.xls"}));
    EXPECT_EQ(poolFolderFiles(), (Names{"a.xls", "b.xlsx", "c.xlsm"}));
    EXPECT_EQ(pool("b.xlsx"), zip + "b");
}

TEST_F(IntakeTest, NothingSelectedAsksToChooseAgain) {
    dialogs_.expectMessage(text::kChooseAgain);
    EXPECT_EQ(takeIn(source_, {}), IntakeOutcome::ChooseAgain);
    EXPECT_FALSE(fs::exists(paths().summaryWorkbook()));
}

TEST_F(IntakeTest, AnExistingPoolFileIsReplacedOnYesAndListedOnceAtTheEnd) {
    write(paths().poolFile("a.xls"), "old A");
    write(source_ / "a.xls", "new A");
    list_ = VectorPoolList({"a.xls", "x.xls", "a.xls"});
    dialogs_.expectYesNo("目标目录下有a.xls同名文件，是否覆盖?", true, sbx::Risk::Destructive).expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"a.xls"}), IntakeOutcome::Done);
    EXPECT_EQ(list_.names(), (Names{"x.xls", "a.xls"}));
    EXPECT_EQ(pool("a.xls"), "new A");
    EXPECT_EQ(total(), "new A");
}

TEST_F(IntakeTest, NoToTheOverwriteQuestionChangesNeitherPoolNorSummary) {
    write(paths().poolFile("a.xls"), "old A");
    write(source_ / "a.xls", "new A");
    list_ = VectorPoolList({"a.xls"});
    dialogs_.expectYesNo(sbx::pool_ops_text::overwriteQuestion("a.xls"), false, sbx::Risk::Destructive).expectMessage(text::kChooseAgain);
    EXPECT_EQ(takeIn(source_, {"a.xls"}), IntakeOutcome::ChooseAgain);
    EXPECT_EQ(pool("a.xls"), "old A");
    EXPECT_FALSE(fs::exists(paths().summaryWorkbook()));
    EXPECT_EQ(list_.names(), Names{"a.xls"});
}

// Taking a month's reports in again asks once: besides 是 and 否 the box offers 全部覆盖 and
// 全部跳过 while more than one pool file is left to replace, and an answer for all is final.
TEST_F(IntakeTest, ReTakingSeveralPoolFilesCanBeSettledByOneAnswer) {
    using Answer = sbx::ForAllAnswer;
    struct Asked {
        const char* name;
        bool forAll;  // the box with 全部覆盖 and 全部跳过
        Answer answer;
    };
    const struct {
        const char* name;
        std::vector<Asked> asked;
        Names replaced;
        IntakeOutcome outcome;
    } cases[] = {
        {"replace all", {{"a.xls", true, Answer::YesToAll}}, {"a.xls", "b.xls", "c.xls"}, IntakeOutcome::Done},
        {"skip all", {{"a.xls", true, Answer::NoToAll}}, {}, IntakeOutcome::ChooseAgain},
        {"one, then skip the rest", {{"a.xls", true, Answer::Yes}, {"b.xls", true, Answer::NoToAll}}, {"a.xls"},
         IntakeOutcome::ChooseAgain},
        {"one by one, the last alone", {{"a.xls", true, Answer::No}, {"b.xls", true, Answer::No}, {"c.xls", false, Answer::Yes}},
         {"c.xls"}, IntakeOutcome::Done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list_ = VectorPoolList({"a.xls", "b.xls", "c.xls"});
        fs::remove(paths().summaryWorkbook());
        fs::remove(paths().poolFile("d.xls"));
        for (const char* name : {"a.xls", "b.xls", "c.xls"}) {
            write(paths().poolFile(name), std::string("old ") + name);
            write(source_ / name, std::string("new ") + name);
        }
        write(source_ / "d.xls", "new d.xls");  // not in the pool: no question
        for (const Asked& asked : c.asked) {
            const std::string question = sbx::pool_ops_text::overwriteQuestion(asked.name);
            if (asked.forAll) {
                dialogs_.expectYesNoForAll(question, asked.answer);
            } else {
                dialogs_.expectYesNo(question, asked.answer == Answer::Yes, sbx::Risk::Destructive);
            }
        }
        dialogs_.expectMessage(c.outcome == IntakeOutcome::Done ? text::kAllTakenIn : text::kChooseAgain);
        EXPECT_EQ(takeIn(source_, {"d.xls", "a.xls", "b.xls", "c.xls"}), c.outcome);
        EXPECT_EQ(dialogs_.problems(), "");
        for (const char* name : {"a.xls", "b.xls", "c.xls"}) {
            const bool replaced = std::find(c.replaced.begin(), c.replaced.end(), name) != c.replaced.end();
            EXPECT_EQ(pool(name), (replaced ? "new " : "old ") + std::string(name));
        }
        EXPECT_EQ(pool("d.xls"), "new d.xls");
    }
}

// A file taken in that cannot be read joins the pool (the check names it before a run) but
// does not become the template: the summary stays the copy of the last readable one.
TEST_F(IntakeTest, AnUnreadableFileIsTakenInButTheSummaryStaysACopyOfAReadableOne) {
    screen_ = sbx::IntakeTools{}.screen;
    fs::copy_file(fs::path(SBX_TEST_DATA) / "fixtures" / "mixed_pool" / "branch_2.xlsx", source_ / "good.xlsx");
    write(source_ / "bad.xls", std::string("\xD0\xCF\x11\xE0", 4) + "cut short");
    dialogs_.expectMessageContaining("文件 bad.xls 无法读取，不能作为汇总模板：\r").expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"good.xlsx", "bad.xls"}), IntakeOutcome::Done);
    EXPECT_NE(dialogs_.messages().front().find(text::kTakenButNotTemplate), std::string::npos);
    EXPECT_EQ(list_.names(), (Names{"good.xlsx", "bad.xls"}));
    EXPECT_EQ(total(), read(source_ / "good.xlsx"));
    EXPECT_EQ(sbx::readTemplateNote(paths()).madeFrom, paths().poolFile("good.xlsx"));
}

TEST_F(IntakeTest, DecliningTheLastFileEndsWithChooseAgainThoughOthersWereTakenIn) {
    write(paths().poolFile("b.xls"), "old B");
    write(source_ / "a.xls", "A");
    write(source_ / "b.xls", "B");
    dialogs_.expectYesNo(sbx::pool_ops_text::overwriteQuestion("b.xls"), false, sbx::Risk::Destructive).expectMessage(text::kChooseAgain);
    EXPECT_EQ(takeIn(source_, {"a.xls", "b.xls"}), IntakeOutcome::ChooseAgain);
    EXPECT_EQ(list_.names(), Names{"a.xls"});
    EXPECT_EQ(total(), "A");
}

TEST_F(IntakeTest, AFileFromThePoolFolderEndsTheWalkAndIsNeverDeleted) {
    write(paths().poolFile("p.xls"), "pool P");
    write(paths().poolFile("q.xls"), "pool Q");
    write(paths().poolFile("n.txt"), "notes");
    list_ = VectorPoolList({"p.xls", "q.xls"});
    // The walk ends at p.xls: q.xls is not looked at (a second box would break the script).
    dialogs_.expectMessage(text::kNotXls).expectMessage(text::kPoolFolder).expectMessage(text::kChooseAgain);
    EXPECT_EQ(takeIn(paths().poolDirectory(), {"n.txt", "p.xls", "q.xls"}), IntakeOutcome::ChooseAgain);
    EXPECT_EQ(pool("p.xls"), "pool P");
    EXPECT_EQ(pool("q.xls"), "pool Q");
    EXPECT_FALSE(fs::exists(paths().summaryWorkbook()));
    EXPECT_EQ(list_.names(), (Names{"p.xls", "q.xls"}));
}

TEST_F(IntakeTest, ThePoolFolderIsRecognisedThroughALinkAndADotSpelling) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    write(paths().poolFile("p.xls"), "pool P");
    list_ = VectorPoolList({"p.xls"});
    const fs::path link = root_ / "link_to_pool";
    fs::create_directory_symlink(paths().poolDirectory(), link);
    const fs::path fileLinkFolder = root_ / "elsewhere";
    fs::create_directories(fileLinkFolder);
    fs::create_symlink(paths().poolFile("p.xls"), fileLinkFolder / "p.xls");
    for (const fs::path& spelling : {link, paths().poolDirectory() / "hz" / "..", fileLinkFolder}) {
        dialogs_.expectMessage(text::kPoolFolder).expectMessage(text::kChooseAgain);
        EXPECT_EQ(takeIn(spelling, {"p.xls"}), IntakeOutcome::ChooseAgain) << spelling;
        EXPECT_EQ(pool("p.xls"), "pool P");
        EXPECT_EQ(list_.names(), Names{"p.xls"});
    }
    // Through another letter case where the disk does not tell case apart.
    fs::path upper = paths().poolDirectory().parent_path() / "KX";
    if (fs::exists(upper)) {
        dialogs_.expectMessage(text::kPoolFolder).expectMessage(text::kChooseAgain);
        EXPECT_EQ(takeIn(upper, {"p.xls"}), IntakeOutcome::ChooseAgain);
        EXPECT_EQ(pool("p.xls"), "pool P");
    }
}

TEST_F(IntakeTest, TheSummaryFolderIsNotThePoolFolder) {
    write(paths().summaryWorkbook(), "previous total");
    dialogs_.expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(paths().summaryDirectory(), {"total.xls"}), IntakeOutcome::Done);
    EXPECT_EQ(pool("total.xls"), "previous total");
    EXPECT_EQ(list_.names(), Names{"total.xls"});
}

TEST_F(IntakeTest, ACopyThatFailsHalfWayLeavesTheOldPoolFileAndIsReported) {
    write(paths().poolFile("a.xls"), "old A");
    write(source_ / "a.xls", "new A, longer");
    write(source_ / "b.xls", "B");
    list_ = VectorPoolList({"a.xls"});
    int copies = 0;
    const auto failFirst = [&copies](const fs::path& from, const fs::path& to) {
        if (++copies == 1) {
            std::ofstream(to, std::ios::binary) << "new A";
            return std::make_error_code(std::errc::no_space_on_device);
        }
        return sbx::copyFileContents(from, to);
    };
    const std::string reason = "磁盘空间已满";
    dialogs_.expectYesNo(sbx::pool_ops_text::overwriteQuestion("a.xls"), true, sbx::Risk::Destructive)
        .expectMessageContaining(sbx::utf8String(source_ / "a.xls"))
        .expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"a.xls", "b.xls"}, failFirst), IntakeOutcome::Done);
    EXPECT_NE(dialogs_.messages().at(0).find(reason), std::string::npos) << dialogs_.messages().at(0);
    EXPECT_EQ(pool("a.xls"), "old A");
    EXPECT_EQ(total(), "B");
    EXPECT_EQ(list_.names(), (Names{"a.xls", "b.xls"}));
    EXPECT_EQ(poolFolderFiles(), (Names{"a.xls", "b.xls"}));
}

TEST_F(IntakeTest, AFailedCopyOfTheOnlyNewFileListsNothingAndAsksToChooseAgain) {
    write(source_ / "a.xls", "A");
    const auto fail = [](const fs::path&, const fs::path&) { return std::make_error_code(std::errc::io_error); };
    dialogs_.expectMessageContaining(sbx::pool_ops_text::kCopyFailed).expectMessage(text::kChooseAgain);
    EXPECT_EQ(takeIn(source_, {"a.xls"}, fail), IntakeOutcome::ChooseAgain);
    EXPECT_EQ(list_.names(), Names{});
    EXPECT_EQ(poolFolderFiles(), Names{});
}

// The summary a run wrote is kept in hz/历史 before a file taken in replaces it, as at
// start-up; a summary that is only the copy of the pool file listed last is not. When it
// cannot be kept, the file is taken in and the summary stays as it was.
TEST_F(IntakeTest, TheSummaryARunWroteIsKeptBeforeIntakeReplacesIt) {
    const fs::path history = paths().summaryDirectory() / sbx::utf8Path("历史");
    const struct {
        const char* name;
        const char* summary;  // what hz/total.xls holds before
        bool historyIsAFile;  // hz/历史 cannot be made
        Names keptInHistory;  // contents of the kept summaries after
        const char* totalAfter;
    } cases[] = {
        {"a run's summary", "run total", false, {"run total"}, "A"},
        {"a copy of a listed file", "pool P", false, {}, "A"},
        {"history cannot be made", "run total", true, {}, "run total"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(paths().summaryDirectory());
        fs::create_directories(paths().summaryDirectory());
        if (c.historyIsAFile) write(history, "in the way");
        write(paths().poolFile("p.xls"), "pool P");
        write(paths().poolFile("a.xls"), "old A");
        write(source_ / "a.xls", "A");
        write(paths().summaryWorkbook(), c.summary);
        list_ = VectorPoolList({"a.xls", "p.xls"});
        ScriptedDialogs dialogs;
        dialogs.allowUnscriptedMessages();
        dialogs.expectYesNo(sbx::pool_ops_text::overwriteQuestion("a.xls"), true, sbx::Risk::Destructive);
        sbx::takeInFiles(paths(), dialogs, list_, source_, {"a.xls"}, {sbx::copyFileContents, screen_});
        EXPECT_EQ(dialogs.problems(), "");
        Names kept;
        if (fs::is_directory(history)) {
            for (const auto& entry : fs::directory_iterator(history)) kept.push_back(read(entry.path()));
        }
        EXPECT_EQ(kept, c.keptInHistory);
        EXPECT_EQ(total(), c.totalAfter);
        EXPECT_EQ(pool("a.xls"), "A");
        const auto messages = dialogs.messages();
        const bool told = std::any_of(messages.begin(), messages.end(),
                                      [](const std::string& m) { return m.find("上次的汇总文件") != std::string::npos; });
        EXPECT_EQ(told, !c.keptInHistory.empty() || c.historyIsAFile);
    }
}

TEST_F(IntakeTest, AMissingSummaryFolderIsReportedButTheFileIsTakenIn) {
    fs::remove_all(paths().summaryDirectory());
    write(source_ / "a.xls", "A");
    dialogs_.expectMessageContaining(sbx::utf8String(paths().summaryWorkbook())).expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"a.xls"}), IntakeOutcome::Done);
    EXPECT_EQ(list_.names(), Names{"a.xls"});
    EXPECT_EQ(pool("a.xls"), "A");
}

// A FIFO, a folder or a device picked under an .xls name is named and skipped, never opened
// (a FIFO would block the window for good); the files around it are taken in.
TEST_F(IntakeTest, WhatIsNoRegularFileIsNamedAndSkipped) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs or device files";
#else
    alarm(30);  // a copy that blocks on the FIFO fails the test instead of hanging it
    write(source_ / "a.xls", "A");
    ASSERT_EQ(mkfifo((source_ / "pipe.xls").c_str(), 0600), 0);
    fs::create_directories(source_ / "folder.xls");
    fs::create_symlink("/dev/null", source_ / "device.xls");
    dialogs_.expectMessageContaining("pipe.xls”不是表格文件：这是一个命名管道")
        .expectMessageContaining("folder.xls”不是表格文件：这是一个文件夹")
        .expectMessageContaining("device.xls”不是表格文件：这是一个设备")
        .expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"pipe.xls", "folder.xls", "device.xls", "a.xls"}), IntakeOutcome::Done);
    alarm(0);
    EXPECT_EQ(list_.names(), Names{"a.xls"});
    EXPECT_EQ(poolFolderFiles(), Names{"a.xls"});
    EXPECT_EQ(total(), "A");
#endif
}

// A read-only file taken in gives a pool copy and a summary with the user's default
// permissions, so that the runs can write the summary.
TEST_F(IntakeTest, AReadOnlyFileGivesWritableCopies) {
    write(root_ / "probe", "");
    const fs::perms defaults = fs::status(root_ / "probe").permissions();
    write(source_ / "a.xls", "A");
    fs::permissions(source_ / "a.xls", fs::perms::owner_read);
    dialogs_.expectMessage(text::kAllTakenIn);
    EXPECT_EQ(takeIn(source_, {"a.xls"}), IntakeOutcome::Done);
    EXPECT_EQ(fs::status(paths().summaryWorkbook()).permissions(), defaults);
    EXPECT_EQ(fs::status(paths().poolFile("a.xls")).permissions(), defaults);
    EXPECT_EQ(total(), "A");
}

}  // namespace
