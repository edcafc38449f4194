// Start-up without windows: directories, pool scan, the summary workbook copy, the two
// questions and their three end states, and the files that must survive a pool deletion.
#include <gtest/gtest.h>

#include <filesystem>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/support/scripted_dialogs.h"
#include "workspace/pool.h"
#include "workspace/natural_order.h"
#include "workspace/startup.h"
#include "workspace/summary_history.h"
#include "workspace/summary_template.h"

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
    void mixedPool() {
        const fs::path pool = paths().poolDirectory();
        write(pool / "b.xls", "B");
        write(pool / "a.xls", "A");
        write(pool / "C.XLS", "C");
        write(pool / "d.xlsx", "D");
        write(pool / "E.XLSX", "E");
        write(pool / "notes.txt", "notes");
        write(pool / "old" / "kept.xls", "kept");
        write(paths().summaryWorkbook(), "previous total");
    }

    fs::path root_;
};

TEST(PoolFileName, OnlyExactLowerCaseWorkbookEndings) {
    const std::pair<const char*, bool> cases[] = {
        {"a.xls", true},    {".xls", true},      {"报表.xls", true},   {"a.xlsx", true},      {"报表.xlsx", true},
        {"a.xlsm", true},   {"a.b.xlsx", true},  {"a.XLS", false},     {"a.Xls", false},      {"a.XLSX", false},
        {"a.xlsX", false},  {"a.XLSM", false},   {"a.xlsb", false},    {"a.xltx", false},     {"a.xls.bak", false},
        {"a.xlsx.tmp", false}, {"a.xlsxx", false}, {"xls", false},     {"xlsx", false},       {"", false}};
    for (const auto& [name, pool] : cases) EXPECT_EQ(sbx::isPoolFileName(name), pool) << name;
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
    dialogs.expectOkCancel(text::workOnPoolQuestion(paths()), true);
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

TEST_F(StartupTest, OkKeepsThePoolInNaturalOrderAndCopiesTheLastOne) {
    mixedPool();
    ScriptedDialogs dialogs;
    dialogs.expectMessageContaining(text::kPreviousSummaryKept).expectOkCancel(text::workOnPoolQuestion(paths()), true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolKept);
    EXPECT_EQ(outcome.poolList, (std::vector<std::string>{"a.xls", "b.xls", "d.xlsx"}));
    const std::map<std::string, std::string> contents = {{"a.xls", "A"}, {"b.xls", "B"}, {"d.xlsx", "D"}};
    EXPECT_EQ(read(paths().summaryWorkbook()), contents.at(outcome.poolList.back()));
    EXPECT_TRUE(outcome.command2Enabled);
    EXPECT_EQ(outcome.hint, "");
}

// The summary is made from the last pool file that can be read, and from a chosen template,
// kept in hz/模板, for as long as the working folder remembers it, even once its pool file is gone.
TEST_F(StartupTest, TheSummaryIsMadeFromTheLastReadableFileOrTheChosenTemplate) {
    const fs::path pool = paths().poolDirectory();
    write(pool / "a.xls", "A");
    write(pool / "b.xls", "B");
    write(pool / "c.xls", "locked");
    const auto readable = [](const fs::path& file) { return read(file) != "locked"; };
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel(text::workOnPoolQuestion(paths()), true);
    sbx::runStartup(paths(), dialogs, sbx::moveToDeletedFolder, readable);
    EXPECT_EQ(read(paths().summaryWorkbook()), "B");
    EXPECT_EQ(sbx::templateShownName(paths()), "b.xls");
    EXPECT_NE(sbx::summaryMadeFromText(paths()).find(sbx::utf8String(pool / "b.xls")), std::string::npos);

    sbx::chooseTemplate(paths(), pool / "a.xls");
    fs::remove(pool / "a.xls");
    dialogs.expectMessageContaining(text::kPreviousSummaryKept).expectOkCancel(text::workOnPoolQuestion(paths()), true);
    sbx::runStartup(paths(), dialogs, sbx::moveToDeletedFolder, readable);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(read(paths().summaryWorkbook()), "A");
    EXPECT_EQ(sbx::templateShownName(paths()), "a.xls（选定的模板）");
}

// Numbered units in the order people count them, whatever order the folder lists them in.
TEST_F(StartupTest, ThePoolIsListedInNaturalOrder) {
    const std::vector<std::string> natural = {"单位1.xls", "单位2.xlsx", "单位10.xls", "单位10a.xls", "单位10B.xls",
                                              "单位100.xls", "第2期.xls", "第09期.xls", "第10期.xls"};
    for (auto name = natural.rbegin(); name != natural.rend(); ++name) write(paths().poolFile(*name), *name);
    ScriptedDialogs dialogs;
    dialogs.allowUnscriptedMessages();
    dialogs.expectOkCancel(text::workOnPoolQuestion(paths()), true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(outcome.poolList, natural);
    for (const auto& [a, b] : std::vector<std::pair<std::string, std::string>>{{"a2", "A10"}, {"x007", "x7"}, {"7", "x"}}) {
        EXPECT_TRUE(sbx::naturalLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(sbx::naturalLess(b, a)) << b << " < " << a;
    }
}

TEST_F(StartupTest, CancelThenCancelKeepsEverything) {
    mixedPool();
    ScriptedDialogs dialogs;
    dialogs.expectMessageContaining(text::kPreviousSummaryKept)
        .expectOkCancel(text::workOnPoolQuestion(paths()), false)
        .expectOkCancel(text::kClearPool, false, sbx::Risk::Destructive);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolKept);
    EXPECT_EQ(outcome.poolList.size(), 3u);
    EXPECT_TRUE(outcome.command2Enabled);
    for (const char* name : {"a.xls", "b.xls", "C.XLS", "d.xlsx", "E.XLSX", "notes.txt"}) {
        EXPECT_TRUE(fs::exists(paths().poolDirectory() / name)) << name;
    }
}

TEST_F(StartupTest, CancelThenOkDeletesOnlyThePoolFiles) {
    mixedPool();
    ScriptedDialogs dialogs;
    dialogs.expectMessageContaining(text::kPreviousSummaryKept)
        .expectOkCancel(text::workOnPoolQuestion(paths()), false)
        .expectOkCancel(text::kClearPool, true, sbx::Risk::Destructive)
        .expectMessageContaining("已删除的文件已移到文件夹：");
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolDeleted);
    EXPECT_TRUE(outcome.poolList.empty());
    EXPECT_FALSE(outcome.command2Enabled);
    EXPECT_EQ(outcome.hint, text::kAddFilesHint);
    const fs::path pool = paths().poolDirectory();
    for (const char* name : {"a.xls", "b.xls", "d.xlsx"}) {
        EXPECT_FALSE(fs::exists(pool / name)) << name;
        EXPECT_TRUE(fs::exists(pool / sbx::utf8Path("已删除") / name)) << name;  // to be had back
    }
    // What the user keeps beside the pool survives, and so does the refreshed summary.
    EXPECT_EQ(read(pool / "C.XLS"), "C");
    EXPECT_EQ(read(pool / "E.XLSX"), "E");
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
    dialogs.expectMessageContaining(text::kPreviousSummaryKept)
        .expectOkCancel(text::workOnPoolQuestion(paths()), false)
        .then([&] {
            fs::remove(pool / "b.xls");
            write(pool / "b.xls" / "inside.txt", "x");
        })
        .expectOkCancel(text::kClearPool, true, sbx::Risk::Destructive)
        .expectMessageContaining("b.xls")
        .expectMessageContaining("已删除");
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(dialogs.messages().at(1).find("a.xls"), std::string::npos);
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
    dialogs.expectMessageContaining("a.xls").expectOkCancel(text::workOnPoolQuestion(paths()), true);
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
    const auto failed = sbx::replaceSummaryWorkbook(paths(), paths().poolFile("a.xls"), halfThenFull);
    EXPECT_EQ(failed.copyError, std::make_error_code(std::errc::no_space_on_device));
    EXPECT_EQ(failed.summary, paths().summaryWorkbook());
    EXPECT_EQ(read(paths().summaryWorkbook()), "the old summary");
    EXPECT_EQ(std::distance(fs::directory_iterator(paths().summaryWorkbook().parent_path()), fs::directory_iterator()), 1);

    const auto copied = sbx::replaceSummaryWorkbook(paths(), paths().poolFile("a.xls"));
    EXPECT_FALSE(copied.copyError);
    EXPECT_TRUE(copied.leftOver.empty());
    EXPECT_EQ(read(paths().summaryWorkbook()), std::string(10000, 'A'));
}

// A read-only pool file gives a summary with the user's default permissions: the runs that
// follow must be able to write it.
TEST_F(StartupTest, AReadOnlyPoolFileGivesAWritableSummary) {
    write(root_ / "probe", "");
    const fs::perms defaults = fs::status(root_ / "probe").permissions();
    write(paths().poolDirectory() / "a.xls", "A");
    fs::permissions(paths().poolDirectory() / "a.xls", fs::perms::owner_read | fs::perms::group_read);
    for (int start = 0; start < 2; ++start) {
        ScriptedDialogs dialogs;
        dialogs.expectOkCancel(text::workOnPoolQuestion(paths()), true);
        sbx::runStartup(paths(), dialogs);
        EXPECT_EQ(dialogs.problems(), "") << start;
        EXPECT_EQ(fs::status(paths().summaryWorkbook()).permissions(), defaults) << start;
        EXPECT_EQ(read(paths().summaryWorkbook()), "A");
    }
    // Windows deletes no read-only file: writable again, so that the clean-up can remove it.
    fs::permissions(paths().poolDirectory() / "a.xls", fs::perms::owner_write, fs::perm_options::add);
}

// Only regular files (and links to them) are pool files: a FIFO named x.xls would block the
// start-up copy for good, and a folder, device or dangling link is no workbook.
TEST_F(StartupTest, OnlyRegularFilesAndLinksToThemAreListed) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs or device files";
#else
    alarm(30);  // a start-up that blocks on the FIFO fails instead of hanging
    const fs::path pool = paths().poolDirectory();
    write(pool / "a.xls", "A");
    write(root_ / "outside.bin", "LINKED");
    fs::create_directories(pool / "folder.xls");
    ASSERT_EQ(mkfifo((pool / "pipe.xls").c_str(), 0600), 0);
    fs::create_symlink(root_ / "outside.bin", pool / "link.xls");
    fs::create_symlink(pool / "pipe.xls", pool / "to-pipe.xls");
    fs::create_symlink(root_ / "missing.bin", pool / "gone.xls");
    fs::create_symlink("/dev/null", pool / "device.xls");
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel(text::workOnPoolQuestion(paths()), true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    alarm(0);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(std::set<std::string>(outcome.poolList.begin(), outcome.poolList.end()),
              (std::set<std::string>{"a.xls", "link.xls"}));
    EXPECT_EQ(read(paths().summaryWorkbook()), outcome.poolList.back() == "a.xls" ? "A" : "LINKED");
#endif
}

// The summary that start-up replaces is kept in hz/历史 and the user is told where; a summary
// that equals the new copy is not kept again.
TEST_F(StartupTest, APreviousSummaryThatDiffersIsKeptAndNamed) {
    write(paths().poolDirectory() / "a.xls", "A");
    write(paths().summaryWorkbook(), "the summary of last time");
    ScriptedDialogs dialogs;
    dialogs.expectMessageContaining(text::kPreviousSummaryKept).expectOkCancel(text::workOnPoolQuestion(paths()), true);
    sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    const fs::path history = sbx::summaryHistoryDirectory(paths());
    std::vector<fs::path> kept(fs::directory_iterator(history), fs::directory_iterator{});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(sbx::isKeptSummaryName(kept[0].filename().string())) << kept[0];
    EXPECT_EQ(read(kept[0]), "the summary of last time");
    EXPECT_EQ(dialogs.messages().at(0), std::string(text::kPreviousSummaryKept) + sbx::utf8String(kept[0]));
    EXPECT_EQ(read(paths().summaryWorkbook()), "A");

    // The next start finds the summary equal to the pool file: nothing more is kept or said.
    ScriptedDialogs again;
    again.expectOkCancel(text::workOnPoolQuestion(paths()), true);
    sbx::runStartup(paths(), again);
    EXPECT_EQ(again.problems(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(history), fs::directory_iterator{}), 1);
}

TEST_F(StartupTest, KeptSummariesAreTheNewestTwentyAndNothingElseIsRemoved) {
    const fs::path history = sbx::summaryHistoryDirectory(paths());
    for (int i = 10; i < 35; ++i) write(history / ("total-20260101-0000" + std::to_string(i) + ".xls"), "old");
    for (const char* other : {"notes.txt", "total-old.xls", "total-20260101-000001.xls.bak", "mine.xls"}) {
        write(history / other, "user's");
    }
    write(paths().poolDirectory() / "a.xls", "A");
    write(paths().summaryWorkbook(), "S1");
    // Two keeps within one second get two names.
    const auto when = std::chrono::system_clock::now();
    const auto first = sbx::keepPreviousSummary(paths(), paths().poolFile("a.xls"), when);
    write(paths().summaryWorkbook(), "S2");
    const auto second = sbx::keepPreviousSummary(paths(), paths().poolFile("a.xls"), when);
    ASSERT_TRUE(first.keptAs && second.keptAs) << first.failure << second.failure;
    EXPECT_NE(*first.keptAs, *second.keptAs);
    EXPECT_EQ(read(*first.keptAs), "S1");
    EXPECT_EQ(read(*second.keptAs), "S2");

    std::set<std::string> kept, others;
    for (const auto& entry : fs::directory_iterator(history)) {
        const std::string name = entry.path().filename().string();
        (sbx::isKeptSummaryName(name) ? kept : others).insert(name);
    }
    EXPECT_EQ(kept.size(), sbx::kKeptSummaries);
    EXPECT_TRUE(kept.contains(first.keptAs->filename().string()));
    EXPECT_TRUE(kept.contains(second.keptAs->filename().string()));
    // The seven oldest went: 10 to 16.
    EXPECT_FALSE(kept.contains("total-20260101-000016.xls"));
    EXPECT_TRUE(kept.contains("total-20260101-000017.xls"));
    EXPECT_EQ(others, (std::set<std::string>{"notes.txt", "total-old.xls", "total-20260101-000001.xls.bak", "mine.xls"}));
}

// The order of keeping is the copies' own, not the clock's: after the clock or the time zone
// is set back, the copy just made stays and the older ones, of any naming, go first.
TEST_F(StartupTest, AClockSetBackNeverDropsTheCopyJustMade) {
    const fs::path history = sbx::summaryHistoryDirectory(paths());
    write(history / "total-20991231-235959.xls", "kept by an earlier version, clock far ahead");
    write(paths().poolDirectory() / "a.xls", "A");
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> made;
    for (int i = 0; i < 4; ++i) {
        write(paths().summaryWorkbook(), "S" + std::to_string(i));
        const auto kept = sbx::keepPreviousSummary(paths(), paths().poolFile("a.xls"), now - std::chrono::hours(i), 2);
        ASSERT_TRUE(kept.keptAs) << kept.failure;
        ASSERT_TRUE(fs::exists(*kept.keptAs)) << *kept.keptAs;
        made.push_back(kept.keptAs->filename().string());
    }
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(history)) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{made[2], made[3]}));
    EXPECT_EQ(read(history / made[3]), "S3");
}

