// The summary workbook keeps the format of the pool file it is copied from: total.xls,
// total.xlsx or total.xlsm, the new one in place before the old one goes, and the one there
// found again by every user of the summary.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scripted_dialogs.h"
#include "workspace/pool.h"
#include "workspace/startup.h"
#include "workspace/summary_history.h"
#include "workspace/workbook_format.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using F = WorkbookFormat;

// Enough of a zip package's start for the format check; the content never gets opened here.
const std::string kZip = std::string("PK\x03\x04", 4) + "package";
const std::string kBiff = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "compound file";

class SummaryFormatTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("sbx_summary_format_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(paths().summaryDirectory());
    }
    void TearDown() override { fs::remove_all(root_); }

    WorkspacePaths paths() const { return WorkspacePaths(root_ / "kx"); }
    static void write(const fs::path& file, const std::string& content) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The summaries there are, by their names.
    std::vector<std::string> summaries() const {
        std::vector<std::string> names;
        for (const F format : kWorkbookFormats) {
            if (fs::exists(paths().summaryWorkbook(format))) names.push_back(paths().summaryWorkbook(format).filename().string());
        }
        return names;
    }

    fs::path root_;
};

TEST_F(SummaryFormatTest, TheFormatComesFromTheContentAndTheMacroEndingFromTheName) {
    struct Case {
        const char* name;
        const std::string& content;
        F format;
    };
    const std::string text = "plain text";
    const Case cases[] = {
        {"a.xls", kBiff, F::Xls},    {"a.xlsx", kZip, F::Xlsx},  {"a.xlsm", kZip, F::Xlsm},
        {"a.XLSM", kZip, F::Xlsm},   {"renamed.xls", kZip, F::Xlsx},  // an .xlsx renamed stays an .xlsx
        {"renamed.xlsx", kBiff, F::Xls}, {"odd.xlsm", kBiff, F::Xls}, {"short.xlsx", text.substr(0, 2), F::Xls},
        {"a.xls", text, F::Xls}};
    for (const Case& c : cases) {
        write(root_ / c.name, c.content);
        EXPECT_EQ(workbookFormatOf(root_ / c.name), c.format) << c.name;
    }
    EXPECT_EQ(workbookFormatOf(root_ / "missing.xlsx"), F::Xls);
    EXPECT_EQ(workbookFormatOf(root_), F::Xls);  // a folder is never opened
}

// summaryWorkbook() finds the summary that is there: total.xls when there is none, the newest
// when a change of format was cut short, never a folder.
TEST_F(SummaryFormatTest, TheSummaryThereIsFoundByItsName) {
    using Entries = std::vector<std::pair<F, int>>;  // file and its age in minutes; -1: a folder
    struct Case {
        Entries entries;
        F expected;
    };
    const Case cases[] = {
        {{}, F::Xls},
        {{{F::Xlsx, 5}}, F::Xlsx},
        {{{F::Xlsm, 5}}, F::Xlsm},
        {{{F::Xls, 1}, {F::Xlsx, 9}}, F::Xls},
        {{{F::Xls, 9}, {F::Xlsx, 1}}, F::Xlsx},
        {{{F::Xls, 9}, {F::Xlsx, 5}, {F::Xlsm, 7}}, F::Xlsx},
        {{{F::Xls, -1}, {F::Xlsx, 30}}, F::Xlsx},
        {{{F::Xlsx, -1}}, F::Xls},
    };
    const auto now = fs::file_time_type::clock::now();
    for (const Case& c : cases) {
        for (const F format : kWorkbookFormats) fs::remove_all(paths().summaryWorkbook(format));
        for (const auto& [format, minutes] : c.entries) {
            const fs::path file = paths().summaryWorkbook(format);
            if (minutes < 0) {
                fs::create_directories(file);
                continue;
            }
            write(file, "summary");
            fs::last_write_time(file, now - std::chrono::minutes(minutes));
        }
        EXPECT_EQ(paths().summaryWorkbook(), paths().summaryWorkbook(c.expected)) << c.entries.size();
    }
}

