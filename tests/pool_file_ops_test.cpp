// Single pool files: the one-step replace, the screening of new names, rename with its
// overwrite question and own-name case, delete, failures reported with the list kept true
// to the folder, and the properties that SEE shows.
#include <gtest/gtest.h>


#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_files.h"
#include "workspace/file_kind.h"
#include "workspace/pool.h"
#include "workspace/pool_file_ops.h"

namespace fs = std::filesystem;
using sbx::VectorPoolList;
using sbx::WorkspacePaths;
using sbx::testing::ScriptedDialogs;
namespace text = sbx::pool_ops_text;

namespace {

class PoolFileOpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("sbx_poolops_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(paths().summaryDirectory());
    }
    void TearDown() override {
        EXPECT_EQ(dialogs_.problems(), "");
        sbx::testing::removeAllOf(root_);
    }

    WorkspacePaths paths() const { return WorkspacePaths(root_ / "kx"); }
    void write(const std::string& name, const std::string& content) {
        std::ofstream(paths().poolFile(name), std::ios::binary) << content;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(paths().poolFile(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string& name) const { return fs::exists(paths().poolFile(name)); }
    // Every file in the pool folder, pool files or not.
    std::vector<std::string> folderFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(paths().poolDirectory()))
            if (!entry.is_directory()) names.push_back(sbx::utf8String(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    // The list must name exactly the pool files of the folder.
    void expectListTrueToFolder(const VectorPoolList& list) const {
        std::vector<std::string> listed = list.names(), pool;
        for (const std::string& name : folderFiles())
            if (sbx::isPoolFileName(name)) pool.push_back(name);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, pool);
    }

    fs::path root_;
    ScriptedDialogs dialogs_;
};

using Names = std::vector<std::string>;

TEST_F(PoolFileOpsTest, ReplaceFilePutsTheNewBytesInPlaceAndLeavesNoTemporaryFile) {
    write("a.xls", "old");
    const fs::path source = root_ / "a.xls";
    std::ofstream(source, std::ios::binary) << "new content";
    ASSERT_FALSE(sbx::replaceFile(source, paths().poolFile("a.xls")));
    EXPECT_EQ(read("a.xls"), "new content");
    EXPECT_EQ(folderFiles(), Names{"a.xls"});
}

TEST_F(PoolFileOpsTest, ReplaceFileThatFailsHalfWayKeepsTheOldFileWhole) {
    write("a.xls", "the old pool file");
    const fs::path source = root_ / "a.xls";
    std::ofstream(source, std::ios::binary) << "new content that will not arrive";
    const auto halfThenFail = [](const fs::path&, const fs::path& to) {
        std::ofstream(to, std::ios::binary) << "new cont";
        return std::make_error_code(std::errc::no_space_on_device);
    };
    const std::error_code error = sbx::replaceFile(source, paths().poolFile("a.xls"), halfThenFail);
    EXPECT_EQ(error, std::make_error_code(std::errc::no_space_on_device));
    EXPECT_EQ(read("a.xls"), "the old pool file");
    EXPECT_EQ(folderFiles(), Names{"a.xls"});
}

// The one rule for names typed for the pool, new file names and archive folders alike.
TEST_F(PoolFileOpsTest, ScreeningRefusesPathsDotsReservedBlankAndOverlongNames) {
    for (const char* bad : {"a/b", "a\\b", "..", "../x", "a..b", ".", " . ", "a:b", "a*", "a?", "a|b", "a<b", "a\"b", "CON",
                            "nul", "nul.txt", " con ", "com1", "Lpt9.txt", "tab\there", "", "   ", "\xE3\x80\x80",
                            " \xE3\x80\x80\t", "a.", "报表."}) {
        EXPECT_TRUE(sbx::screenTypedName(bad).has_value()) << bad;
    }
    EXPECT_TRUE(sbx::screenTypedName(std::string(252, 'x')).has_value());
    for (const char* good : {"b", "b.xls", "二分公司", "a.b", "console", "com10", " x ", "con2", "nulx.txt"}) {
        EXPECT_FALSE(sbx::screenTypedName(good).has_value()) << good;
    }
    EXPECT_FALSE(sbx::screenTypedName(std::string(251, 'x')).has_value());
}

// A copy is bytes only: the new file's permissions are the user's defaults, whatever the
// source's were, so a read-only pool file never makes a read-only summary.
TEST_F(PoolFileOpsTest, AReplacedFileGetsDefaultPermissionsNotTheSources) {
    write("probe.xls", "");
    const fs::perms defaults = fs::status(paths().poolFile("probe.xls")).permissions();
    const fs::path source = root_ / "read-only.xls";
    std::ofstream(source, std::ios::binary) << "RO";
    fs::permissions(source, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    write("a.xls", "old");
    for (const fs::path& target : {paths().poolFile("a.xls"), paths().summaryWorkbook()}) {
        ASSERT_FALSE(sbx::replaceFile(source, target)) << target;
        EXPECT_EQ(fs::status(target).permissions(), defaults) << target;
        std::ifstream in(target, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "RO");
    }
}

// Neither a FIFO (which would block the copy for good) nor a folder is copied as a workbook.
TEST_F(PoolFileOpsTest, ReplaceFileRefusesAFifoOrAFolderAndLeavesTheTargetAlone) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs or device files";
#else
    alarm(30);  // a copy that blocks on the FIFO fails the test instead of hanging it
    ASSERT_EQ(mkfifo(sbx::utf8String(root_ / "pipe.xls").c_str(), 0600), 0);
    fs::create_directories(root_ / "folder.xls");
    write("a.xls", "old");
    for (const char* source : {"pipe.xls", "folder.xls"}) {
        EXPECT_TRUE(sbx::replaceFile(root_ / source, paths().poolFile("a.xls"))) << source;
        EXPECT_EQ(read("a.xls"), "old");
        EXPECT_NE(sbx::notAWorkbookFileText(root_ / source).find(source), std::string::npos);
    }
    EXPECT_EQ(folderFiles(), Names{"a.xls"});
    alarm(0);
#endif
}

TEST_F(PoolFileOpsTest, TrimBlanksRemovesOrdinaryAndFullWidthBlanksAtBothEnds) {
    EXPECT_EQ(sbx::trimTypedName("  b \t"), "b");
    EXPECT_EQ(sbx::trimTypedName("\xE3\x80\x80 b c\xE3\x80\x80"), "b c");
    EXPECT_EQ(sbx::trimTypedName("   "), "");
}

TEST_F(PoolFileOpsTest, RenameStartsFromTheOldNameAppendsTheNewAndRemovesTheOld) {
    write("a.xls", "A");
    write("c.xls", "C");
    VectorPoolList list({"a.xls", "c.xls"});
    dialogs_.expectInput(text::kRenamePrompt, "  b ");
    EXPECT_TRUE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_EQ(list.names(), (Names{"c.xls", "b.xls"}));
    EXPECT_EQ(read("b.xls"), "A");
    EXPECT_FALSE(exists("a.xls"));
    EXPECT_EQ(dialogs_.transcript().front().title, "");
    EXPECT_EQ(dialogs_.transcript().front().defaultText, "a");
}

// A renamed file keeps its format's extension; a workbook ending typed out of habit is not
// doubled, nor does it change the format.
TEST_F(PoolFileOpsTest, RenameAddsTheExtensionOfTheFilesOwnFormat) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"a.xlsx", "b", "b.xlsx"}, {"a.xlsx", "b.xls", "b.xlsx"}, {"a.xlsm", "b.xlsx", "b.xlsm"},
        {"a.xls", "b.xlsx", "b.xls"}, {"a.xls", "十中队.XLS", "十中队.xls"}, {"a.xls", "b.xls.bak", "b.xls.bak.xls"}};
    for (const auto& [from, typed, to] : cases) {
        write(from, from);
        VectorPoolList list({from});
        dialogs_.expectInput(text::kRenamePrompt, typed);
        EXPECT_TRUE(sbx::renamePoolFile(paths(), dialogs_, list, from)) << from;
        EXPECT_EQ(list.names(), Names{to});
        EXPECT_EQ(read(to), from);
        EXPECT_FALSE(exists(from));
        fs::remove(paths().poolFile(to));
    }
    // The longest name still allowed leaves room for the longer extension.
    write("a.xlsx", "A");
    VectorPoolList list({"a.xlsx"});
    dialogs_.expectInput(text::kRenamePrompt, std::string(251, 'x')).expectMessageContaining("名称太长");
    EXPECT_FALSE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xlsx"));
    dialogs_.expectInput(text::kRenamePrompt, std::string(250, 'x'));
    EXPECT_TRUE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xlsx"));
    EXPECT_EQ(list.names(), Names{std::string(250, 'x') + ".xlsx"});
}

