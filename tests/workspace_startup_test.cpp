// Start-up without windows: directories, pool scan, the summary workbook copy, the two
// questions and their three end states, and the files that must survive a pool deletion.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/support/scripted_dialogs.h"
#include "workspace/pool.h"
#include "workspace/startup.h"

namespace fs = std::filesystem;
using sbx::StartupState;
using sbx::WorkspacePaths;
using sbx::testing::ScriptedDialogs;
namespace text = sbx::startup_text;

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("sbx_startup_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    WorkspacePaths paths() const { return WorkspacePaths(root_ / "kx"); }
    void write(const fs::path& file, const std::string& content) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The directory's own order, which the pool list must keep.
    std::vector<std::string> listedXls() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(paths().poolDirectory())) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && sbx::isPoolFileName(name)) names.push_back(name);
        }
        return names;
    }
    void mixedPool() {
        const fs::path pool = paths().poolDirectory();
        write(pool / "b.xls", "B");
        write(pool / "a.xls", "A");
        write(pool / "C.XLS", "C");
        write(pool / "d.xlsx", "D");
        write(pool / "notes.txt", "notes");
        write(pool / "old" / "kept.xls", "kept");
        write(paths().summaryWorkbook(), "previous total");
    }

    fs::path root_;
};

TEST(PoolFileName, OnlyExactLowerCaseXlsEnding) {
    EXPECT_TRUE(sbx::isPoolFileName("a.xls"));
    EXPECT_TRUE(sbx::isPoolFileName(".xls"));
    EXPECT_TRUE(sbx::isPoolFileName("报表.xls"));
    EXPECT_FALSE(sbx::isPoolFileName("a.XLS"));
    EXPECT_FALSE(sbx::isPoolFileName("a.Xls"));
    EXPECT_FALSE(sbx::isPoolFileName("a.xlsx"));
    EXPECT_FALSE(sbx::isPoolFileName("a.xls.bak"));
    EXPECT_FALSE(sbx::isPoolFileName("xls"));
    EXPECT_FALSE(sbx::isPoolFileName(""));
}

TEST_F(StartupTest, NewWorkingDirectoryIsCreatedAndReportedEmpty) {
    ScriptedDialogs dialogs;
    dialogs.expectMessage(text::kEmptyPool);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_TRUE(fs::is_directory(paths().poolDirectory()));
    EXPECT_TRUE(fs::is_directory(paths().summaryDirectory()));
    EXPECT_FALSE(fs::exists(paths().summaryWorkbook()));
    EXPECT_EQ(outcome.state, StartupState::EmptyPool);
    EXPECT_TRUE(outcome.poolList.empty());
    EXPECT_FALSE(outcome.command2Enabled);
    EXPECT_EQ(outcome.hint, text::kAddFilesHint);
}

TEST_F(StartupTest, MissingSummaryDirectoryIsCreatedAndTheScanStillRuns) {
    write(paths().poolDirectory() / "only.xls", "ONLY");
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel(text::kWorkOnPool, true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.poolList, std::vector<std::string>{"only.xls"});
    EXPECT_EQ(read(paths().summaryWorkbook()), "ONLY");
}

TEST_F(StartupTest, EmptyPoolLeavesAnEarlierSummaryWorkbookAlone) {
    write(paths().summaryWorkbook(), "earlier");
    write(paths().poolDirectory() / "readme.txt", "x");
    ScriptedDialogs dialogs;
    dialogs.expectMessage(text::kEmptyPool);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::EmptyPool);
    EXPECT_EQ(read(paths().summaryWorkbook()), "earlier");
}

TEST_F(StartupTest, OkKeepsThePoolInListingOrderAndCopiesTheLastOne) {
    mixedPool();
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel(text::kWorkOnPool, true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolKept);
    EXPECT_EQ(outcome.poolList, listedXls());
    EXPECT_EQ(std::set<std::string>(outcome.poolList.begin(), outcome.poolList.end()),
              (std::set<std::string>{"a.xls", "b.xls"}));
    EXPECT_EQ(read(paths().summaryWorkbook()), outcome.poolList.back() == "a.xls" ? "A" : "B");
    EXPECT_TRUE(outcome.command2Enabled);
    EXPECT_EQ(outcome.hint, "");
}

TEST_F(StartupTest, CancelThenCancelKeepsEverything) {
    mixedPool();
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel(text::kWorkOnPool, false).expectOkCancel(text::kClearPool, false);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolKept);
    EXPECT_EQ(outcome.poolList.size(), 2u);
    EXPECT_TRUE(outcome.command2Enabled);
    for (const char* name : {"a.xls", "b.xls", "C.XLS", "notes.txt"}) {
        EXPECT_TRUE(fs::exists(paths().poolDirectory() / name)) << name;
    }
}

