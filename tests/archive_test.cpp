// Archiving a finished run's files: the three cases with their exact closing messages, the
// folder name screening (nothing may land outside the working directory), and files that
// cannot be moved, each reported and left out of the count.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/support/scripted_dialogs.h"
#include "workspace/archive.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedDialogs;
using testing::bytesOf;
using testing::writeFile;

class ArchiveTest : public ::testing::Test {
protected:
    fs::path root;  // holds the pool, so that an escape from it would be visible here
    fs::path pool;
    ScriptedDialogs dialogs;

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("sbx-archive-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        pool = root / "kx";
        for (const char* name : {"a.xls", "b.xls", "c.xls"}) writeFile(pool / name, std::string("pool ") + name);
        fs::create_directories(pool / "hz");
    }
    void TearDown() override { fs::remove_all(root); }

    WorkspacePaths paths() const { return WorkspacePaths(pool); }
    // The folder as the message names it, with the pool's own separator (a backslash on Windows).
    std::string where(const std::string& name) const {
        const std::string prefix = paths().poolPrefix();
        return prefix + name + prefix.back();
    }
    ArchiveResult archive(const std::vector<std::string>& runList = {"a.xls", "b.xls"}) {
        return archiveRunFiles(paths(), runList, dialogs);
    }
    ScriptedDialogs& askName(std::optional<std::string> answer) {
        return dialogs.expectInput(archive_text::kFolderPrompt, std::move(answer));
    }
};

TEST_F(ArchiveTest, NewFolderTakesTheRunFilesOnly) {
    askName("2005").expectMessage("清理完毕,共计2个子文件已被移至: [ " + where("2005") + " ] 目录下！");
    const ArchiveResult result = archive();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(result.kind, ArchiveCase::NewFolder);
    EXPECT_EQ(result.moved, 2);
    EXPECT_TRUE(result.listsReset());
    EXPECT_EQ(bytesOf(pool / "2005" / "a.xls"), "pool a.xls");
    EXPECT_EQ(bytesOf(pool / "2005" / "b.xls"), "pool b.xls");
    EXPECT_FALSE(fs::exists(pool / "a.xls"));
    EXPECT_FALSE(fs::exists(pool / "b.xls"));
    EXPECT_TRUE(fs::exists(pool / "c.xls"));  // not part of the run
    EXPECT_FALSE(fs::exists(pool / "2005" / "c.xls"));
}

TEST_F(ArchiveTest, ExistingFolderAndYesReplacesNamesakes) {
    writeFile(pool / "2005" / "a.xls", "older a");
    writeFile(pool / "2005" / "z.xls", "unrelated");
    askName("2005")
        .expectYesNo(archive_text::kFolderExistsQuestion, true, sbx::Risk::Destructive)
        .expectMessage("清理完毕,共计 2 个子文件已被移至: [ " + where("2005") + " ] 目录下！");
    const ArchiveResult result = archive();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(result.kind, ArchiveCase::Overwrite);
    EXPECT_EQ(bytesOf(pool / "2005" / "a.xls"), "pool a.xls");
    EXPECT_EQ(bytesOf(pool / "2005" / "b.xls"), "pool b.xls");
    EXPECT_EQ(bytesOf(pool / "2005" / "z.xls"), "unrelated");
    EXPECT_FALSE(fs::exists(pool / "a.xls"));
}

TEST_F(ArchiveTest, ExistingFolderAndNoMarksEveryFile) {
    writeFile(pool / "2005" / "a.xls", "older a");
    askName("2005")
        .expectYesNo(archive_text::kFolderExistsQuestion, false, sbx::Risk::Destructive)
        .expectMessage("清理完毕,共计2个子文件已被移至: [ " + where("2005") +
                       " ] 目录下\r其中同名文件被标记“new_”以示区别！");
    const ArchiveResult result = archive();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(result.kind, ArchiveCase::Mark);
    EXPECT_EQ(bytesOf(pool / "2005" / "a.xls"), "older a");
    EXPECT_EQ(bytesOf(pool / "2005" / "new_a.xls"), "pool a.xls");
    // b.xls had no namesake and is marked all the same.
    EXPECT_EQ(bytesOf(pool / "2005" / "new_b.xls"), "pool b.xls");
    EXPECT_FALSE(fs::exists(pool / "2005" / "b.xls"));
}