TEST_F(PoolFileOpsTest, RenameWithBlanksCancelOrTheOwnNameChangesNothing) {
    write("a.xls", "A");
    VectorPoolList list({"a.xls"});
    dialogs_.expectInput(text::kRenamePrompt, "   ")
        .expectInput(text::kRenamePrompt, std::nullopt)
        .expectInput(text::kRenamePrompt, " a ");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_EQ(list.names(), Names{"a.xls"});
    EXPECT_EQ(read("a.xls"), "A");
    EXPECT_EQ(folderFiles(), Names{"a.xls"});
}

TEST_F(PoolFileOpsTest, RenameRefusesScreenedNamesWithAMessageAndTouchesNothing) {
    write("a.xls", "A");
    fs::create_directories(root_ / "outside");
    VectorPoolList list({"a.xls"});
    for (const char* bad : {"../outside/x", "sub/b", ".."}) {
        dialogs_.expectInput(text::kRenamePrompt, bad).expectMessageContaining("不能作为文件名");
        EXPECT_FALSE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xls")) << bad;
    }
    EXPECT_EQ(list.names(), Names{"a.xls"});
    EXPECT_EQ(folderFiles(), Names{"a.xls"});
    EXPECT_TRUE(fs::is_empty(root_ / "outside"));
}