// Every change between the formats: the copy takes the source's format, the old summary goes,
// and only once the new one is whole in its place.
TEST_F(SummaryFormatTest, ChangingTheFormatRemovesTheOldSummaryOnlyAfterTheNewOneIsInPlace) {
    struct Case {
        F before;
        const char* source;
        const std::string& content;
        F after;
    };
    const Case cases[] = {
        {F::Xls, "a.xlsx", kZip, F::Xlsx}, {F::Xlsx, "a.xls", kBiff, F::Xls},  {F::Xlsx, "a.xlsm", kZip, F::Xlsm},
        {F::Xlsm, "a.xlsx", kZip, F::Xlsx}, {F::Xls, "a.xls", kBiff, F::Xls},  {F::Xlsx, "a.xlsx", kZip, F::Xlsx},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(formatExtension(c.before)) + " -> " + c.source;
        for (const F format : kWorkbookFormats) fs::remove(paths().summaryWorkbook(format));
        write(paths().summaryWorkbook(c.before), "old summary");
        write(paths().poolFile(c.source), c.content);

        std::vector<std::string> seenDuringCopy;
        const FileCopy watchingCopy = [&](const fs::path& from, const fs::path& to) {
            seenDuringCopy = summaries();
            return copyFileContents(from, to);
        };
        const SummaryReplacement replaced = replaceSummaryWorkbook(paths(), paths().poolFile(c.source), watchingCopy);
        EXPECT_FALSE(replaced.copyError) << label;
        EXPECT_TRUE(replaced.leftOver.empty()) << label;
        EXPECT_EQ(replaced.summary, paths().summaryWorkbook(c.after)) << label;
        // The old summary was still there while the new one was being copied.
        EXPECT_EQ(seenDuringCopy, std::vector<std::string>{"total" + std::string(formatExtension(c.before))}) << label;
        EXPECT_EQ(summaries(), std::vector<std::string>{"total" + std::string(formatExtension(c.after))}) << label;
        EXPECT_EQ(paths().summaryWorkbook(), paths().summaryWorkbook(c.after)) << label;
        EXPECT_EQ(read(paths().summaryWorkbook()), c.content) << label;
    }
}

TEST_F(SummaryFormatTest, AFailedCopyKeepsTheOldSummaryAndItsFormat) {
    write(paths().summaryWorkbook(F::Xls), "old summary");
    write(paths().poolFile("a.xlsx"), kZip);
    const FileCopy fullDisk = [](const fs::path&, const fs::path& to) {
        std::ofstream(to, std::ios::binary) << "PK";
        return std::make_error_code(std::errc::no_space_on_device);
    };
    const SummaryReplacement replaced = replaceSummaryWorkbook(paths(), paths().poolFile("a.xlsx"), fullDisk);
    EXPECT_EQ(replaced.copyError, std::make_error_code(std::errc::no_space_on_device));
    EXPECT_EQ(replaced.summary, paths().summaryWorkbook(F::Xlsx));
    EXPECT_EQ(summaries(), std::vector<std::string>{"total.xls"});
    EXPECT_EQ(read(paths().summaryWorkbook()), "old summary");
    // Nothing else beside it: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(paths().summaryDirectory()), fs::directory_iterator()), 1);
}

// Start-up on a pool of .xlsx files replaces a total.xls: the old summary is kept in the
// history under its own extension, and the new one has the template's.
TEST_F(SummaryFormatTest, StartUpChangesTheSummaryFormatAndKeepsTheOldOneAsWhatItIs) {
    write(paths().poolFile("only.xlsx"), kZip);
    write(paths().summaryWorkbook(F::Xls), "the .xls summary of last time");
    testing::ScriptedDialogs dialogs;
    dialogs.expectMessageContaining(startup_text::kPreviousSummaryKept).expectOkCancel(startup_text::workOnPoolQuestion(paths()), true);
    const StartupOutcome outcome = runStartup(paths(), dialogs);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(outcome.poolList, std::vector<std::string>{"only.xlsx"});
    EXPECT_EQ(summaries(), std::vector<std::string>{"total.xlsx"});
    EXPECT_EQ(read(paths().summaryWorkbook()), kZip);
    std::vector<fs::path> kept(fs::directory_iterator(summaryHistoryDirectory(paths())), fs::directory_iterator{});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].extension(), ".xls");
    EXPECT_TRUE(isKeptSummaryName(kept[0].filename().string())) << kept[0];
    EXPECT_EQ(read(kept[0]), "the .xls summary of last time");
}

}  // namespace
}  // namespace sbx