TEST_F(ArchiveTest, BlankAnswersAndCancelMoveNothing) {
    for (std::optional<std::string> answer : {std::optional<std::string>(""), std::optional<std::string>("   "),
                                              std::optional<std::string>()}) {
        ScriptedDialogs fresh;
        fresh.expectInput(archive_text::kFolderPrompt, answer).expectMessage(archive_text::kNoFolderName);
        const ArchiveResult result = archiveRunFiles(paths(), {"a.xls", "b.xls"}, fresh);
        EXPECT_EQ(fresh.problems(), "");
        EXPECT_EQ(result.kind, ArchiveCase::NoFolder);
        EXPECT_FALSE(result.listsReset());
        EXPECT_TRUE(fs::exists(pool / "a.xls"));
    }
}

// Names are screened by the rule of renames; each refusal says why and moves nothing.
TEST_F(ArchiveTest, RefusedNamesSayWhyAndMoveNothing) {
    for (const std::string& name : std::vector<std::string>{"..", "a/b", "../x", "..\\x", "a\\b", ".", " .. ", "x:y", "a*b",
                                   "a?b", "a|b", "a<b", "a>b", "a\"b", "a\tb", "con", "NUL.txt", "lpt1", "2005.",
                                   "...a"}) {
        ScriptedDialogs fresh;
        fresh.expectInput(archive_text::kFolderPrompt, name).expectMessageContaining("不能作为文件夹名");
        const ArchiveResult result = archiveRunFiles(paths(), {"a.xls", "b.xls"}, fresh);
        EXPECT_EQ(fresh.problems(), "") << name;
        EXPECT_EQ(result.kind, ArchiveCase::NoFolder) << name;
    }
    // Only blanks, the full-width blank too, count as no name at all.
    for (const std::string& name : std::vector<std::string>{"\xE3\x80\x80", " \xE3\x80\x80 ", "\t"}) {
        ScriptedDialogs fresh;
        fresh.expectInput(archive_text::kFolderPrompt, name).expectMessage(archive_text::kNoFolderName);
        EXPECT_EQ(archiveRunFiles(paths(), {"a.xls"}, fresh).kind, ArchiveCase::NoFolder) << name;
        EXPECT_EQ(fresh.problems(), "") << name;
    }
    // Nothing moved anywhere, inside the pool or beside it.
    EXPECT_TRUE(fs::exists(pool / "a.xls"));
    EXPECT_TRUE(fs::exists(pool / "b.xls"));
    EXPECT_FALSE(fs::exists(root / "x"));
    EXPECT_FALSE(fs::exists(root / "a.xls"));
    EXPECT_FALSE(fs::exists(pool / "a"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(root)) ++entries;
    EXPECT_EQ(entries, 1u);  // the pool alone
    std::vector<std::string> inPool;
    for (const auto& e : fs::directory_iterator(pool)) inPool.push_back(e.path().filename().string());
    std::sort(inPool.begin(), inPool.end());
    EXPECT_EQ(inPool, (std::vector<std::string>{"a.xls", "b.xls", "c.xls", "hz"}));
}

// However it is spelled or reached, the summary folder never takes the run's files, even
// with "yes, overwrite": the new summary stays.
TEST_F(ArchiveTest, TheSummaryFolderIsRefusedByAnyNameOrLink) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    writeFile(pool / "hz" / "total.xls", "the new summary");
    writeFile(pool / "hz" / "a.xls", "kept in hz");
    fs::create_directory_symlink(pool / "hz", pool / "to-summary");
    fs::create_directory_symlink(fs::path("..") / "kx" / "hz", pool / "up-and-back");
    for (const std::string& name : std::vector<std::string>{"hz", "HZ", "Hz", " hz ", "to-summary", "up-and-back"}) {
        ScriptedDialogs fresh;
        // Were it taken, the folder exists and the overwrite question comes: unscripted, it fails.
        fresh.expectInput(archive_text::kFolderPrompt, name).expectMessageContaining("是汇总文件所在的文件夹");
        const ArchiveResult result = archiveRunFiles(paths(), {"total.xls", "a.xls"}, fresh);
        EXPECT_EQ(result.kind, ArchiveCase::NoFolder) << name;
        EXPECT_EQ(fresh.problems(), "") << name;
    }
    EXPECT_EQ(bytesOf(pool / "hz" / "total.xls"), "the new summary");
    EXPECT_EQ(bytesOf(pool / "hz" / "a.xls"), "kept in hz");
    EXPECT_EQ(bytesOf(pool / "a.xls"), "pool a.xls");
}

TEST_F(ArchiveTest, ALinkNamedLikeTheFolderCannotLeadOutOfThePool) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", pool / "link");
    askName("link").expectMessageContaining("汇表池以外");
    archive();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
    EXPECT_TRUE(fs::exists(pool / "a.xls"));
}

