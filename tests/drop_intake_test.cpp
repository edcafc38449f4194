// Files and folders dropped on the pool list: what is taken in (files as dropped, a folder's
// workbooks without its sub-folders), what is refused and why, the overwrite question, the
// summary workbook following the last file, copies that fail, and the one report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_files.h"
#include "workspace/drop_intake.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

struct DropCase {
    const char* name;
    Names before;           // files in the source tree (folder/name), content = the path
    Names pool;             // pool files before, content "old <name>"
    Names dropped;          // paths under the source tree; "<pool>" is the pool folder, "<pool>/x" a pool file
    // Overwrite questions: the name, whether the box offers 全部覆盖/全部跳过, the answer.
    std::vector<std::tuple<std::string, bool, ForAllAnswer>> questions;
    bool copyFails;
    Names taken;
    Names refused;          // "name：why"
    std::string summaryFrom;  // the file whose copy the summary workbook is ("" : unchanged)
};

class DropIntakeTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropIntakeTest, TakesInByTheIntakeRules) {
    const DropCase& c = GetParam();
    testing::TempFolder root("drop");
    const WorkspacePaths paths(root.path() / "kx");
    fs::create_directories(paths.summaryDirectory());
    testing::writeFile(paths.summaryWorkbook(), "previous total");
    for (const auto& file : c.before) testing::writeFile(root.path() / "src" / file, file);
    for (const auto& name : c.pool) testing::writeFile(paths.poolFile(name), "old " + name);
    fs::create_directories(root.path() / "src" / "empty");