TEST(KeptSummaryNames, OnlyTheStampPattern) {
    for (const char* good : {"total-20261207-153000.xls", "total-20261207-153000-2.xls", "total-20261207-153000.xlsx",
                             "total-20261207-153000-12.xlsx", "total-20261207-153000.xlsm",
                             "total-000001-20261207-153000.xls", "total-1234567-20261207-153000.xlsx"}) {
        EXPECT_TRUE(sbx::isKeptSummaryName(good)) << good;
    }
    for (const char* bad : {"total.xls", "total.xlsx", "total-2026127-153000.xls", "total-20261207_153000.xls",
                            "Total-20261207-153000.xls", "total-20261207-153000-.xls", "total-20261207-153000-x.xls",
                            "total-20261207-153000.XLSX", "total-20261207-153000.xlsx.bak", "total-20261207-153000-x.xlsx",
                            "total-00001-20261207-153000.xls", "total-000001-2026120-153000.xls",
                            "total-000001-20261207-153000-2.xls", "total-00000x-20261207-153000.xls"}) {
        EXPECT_FALSE(sbx::isKeptSummaryName(bad)) << bad;
    }
}

// A file named hz where the summary folder belongs is named in a message; the pool is still
// listed and the file is left alone.
TEST_F(StartupTest, AFileNamedHzIsNamedAndThePoolIsStillListed) {
    write(paths().poolDirectory() / "a.xls", "A");
    write(paths().summaryDirectory(), "not a folder");
    ScriptedDialogs dialogs;
    dialogs.expectMessageContaining(sbx::utf8String(paths().summaryDirectory()) + " 不是文件夹")
        .expectOkCancel(text::workOnPoolQuestion(paths()), true);
    const auto outcome = sbx::runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.state, StartupState::PoolKept);
    EXPECT_EQ(outcome.poolList, std::vector<std::string>{"a.xls"});
    EXPECT_EQ(read(paths().summaryDirectory()), "not a folder");
}