TEST_F(PoolFileOpsTest, RenameOntoAnotherFileAsksAndOnYesListsTheNameOnce) {
    write("a.xls", "A");
    write("b.xls", "B");
    write("c.xls", "C");
    VectorPoolList list({"b.xls", "a.xls", "c.xls"});
    dialogs_.expectInput(text::kRenamePrompt, "b").expectYesNo(text::overwriteQuestion("b.xls"), false, sbx::Risk::Destructive);
    EXPECT_FALSE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_EQ(read("a.xls"), "A");
    EXPECT_EQ(read("b.xls"), "B");
    EXPECT_EQ(list.names(), (Names{"b.xls", "a.xls", "c.xls"}));

    dialogs_.expectInput(text::kRenamePrompt, "b").expectYesNo(text::overwriteQuestion("b.xls"), true, sbx::Risk::Destructive);
    EXPECT_TRUE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_EQ(read("b.xls"), "A");
    EXPECT_FALSE(exists("a.xls"));
    EXPECT_EQ(list.names(), (Names{"c.xls", "b.xls"}));
    expectListTrueToFolder(list);
}

TEST_F(PoolFileOpsTest, RenameThatFailsIsReportedAndTheListFollowsTheFolder) {
    write("a.xls", "A");
    // A non-empty folder named b.xls cannot be renamed over, whoever runs the test.
    fs::create_directories(paths().poolFile("b.xls") / "inner");
    VectorPoolList list({"a.xls"});
    dialogs_.expectInput(text::kRenamePrompt, "b")
        .expectYesNo(text::overwriteQuestion("b.xls"), true, sbx::Risk::Destructive)
        .expectMessageContaining(std::string(text::kRenameFailed) + "a.xls → b.xls\r");
    EXPECT_FALSE(sbx::renamePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_EQ(read("a.xls"), "A");
    EXPECT_EQ(list.names(), Names{"a.xls"});
}

TEST_F(PoolFileOpsTest, RenameOfAFileThatVanishedIsReportedAndItsEntryGoes) {
    VectorPoolList list({"gone.xls", "c.xls"});
    write("c.xls", "C");
    dialogs_.expectInput(text::kRenamePrompt, "new").expectMessageContaining(text::kRenameFailed);
    EXPECT_FALSE(sbx::renamePoolFile(paths(), dialogs_, list, "gone.xls"));
    EXPECT_EQ(list.names(), Names{"c.xls"});
}

// A deleted file can be had back: it goes into the working folder's 已删除 folder (the
// desktop passes the recycle bin), a second file of the same name beside the first.
TEST_F(PoolFileOpsTest, DeleteAsksAndOnOkMovesTheFileOutOfThePoolAndSaysWhere) {
    const fs::path deleted = paths().poolDirectory() / sbx::utf8Path("已删除");
    write("a.xls", "A");
    write("b.xls", "B");
    VectorPoolList list({"a.xls", "b.xls"});
    dialogs_.expectOkCancel(text::deleteQuestion("a.xls"), false, sbx::Risk::Destructive)
        .expectOkCancel("确信要删除文件：a.xls吗？", true, sbx::Risk::Destructive)
        .expectMessage("已删除的文件已移到文件夹：" + sbx::utf8String(deleted) + "。");
    EXPECT_FALSE(sbx::deletePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_TRUE(exists("a.xls"));
    EXPECT_TRUE(sbx::deletePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_FALSE(exists("a.xls"));
    EXPECT_EQ(list.names(), Names{"b.xls"});
    expectListTrueToFolder(list);

    write("a.xls", "A again");
    list.append("a.xls");
    dialogs_.expectOkCancel(text::deleteQuestion("a.xls"), true, sbx::Risk::Destructive).expectMessageContaining("已删除");
    EXPECT_TRUE(sbx::deletePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_EQ(read("已删除/a.xls"), "A");
    EXPECT_EQ(read("已删除/a-2.xls"), "A again");
}

// Several entries: one question naming the count, every file that can go goes, and one
// message says where they went and which stayed.
TEST_F(PoolFileOpsTest, DeletingSeveralAsksOnceAndReportsOnce) {
    write("a.xls", "A");
    write("c.xls", "C");
    fs::create_directories(paths().poolFile("b.xls"));  // no pool file, never moved
    VectorPoolList list({"a.xls", "b.xls", "c.xls", "d.xls"});
    dialogs_.expectOkCancel(text::deleteSeveralQuestion(3), false, sbx::Risk::Destructive)
        .expectOkCancel(text::deleteSeveralQuestion(3), true, sbx::Risk::Destructive)
        .expectMessageContaining("已删除的文件已移到文件夹：");
    EXPECT_EQ(sbx::deleteSeveralPoolFiles(paths(), dialogs_, list, {"a.xls", "b.xls", "c.xls"}), 0u);
    EXPECT_TRUE(exists("a.xls"));
    EXPECT_EQ(sbx::deleteSeveralPoolFiles(paths(), dialogs_, list, {"a.xls", "b.xls", "c.xls"}), 2u);
    EXPECT_FALSE(exists("a.xls"));
    EXPECT_FALSE(exists("c.xls"));
    EXPECT_TRUE(fs::is_directory(paths().poolFile("b.xls")));
    EXPECT_NE(dialogs_.messages().back().find(std::string(text::kDeleteFailed) + "\rb.xls："), std::string::npos)
        << dialogs_.messages().back();
    EXPECT_EQ(list.names(), Names{"d.xls"});  // d.xls was never in the selection
}

TEST_F(PoolFileOpsTest, DeleteThatFailsIsReportedAndTheEntryStays) {
    write("a.xls", "A");
    write("b.xls", "B");
    VectorPoolList list({"a.xls", "b.xls"});
    dialogs_.expectOkCancel(text::deleteQuestion("a.xls"), true, sbx::Risk::Destructive)
        .expectMessageContaining(std::string(text::kDeleteFailed) + "a.xls\r");
    const auto refuse = [](const fs::path&) { return sbx::Disposal{std::make_error_code(std::errc::permission_denied), false, {}}; };
    EXPECT_FALSE(sbx::deletePoolFile(paths(), dialogs_, list, "a.xls", refuse));
    EXPECT_EQ(read("a.xls"), "A");
    EXPECT_EQ(list.names(), (Names{"a.xls", "b.xls"}));
    expectListTrueToFolder(list);
}

TEST_F(PoolFileOpsTest, DeleteNeverRemovesAFolderOfThatName) {
    // An empty folder: the plain remove call would take it.
    fs::create_directories(paths().poolFile("a.xls"));
    VectorPoolList list({"a.xls"});
    dialogs_.expectOkCancel(text::deleteQuestion("a.xls"), true, sbx::Risk::Destructive)
        .expectMessageContaining(std::string(text::kDeleteFailed) + "a.xls\r");
    EXPECT_FALSE(sbx::deletePoolFile(paths(), dialogs_, list, "a.xls"));
    EXPECT_TRUE(fs::is_directory(paths().poolFile("a.xls")));
    // Not a pool file, so the entry goes while the folder stays.
    EXPECT_EQ(list.names(), Names{});
}

TEST_F(PoolFileOpsTest, DescribeShowsSizeTimeAndWorksheetsOrWhyTheyCannotBeRead) {
    fs::copy_file(fs::path(SBX_TEST_DATA).parent_path().parent_path() / "examples" / "sample_report.xls", paths().poolFile("报表.xls"));
    const std::string shown = sbx::describePoolFile(paths(), "报表.xls", sbx::makeNativeHost);
    const auto size = fs::file_size(paths().poolFile("报表.xls"));
    EXPECT_NE(shown.find("文件：报表.xls\r大小：" + std::to_string(size) + " 字节\r修改时间：20"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("工作表：2 个（资产负债表、利润表）"), std::string::npos) << shown;

    write("broken.xls", "not a workbook");
    const std::string broken = sbx::describePoolFile(paths(), "broken.xls", sbx::makeNativeHost);
    EXPECT_NE(broken.find("大小：14 字节"), std::string::npos) << broken;
    EXPECT_NE(broken.find("工作表：无法读取（"), std::string::npos) << broken;

    EXPECT_NE(sbx::describePoolFile(paths(), "missing.xls", sbx::makeNativeHost).find("无法读取文件属性"),
              std::string::npos);
#ifndef _WIN32  // (Windows has no FIFOs.)
    // A FIFO named like a pool file is named as such, never opened.
    alarm(30);
    ASSERT_EQ(mkfifo(sbx::utf8String(paths().poolFile("pipe.xls")).c_str(), 0600), 0);
    EXPECT_NE(sbx::describePoolFile(paths(), "pipe.xls", sbx::makeNativeHost).find("命名管道"), std::string::npos);
    alarm(0);
#endif
}

}  // namespace