    std::vector<fs::path> dropped;
    for (const std::string& d : c.dropped) {
        if (d == "<pool>") {
            dropped.push_back(paths.poolDirectory());
        } else if (d.rfind("<pool>/", 0) == 0) {
            dropped.push_back(paths.poolFile(d.substr(7)));
        } else {
            dropped.push_back(root.path() / "src" / d);
        }
    }
    testing::ScriptedDialogs dialogs;
    for (const auto& [name, forAll, answer] : c.questions) {
        if (forAll) {
            dialogs.expectYesNoForAll(pool_ops_text::overwriteQuestion(name), answer);
        } else {
            dialogs.expectYesNo(pool_ops_text::overwriteQuestion(name), answer == ForAllAnswer::Yes, Risk::Destructive);
        }
    }
    dialogs.allowUnscriptedMessages();
    VectorPoolList list(c.pool);
    const FileCopy failing = [](const fs::path&, const fs::path&) { return std::make_error_code(std::errc::no_space_on_device); };
    // The files' bytes are their names, no workbooks: every one passes as readable here.
    const TemplateScreen opens = [](const fs::path&) { return std::string(); };
    const DropIntake intake = takeInDropped(paths, dialogs, list, dropped,
                                            IntakeTools{c.copyFails ? failing : FileCopy(copyFileContents), opens});

    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(intake.taken, c.taken);
    Names refused;
    for (const auto& r : intake.refused) refused.push_back(r.name + "：" + r.why);
    EXPECT_EQ(refused, c.refused);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages().front(), dropReportMessage(intake));
    // The pool list: the earlier entries, then what was taken in, each once.
    Names expectedList;
    for (const auto& name : c.pool) {
        if (std::find(c.taken.begin(), c.taken.end(), name) == c.taken.end()) expectedList.push_back(name);
    }
    expectedList.insert(expectedList.end(), c.taken.begin(), c.taken.end());
    EXPECT_EQ(list.names(), expectedList);
    for (const auto& file : c.before) {
        const std::string name = fs::path(file).filename().string();
        const bool taken = std::find(c.taken.begin(), c.taken.end(), name) != c.taken.end();
        const bool wasInPool = std::find(c.pool.begin(), c.pool.end(), name) != c.pool.end();
        if (taken) {
            EXPECT_EQ(testing::bytesOf(paths.poolFile(name)), file) << name;
        } else if (wasInPool) {
            EXPECT_EQ(testing::bytesOf(paths.poolFile(name)), "old " + name) << name;
        } else {
            EXPECT_FALSE(fs::exists(paths.poolFile(name))) << name;
        }
    }
    EXPECT_EQ(testing::bytesOf(paths.summaryWorkbook()), c.summaryFrom.empty() ? "previous total" : c.summaryFrom);
    // The summary replaced (a run's: no pool file holds its bytes) is kept in hz/历史 first.
    const fs::path history = paths.summaryDirectory() / utf8Path("历史");
    const bool kept = fs::is_directory(history) && !fs::is_empty(history);
    EXPECT_EQ(kept, !c.summaryFrom.empty());
    EXPECT_EQ(intake.summaryKept.empty(), c.summaryFrom.empty()) << intake.summaryKept;
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropIntakeTest,
    ::testing::Values(
        DropCase{"FilesFromTwoFolders", {"a/x.xls", "b/y.xls"}, {}, {"a/x.xls", "b/y.xls"}, {}, false,
                 {"x.xls", "y.xls"}, {}, "b/y.xls"},
        DropCase{"FolderGivesItsWorkbooksByNameNotItsSubFolders",
                 {"m/b.xls", "m/a.xls", "m/notes.txt", "m/old/c.xls"}, {}, {"m"}, {}, false,
                 {"a.xls", "b.xls"}, {}, "m/b.xls"},
        DropCase{"OverwriteOnlyAfterYes", {"n/a.xls", "n/b.xls"}, {"a.xls", "b.xls"}, {"n/a.xls", "n/b.xls"},
                 {{"a.xls", true, ForAllAnswer::No}, {"b.xls", false, ForAllAnswer::Yes}}, false, {"b.xls"},
                 {"a.xls：同名文件未覆盖"}, "n/b.xls"},
        DropCase{"SkipAllIsOneAnswerForEveryPoolFile", {"n/a.xls", "n/b.xls", "n/c.xls", "n/d.xls"}, {"a.xls", "b.xls", "c.xls"},
                 {"n"}, {{"a.xls", true, ForAllAnswer::NoToAll}}, false, {"d.xls"},
                 {"a.xls：同名文件未覆盖", "b.xls：同名文件未覆盖", "c.xls：同名文件未覆盖"}, "n/d.xls"},
        DropCase{"RefusedWithTheirReasons", {"n/notes.txt"}, {"p.xls"}, {"n/notes.txt", "<pool>/p.xls", "empty", "<pool>"},
                 {}, false, {}, {"empty：文件夹中没有表格文件", "kx：这是工作目录本身",
                                 "notes.txt：不是汇表池所收的表格文件", "p.xls：已在工作目录中"}, ""},
        DropCase{"FailedCopyLeavesPoolAndSummary", {"n/a.xls"}, {"a.xls"}, {"n/a.xls"}, {{"a.xls", false, ForAllAnswer::Yes}}, true, {},
                 {"a.xls：复制文件失败：磁盘空间已满"}, ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DropReport, ListsAtMostTenNamesEach) {
    DropIntake intake;
    for (int i = 1; i <= 12; ++i) intake.taken.push_back(std::to_string(i) + ".xls");
    intake.refused.push_back({"a.txt", "不是汇表池所收的表格文件"});
    const std::string text = dropReportMessage(intake);
    EXPECT_EQ(text.rfind("已添加 12 个文件：\r1.xls\r2.xls", 0), 0u) << text;
    EXPECT_NE(text.find("\r10.xls\r……等 12 个\r未添加 1 个：\ra.txt：不是汇表池所收的表格文件"), std::string::npos) << text;
    EXPECT_EQ(text.find("11.xls"), std::string::npos);
    EXPECT_EQ(dropReportMessage({}), "没有添加任何文件。");
}

}  // namespace
}  // namespace sbx