// The working folder is absolute whatever the environment gives, so that nothing that
// changes the current folder later can move the pool.
TEST(WorkingFolder, IsAbsoluteFromEverySource) {
#ifdef _WIN32
    // c:\kx unless SHUBUXING_HOME names another folder; HOME and the account play no part.
    using Opt = std::optional<std::string>;
    EXPECT_EQ(WorkspacePaths::fromSettings(std::nullopt, Opt("/h"), fs::path("/a")).poolDirectory(), fs::path("c:\\kx"));
    EXPECT_EQ(WorkspacePaths::fromSettings(Opt("d:\\报表\\kx"), Opt("/h"), std::nullopt).poolDirectory(),
              sbx::utf8Path("d:\\报表\\kx"));
#else
    const fs::path here = fs::current_path();
    using Opt = std::optional<std::string>;
    EXPECT_EQ(WorkspacePaths::fromSettings(Opt("rel/kx"), Opt("/h"), fs::path("/a")).poolDirectory(), here / "rel" / "kx");
    EXPECT_EQ(WorkspacePaths::fromSettings(Opt("./k"), std::nullopt, std::nullopt).poolDirectory(), here / "k");
    EXPECT_EQ(WorkspacePaths::fromSettings(Opt("/w/kx"), Opt("/h"), std::nullopt).poolDirectory(), fs::path("/w/kx"));
    EXPECT_EQ(WorkspacePaths::fromSettings(std::nullopt, Opt("/h"), fs::path("/a")).poolDirectory(), fs::path("/h/kx"));
    EXPECT_EQ(WorkspacePaths::fromSettings(std::nullopt, Opt("home"), std::nullopt).poolDirectory(), here / "home" / "kx");
    EXPECT_EQ(WorkspacePaths::fromSettings(std::nullopt, std::nullopt, fs::path("/a")).poolDirectory(), fs::path("/a/kx"));
    EXPECT_THROW(WorkspacePaths::fromSettings(std::nullopt, std::nullopt, std::nullopt), sbx::WorkingFolderError);
    EXPECT_EQ(WorkspacePaths("kx").poolDirectory(), here / "kx");
    EXPECT_EQ(WorkspacePaths("kx").poolPrefix(), sbx::utf8String(here / "kx") + "/");
#endif
}