TEST_F(StartupTest, CancelThenOkDeletesOnlyThePoolFiles) {
    mixedPool();
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel(text::kWorkOnPool, false).expectOkCancel(text::kClearPool, true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolDeleted);
    EXPECT_TRUE(outcome.poolList.empty());
    EXPECT_FALSE(outcome.command2Enabled);
    EXPECT_EQ(outcome.hint, text::kAddFilesHint);
    const fs::path pool = paths().poolDirectory();
    EXPECT_FALSE(fs::exists(pool / "a.xls"));
    EXPECT_FALSE(fs::exists(pool / "b.xls"));
    // What the user keeps beside the pool survives, and so does the refreshed summary.
    EXPECT_EQ(read(pool / "C.XLS"), "C");
    EXPECT_EQ(read(pool / "d.xlsx"), "D");
    EXPECT_EQ(read(pool / "notes.txt"), "notes");
    EXPECT_EQ(read(pool / "old" / "kept.xls"), "kept");
    EXPECT_NE(read(paths().summaryWorkbook()), "previous total");
}

TEST_F(StartupTest, AFileThatCannotBeDeletedIsNamedAndStaysListed) {
    mixedPool();
    const fs::path pool = paths().poolDirectory();
    ScriptedDialogs dialogs;
    // Between the two questions b.xls turns into a folder with content, which no plain
    // delete removes (running as root defeats permission tricks).
    dialogs.expectOkCancel(text::kWorkOnPool, false)
        .then([&] {
            fs::remove(pool / "b.xls");
            write(pool / "b.xls" / "inside.txt", "x");
        })
        .expectOkCancel(text::kClearPool, true)
        .expectMessageContaining("b.xls");
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(dialogs.messages().at(0).find("a.xls"), std::string::npos);
    EXPECT_EQ(outcome.state, StartupState::PoolDeleted);
    EXPECT_EQ(outcome.poolList, std::vector<std::string>{"b.xls"});
    EXPECT_TRUE(outcome.command2Enabled);
    EXPECT_EQ(outcome.hint, "");
    EXPECT_FALSE(fs::exists(pool / "a.xls"));
}

TEST_F(StartupTest, AFolderNamedLikeAPoolFileIsNotListed) {
    write(paths().poolDirectory() / "folder.xls" / "x.xls", "x");
    write(paths().summaryWorkbook(), "earlier");
    ScriptedDialogs dialogs;
    dialogs.expectMessage(text::kEmptyPool);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_TRUE(outcome.poolList.empty());
}

TEST_F(StartupTest, AFailedSummaryCopyIsReportedAndStartUpGoesOn) {
    write(paths().poolDirectory() / "a.xls", "A");
    // total.xls as a folder: copying over it must fail.
    fs::create_directories(paths().summaryWorkbook() / "blocker");
    ScriptedDialogs dialogs;
    dialogs.expectMessageContaining("a.xls").expectOkCancel(text::kWorkOnPool, true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_NE(dialogs.messages().at(0).find("total.xls"), std::string::npos);
    EXPECT_EQ(outcome.poolList, std::vector<std::string>{"a.xls"});
}

// A copy that breaks off half-way (a full disk) leaves the summary workbook as it was, never
// a truncated file, and no temporary file beside it.
TEST_F(StartupTest, ASummaryCopyThatBreaksOffKeepsTheOldSummaryWhole) {
    write(paths().poolDirectory() / "a.xls", std::string(10000, 'A'));
    write(paths().summaryWorkbook(), "the old summary");
    const sbx::FileCopy halfThenFull = [](const fs::path& from, const fs::path& to) {
        std::ifstream in(from, std::ios::binary);
        std::string half(5000, '\0');
        in.read(half.data(), static_cast<std::streamsize>(half.size()));
        std::ofstream(to, std::ios::binary) << half;
        return std::make_error_code(std::errc::no_space_on_device);
    };
    const auto failures = sbx::refreshSummaryWorkbook(paths(), "a.xls", halfThenFull);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].name, "a.xls");
    EXPECT_EQ(failures[0].reason, std::make_error_code(std::errc::no_space_on_device).message());
    std::ifstream summary(paths().summaryWorkbook(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(summary), {}), "the old summary");
    EXPECT_EQ(std::distance(fs::directory_iterator(paths().summaryWorkbook().parent_path()), fs::directory_iterator()), 1);

    EXPECT_TRUE(sbx::refreshSummaryWorkbook(paths(), "a.xls").empty());
    std::ifstream copied(paths().summaryWorkbook(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), std::string(10000, 'A'));
}

TEST(ScriptedDialogs, AnUnexpectedPromptFailsAndIsRecorded) {
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel("first?", true);
    EXPECT_THROW(dialogs.askYesNo("other?"), sbx::testing::ScriptedDialogsError);
    EXPECT_NE(dialogs.problems().find("other?"), std::string::npos);
    ScriptedDialogs empty;
    EXPECT_THROW(empty.message("surprise"), sbx::testing::ScriptedDialogsError);
    ScriptedDialogs unfinished;
    unfinished.expectMessage("never");
    EXPECT_NE(unfinished.problems().find("never"), std::string::npos);
}

}  // namespace