TEST_F(ArchiveTest, BlanksAroundTheNameBelongToIt) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows drops blanks at the end of a folder name";
#endif
    askName(" 2005 ").expectMessage("清理完毕,共计1个子文件已被移至: [ " + where(" 2005 ") + " ] 目录下！");
    archive({"a.xls"});
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_TRUE(fs::exists(pool / " 2005 " / "a.xls"));
}

TEST_F(ArchiveTest, FilesThatStayAreReportedAndNotCounted) {
    // Processed from the last entry to the first: gone_2 is reported before gone_1.
    askName("2005")
        .expectMessage("以下 2 个文件未能移入文件夹，仍留在汇表池中：\rgone_2.xls：汇表池中已没有这个文件"
                       "\rgone_1.xls：汇表池中已没有这个文件")
        .expectMessage("清理完毕,共计1个子文件已被移至: [ " + where("2005") + " ] 目录下！");
    const ArchiveResult result = archive({"gone_1.xls", "a.xls", "gone_2.xls"});
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(result.failures.size(), 2u);
    EXPECT_TRUE(result.listsReset());
}

TEST_F(ArchiveTest, AMarkedNameAlreadyInTheFolderIsNeverReplaced) {
    writeFile(pool / "2005" / "new_a.xls", "marked before");
    askName("2005")
        .expectYesNo(archive_text::kFolderExistsQuestion, false, sbx::Risk::Destructive)
        .expectMessage("以下 1 个文件未能移入文件夹，仍留在汇表池中：\ra.xls：文件夹中已有同名文件")
        .expectMessage("清理完毕,共计1个子文件已被移至: [ " + where("2005") +
                       " ] 目录下\r其中同名文件被标记“new_”以示区别！");
    archive();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(bytesOf(pool / "2005" / "new_a.xls"), "marked before");
    EXPECT_EQ(bytesOf(pool / "a.xls"), "pool a.xls");
    EXPECT_EQ(bytesOf(pool / "2005" / "new_b.xls"), "pool b.xls");
}

TEST_F(ArchiveTest, OverwriteNeverDeletesAFolderOfTheFilesName) {
    writeFile(pool / "2005" / "a.xls" / "inner.txt", "keep");
    askName("2005")
        .expectYesNo(archive_text::kFolderExistsQuestion, true, sbx::Risk::Destructive)
        .expectMessageContaining("a.xls：文件夹中有同名的子文件夹")
        .expectMessage("清理完毕,共计 1 个子文件已被移至: [ " + where("2005") + " ] 目录下！");
    archive();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(bytesOf(pool / "2005" / "a.xls" / "inner.txt"), "keep");
    EXPECT_TRUE(fs::exists(pool / "a.xls"));
}

TEST(ArchiveNames, MarkedName) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.xls", "new_a.xls"},   {"分公司 1.xls", "new_分公司 1.xls"}, {"a.xlsx", "new_a.xlsx"},
        {"a.xlsm", "new_a.xlsm"}, {"a.xls.xlsx", "new_a.xls.xlsx"}};
    for (const auto& [name, marked] : cases) EXPECT_EQ(markedName(name), marked) << name;
}

// A pool of both formats: every file moves under its own name, or its marked name with its
// own extension, and reaches the folder whole.
TEST_F(ArchiveTest, WorkbooksOfEveryFormatMoveUnderTheirOwnExtensions) {
    for (const char* name : {"d.xlsx", "e.xlsm"}) writeFile(pool / name, std::string("pool ") + name);
    askName("2006").expectMessageContaining("共计3个子文件");
    EXPECT_EQ(archive({"a.xls", "d.xlsx", "e.xlsm"}).moved, 3);
    writeFile(pool / "d.xlsx", "pool d.xlsx again");
    askName("2006")
        .expectYesNo(archive_text::kFolderExistsQuestion, false, sbx::Risk::Destructive)
        .expectMessageContaining("其中同名文件被标记“new_”以示区别！");
    EXPECT_EQ(archive({"d.xlsx"}).moved, 1);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(bytesOf(pool / "2006" / "a.xls"), "pool a.xls");
    EXPECT_EQ(bytesOf(pool / "2006" / "d.xlsx"), "pool d.xlsx");
    EXPECT_EQ(bytesOf(pool / "2006" / "e.xlsm"), "pool e.xlsm");
    EXPECT_EQ(bytesOf(pool / "2006" / "new_d.xlsx"), "pool d.xlsx again");
    for (const char* name : {"a.xls", "d.xlsx", "e.xlsm"}) EXPECT_FALSE(fs::exists(pool / name)) << name;
}

}  // namespace
}  // namespace sbx