TEST(WorkingFolder, WithoutHomeTheAccountsHomeFolderIsUsed) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes c:\\kx, not a home folder (IsAbsoluteFromEverySource)";
#else
    const std::optional<std::string> savedHome = std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
    const std::optional<std::string> savedOwn =
        std::getenv("SHUBUXING_HOME") ? std::optional<std::string>(std::getenv("SHUBUXING_HOME")) : std::nullopt;
    unsetenv("HOME");
    unsetenv("SHUBUXING_HOME");
    const fs::path pool = WorkspacePaths::fromEnvironment().poolDirectory();
    if (savedHome) setenv("HOME", savedHome->c_str(), 1);
    if (savedOwn) setenv("SHUBUXING_HOME", savedOwn->c_str(), 1);
    const passwd* account = getpwuid(getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(pool, fs::path(account->pw_dir) / "kx");
    EXPECT_TRUE(pool.is_absolute());
#endif
}

TEST(ScriptedDialogs, AnUnexpectedPromptFailsAndIsRecorded) {
    ScriptedDialogs dialogs;
    dialogs.expectOkCancel("first?", true);
    EXPECT_THROW(dialogs.askYesNo("other?", sbx::Risk::Harmless), sbx::testing::ScriptedDialogsError);
    EXPECT_NE(dialogs.problems().find("other?"), std::string::npos);
    ScriptedDialogs empty;
    EXPECT_THROW(empty.message("surprise"), sbx::testing::ScriptedDialogsError);
    ScriptedDialogs unfinished;
    unfinished.expectMessage("never");
    EXPECT_NE(unfinished.problems().find("never"), std::string::npos);
}

}  // namespace
