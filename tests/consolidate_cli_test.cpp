// shubuxing-cli consolidate: exit statuses, OUT written only for a finished run, sources and
// an existing OUT left alone otherwise, the run folder cleaned up.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/consolidate_command.h"
#include "consolidate/record/run_record_reader.h"
#include "job/job_file.h"
#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/utf8_text.h"
#include "spreadsheet/utf8_path.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;

const fs::path kPool = fs::path(SBX_TEST_DATA) / "fixtures" / "consolidate_pool";

class ConsolidateCliTest : public ::testing::Test {
protected:
    fs::path dir;
    std::ostringstream out, err;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sbx-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (int i = 1; i <= 3; ++i) {
            const std::string name = "branch_" + std::to_string(i) + ".xls";
            fs::copy_file(kPool / name, dir / name);
        }
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string src(int i) const { return (dir / ("branch_" + std::to_string(i) + ".xls")).string(); }
    std::string outFile() const { return (dir / "total.xls").string(); }

    int run(std::vector<std::string> args) { return cli::consolidateCommand(args, out, err); }

    bool runFolderLeft() const {
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().filename().string().starts_with(".shubuxing-run-")) return true;
        }
        return false;
    }
};

TEST_F(ConsolidateCliTest, BothModesWriteOutAndKeepSources) {
    const std::string before = bytesOf(src(1)) + bytesOf(src(3));
    for (const std::string mode : {"function", "efficiency"}) {
        fs::remove(outFile());
        out.str("");
        ASSERT_EQ(run({"--mode", mode, "--out", outFile(), "--range", "收入明细!b4:e9", "--range", "成本费用!b4:e9",
                       src(1), src(2), src(3)}),
                  0)
            << err.str();
        EXPECT_NE(out.str().find("consolidated 3 files, 2 worksheets, 48 cells per file"), std::string::npos)
            << out.str();
        auto host = makeNativeHost();
        const Worksheet& s = host->open(outFile()).worksheet("收入明细");
        EXPECT_NEAR(s.cell(4, 2).numberValue(), 4257.83, 1e-6);  // xlrd's sum of b4 (expected_totals.tsv)
        EXPECT_NEAR(s.cell(9, 5).numberValue(), 11004.88, 1e-6);
        // d7 holds a number stored as text in one source: both modes add it.
        EXPECT_NEAR(s.cell(7, 4).numberValue(), 161, 1e-9);
    }
    EXPECT_EQ(bytesOf(src(1)) + bytesOf(src(3)), before);
    EXPECT_FALSE(runFolderLeft());
}

// --job takes the ranges the job file keeps for the template's worksheet names; what cannot
// give a job exits 2 and leaves OUT and the job file alone.
TEST_F(ConsolidateCliTest, AJobFileGivesTheRangesOfItsTemplate) {
    std::vector<std::string> sheets;
    {
        auto host = makeNativeHost();
        Workbook& book = host->open(src(3));
        for (int k = 1; k <= book.worksheetCount(); ++k) sheets.push_back(book.worksheet(k).name());
    }
    RememberedJobs jobs;
    jobs.remember({"其他"}, {{"其他", {1, 1, 2, 2}}});
    jobs.remember(sheets, {{"收入明细", {4, 2, 9, 5}}, {"成本费用", {4, 2, 9, 5}}});
    const fs::path jobPath = dir / utf8Path("方案.txt");
    const std::string jobFile = utf8String(jobPath);
    writeJobFile(jobPath, jobs);
    ASSERT_EQ(run({"--mode", "function", "--out", outFile(), "--job", jobFile, src(1), src(2), src(3)}), 0) << err.str();
    EXPECT_NE(out.str().find("consolidated 3 files, 2 worksheets, 48 cells per file"), std::string::npos) << out.str();
    {
        auto host = makeNativeHost();
        EXPECT_NEAR(host->open(outFile()).worksheet("收入明细").cell(4, 2).numberValue(), 4257.83, 1e-6);
    }

    const std::string otherJobs = (dir / "other.txt").string();
    writeJobFile(otherJobs, RememberedJobs{{jobs.jobs.front()}});
    const std::string damaged = (dir / "damaged.txt").string();
    testing::writeFile(damaged, "shubuxing-jobs\t1\nsheet\t收入明细\tb4\te9\n");
    const std::string kept = bytesOf(jobPath) + bytesOf(otherJobs) + bytesOf(damaged);
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--job", jobFile, "--range", "收入明细!b4:e9"}, "exclude each other"},
        {{"--job", jobFile, "--job", jobFile}, "twice"},
        {{"--job", otherJobs}, "keeps no job for the worksheets of"},
        {{"--job", damaged}, "is damaged at line 2"},
        {{"--job", (dir / "none.txt").string()}, "does not exist"},
        {{"--job", jobFile, "--template", (dir / "missing.xls").string()}, "missing.xls"},
    };
    for (const auto& [options, why] : refused) {
        fs::remove(outFile());
        err.str("");
        std::vector<std::string> args{"--mode", "efficiency", "--out", outFile()};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {src(1), src(2)});
        EXPECT_EQ(run(args), 2) << why;
        EXPECT_NE(err.str().find(why), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists(outFile())) << why;
    }
    // OUT naming the job file, however spelled, is refused as OUT naming the template is.
    err.str("");
    EXPECT_EQ(run({"--mode", "efficiency", "--out", utf8String(dir / "." / utf8Path("方案.txt")), "--job", jobFile, src(1), src(2)}),
              2);
    EXPECT_NE(err.str().find("--out names the job file"), std::string::npos) << err.str();
    EXPECT_EQ(bytesOf(jobPath) + bytesOf(otherJobs) + bytesOf(damaged), kept);
}

TEST_F(ConsolidateCliTest, BadArgumentsExitTwoAndWriteNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"--out", outFile(), "--range", "收入明细!b4:e9", src(1)},                        // no mode
        {"--mode", "fast", "--out", outFile(), "--range", "收入明细!b4:e9", src(1)},      // unknown mode
        {"--mode", "function", "--range", "收入明细!b4:e9", src(1)},                      // no out
        {"--mode", "function", "--out", outFile(), src(1)},                               // no range
        {"--mode", "function", "--out", outFile(), "--range", "收入明细!c5:ab2", src(1)},  // invalid range
        {"--mode", "function", "--out", outFile(), "--range", "b4:e9", src(1)},           // no worksheet
        {"--mode", "function", "--out", outFile(), "--range", "收入明细!b4:e9"},           // no source
        {"--mode", "function", "--out", outFile(), "--range", "收入明细!b4:e9", (dir / "none.xls").string()},
        {"--mode", "function", "--out", src(1), "--range", "收入明细!b4:e9", src(1), src(2)},  // out is a source
        {"--mode", "function", "--out", outFile(), "--bogus", "--range", "收入明细!b4:e9", src(1)},
    };
    for (const auto& args : cases) {
        err.str("");
        EXPECT_EQ(run(args), 2) << args.back();
        EXPECT_NE(err.str().find("Usage:"), std::string::npos);
        EXPECT_FALSE(fs::exists(outFile()));
    }
    EXPECT_EQ(bytesOf(src(1)), bytesOf(kPool / "branch_1.xls"));
}

TEST_F(ConsolidateCliTest, FailedRunExitsOneAndKeepsAnExistingOut) {
    fs::copy_file(fs::path(SBX_TEST_DATA) / ".." / ".." / "examples" / "sample_report.xls", dir / "other.xls");
    { std::ofstream(outFile()) << "previous result"; }
    for (const std::string mode : {"function", "efficiency"}) {
        err.str("");
        EXPECT_EQ(run({"--mode", mode, "--out", outFile(), "--range", "收入明细!b4:e9", src(1),
                       (dir / "other.xls").string()}),
                  1);
        EXPECT_NE(err.str().find("other.xls"), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("was not written"), std::string::npos) << err.str();
        EXPECT_EQ(bytesOf(outFile()), "previous result");
    }
    EXPECT_FALSE(runFolderLeft());
}

// A summary cell that refuses its total would leave a summary that is not the total: the
// command line fails the run, names the cell, and writes nothing.
TEST_F(ConsolidateCliTest, TemplateWithALockedCellFailsAndNamesIt) {
    for (const std::string mode : {"function", "efficiency"}) {
        err.str("");
        EXPECT_EQ(run({"--mode", mode, "--out", outFile(), "--template", (kPool / "protected_layout.xls").string(),
                       "--range", "收入明细!b4:e9", src(1), src(2), src(3)}),
                  1);
        EXPECT_NE(err.str().find("protected_layout.xls"), std::string::npos) << err.str();
        EXPECT_NE(err.str().find(mode == "function" ? "c5" : "is locked"), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists(outFile()));
    }
}

TEST_F(ConsolidateCliTest, SourcesWithTheSameNameFromTwoFolders) {
    fs::create_directories(dir / "again");
    fs::copy_file(src(1), dir / "again" / "branch_1.xls");
    // The copy is the same report sent twice: the check stops the run unless that may pass.
    EXPECT_EQ(run({"--mode", "function", "--out", outFile(), "--range", "收入明细!b4:b4", src(1),
                   (dir / "again" / "branch_1.xls").string()}),
              1);
    ASSERT_EQ(run({"--mode", "function", "--out", outFile(), "--range", "收入明细!b4:b4", "--allow", "DUPLICATE",
                   src(1), (dir / "again" / "branch_1.xls").string()}),
              0)
        << err.str();
    auto host = makeNativeHost();
    const double one = host->open(src(1)).worksheet("收入明细").cell(4, 2).numberValue();
    EXPECT_NEAR(host->open(outFile()).worksheet("收入明细").cell(4, 2).numberValue(), 2 * one, 1e-9);
}

}  // namespace
}  // namespace sbx

namespace sbx {
namespace {

// A template whose formulas the engine cannot all compute: the run says which ones the
// spreadsheet application will recompute, in both modes, and still finishes.
TEST_F(ConsolidateCliTest, FormulasLeftToTheApplicationAreNamedInTheReport) {
    const fs::path report = fs::path(SBX_TEST_DATA) / "formulas" / "report_template.xls";
    fs::copy_file(report, dir / "a.xls");
    fs::copy_file(report, dir / "b.xls");
    for (const std::string mode : {"function", "efficiency"}) {
        fs::remove(outFile());
        err.str("");
        ASSERT_EQ(run({"--mode", mode, "--out", outFile(), "--range", "明细!b2:d6", "--allow", "DUPLICATE",
                       (dir / "a.xls").string(), (dir / "b.xls").string()}),
                  0)
            << err.str();
        const std::string said = err.str();
        EXPECT_NE(said.find("明细!B10"), std::string::npos) << mode << ": " << said;
        EXPECT_NE(said.find("will be recomputed by the spreadsheet application"), std::string::npos) << mode << ": " << said;
    }
}

}  // namespace
}  // namespace sbx

namespace sbx {
namespace {

// Arguments that would count a report twice, overwrite an input, or read something else than
// meant are refused before anything is read or written: exit 2, naming what is wrong.
TEST_F(ConsolidateCliTest, RefusesWhatWouldCountTwiceOverwriteAnInputOrMisreadARange) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs, and symbolic links need a privilege there";
#else
    fs::create_symlink(src(2), dir / "link.xls");
    fs::create_hard_link(src(3), dir / "hard.xls");
    ASSERT_EQ(mkfifo((dir / "pipe.xls").c_str(), 0600), 0);
    const std::string dotted = (dir / "." / "branch_1.xls").string();
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const std::string range = "收入明细!b4:e9";
    const std::vector<Case> cases = {
        {{"--range", range, src(1), src(1)}, "named twice"},
        {{"--range", range, src(1), dotted}, "named twice"},
        {{"--range", range, src(2), (dir / "link.xls").string()}, "named twice"},
        {{"--range", range, "--allow", "DUPLICATE", src(3), (dir / "hard.xls").string()}, "named twice"},
        {{"--range", range, src(1), (dir / "hard_out.xls").string()}, "--out names the source"},
        {{"--range", range, "--template", outFile(), src(1)}, "--out names the template"},
        {{"--range", range, src(1), outFile()}, "--out names the source"},
        {{"--range", range, src(1), (dir / "pipe.xls").string()}, "named pipe"},
        {{"--range", range, src(1), dir.string()}, "a folder"},
        {{"--range", "收入明细!b 3:e9", src(1)}, "\"b 3\""},
        {{"--range", "收入明细!b+3:e9", src(1)}, "\"b+3\""},
        {{"--range", "收入明细!a1x:e9", src(1)}, "\"a1x\""},
        {{"--range", "收入明细!e9:b4", src(1)}, "runs backwards"},
    };
    { std::ofstream(outFile()) << "previous result"; }
    fs::create_hard_link(outFile(), dir / "hard_out.xls");
    const std::string before = bytesOf(src(1)) + bytesOf(src(2));
    for (const auto& c : cases) {
        err.str("");
        std::vector<std::string> args{"--mode", "function", "--out", outFile()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(run(args), 2) << c.named;
        EXPECT_NE(err.str().find(c.named), std::string::npos) << err.str();
    }
    EXPECT_EQ(bytesOf(outFile()), "previous result");
    EXPECT_EQ(bytesOf(src(1)) + bytesOf(src(2)), before);
#endif
}

// What cannot be read or written as asked fails the run: exit 1, the file named, no OUT.
TEST_F(ConsolidateCliTest, SourcesOrTemplatesThatCannotDoTheirPartFailTheRun) {
    fs::copy_file(fs::path(SBX_TEST_DATA) / "fixtures" / "biff5_chinese_cp936.xls", dir / "excel95.xls");
    { std::ofstream(dir / "broken.xls") << std::string(600, 'x'); }
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const std::vector<Case> cases = {
        // A worksheet missing from a source fails whichever worksheet it is.
        {{"--range", "收入明细!b4:e9", "--range", "没有这页!b4:e9", src(1), src(2)}, "没有这页"},
        {{"--range", "没有这页!b4:e9", "--range", "收入明细!b4:e9", src(1), src(2)}, "没有这页"},
        {{"--range", "收入明细!b4:e9", src(1), (dir / "broken.xls").string()}, "broken.xls"},
        {{"--range", "收入明细!b4:e9", "--template", (dir / "excel95.xls").string(), src(1)}, "excel95.xls"},
    };
    for (const std::string mode : {"function", "efficiency"}) {
        for (const auto& c : cases) {
            err.str("");
            std::vector<std::string> args{"--mode", mode, "--out", outFile()};
            args.insert(args.end(), c.args.begin(), c.args.end());
            EXPECT_EQ(run(args), 1) << mode << " " << c.named << ": " << err.str();
            EXPECT_NE(err.str().find(c.named), std::string::npos) << err.str();
            EXPECT_FALSE(fs::exists(outFile())) << mode << " " << c.named;
        }
    }
}

// Names that look like options after "--", backslashes in names, and a read-only template:
// the run goes through and its summary can be written again.
TEST_F(ConsolidateCliTest, OddNamesAndAReadOnlyTemplate) {
#ifdef _WIN32
    GTEST_SKIP() << "a backslash in a file name is a folder separator on Windows";
#endif
    fs::copy_file(src(1), dir / "--a\\b.xls");
    fs::copy_file(src(3), dir / "template.xls");
    fs::permissions(dir / "template.xls", fs::perms::owner_read | fs::perms::group_read);
    for (const std::string mode : {"function", "efficiency"}) {
        fs::remove(outFile());
        err.str("");
        ASSERT_EQ(run({"--mode", mode, "--out", outFile(), "--template", (dir / "template.xls").string(), "--range",
                       "收入明细!b4:b4", "--", (dir / "--a\\b.xls").string(), src(2)}),
                  0)
            << err.str();
        EXPECT_NE(fs::status(outFile()).permissions() & fs::perms::owner_write, fs::perms::none);
        auto host = makeNativeHost();
        const double b4 = host->open(src(1)).worksheet("收入明细").cell(4, 2).numberValue() +
                          host->open(src(2)).worksheet("收入明细").cell(4, 2).numberValue();
        EXPECT_NEAR(host->open(outFile()).worksheet("收入明细").cell(4, 2).numberValue(), b4, 1e-9);
    }
}

// Saving goes through a temporary file of a short name of its own: an OUT name near the limit
// of 255 bytes is saved with its record; one whose record's name would pass the limit, or that
// passes it itself, is refused before the run, saying so.
TEST_F(ConsolidateCliTest, OutNamesNearTheLimitAreSavedOrRefusedAtOnce) {
    struct Case {
        size_t bytes;
        int exit;
        std::string says;
    };
    const Case cases[] = {{240, 0, "consolidated 2 files"},
                          {246, 0, "consolidated 2 files"},
                          {250, 2, "the run record cannot be written beside OUT"},
                          {256, 2, "the name of --out"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const fs::path longOut = dir / (std::string(c.bytes - 4, 'x') + ".xls");
        out.str("");
        err.str("");
        EXPECT_EQ(run({"--mode", "efficiency", "--out", longOut.string(), "--range", "收入明细!b4:e9", src(1), src(2)}),
                  c.exit)
            << err.str();
        EXPECT_NE((out.str() + err.str()).find(c.says), std::string::npos) << out.str() << err.str();
        std::error_code ec;
        EXPECT_EQ(fs::exists(longOut, ec), c.exit == 0);
        EXPECT_EQ(fs::exists(fs::path(longOut.string() + ".run.json"), ec), c.exit == 0);
        for (const auto& e : fs::directory_iterator(dir)) EXPECT_FALSE(e.path().extension() == ".tmp") << e.path();
        fs::remove(longOut, ec);
        fs::remove(fs::path(longOut.string() + ".run.json"), ec);
    }
}

// A source whose name is not UTF-8 text (GBK bytes, as shared drives hold them) leaves a record
// that is still UTF-8 JSON and names it exactly: the viewer reads back the name's bytes.
TEST_F(ConsolidateCliTest, TheRecordNamesASourceOfGbkBytesExactly) {
    const fs::path gbk = dir / "\xB7\xD6\xB9\xAB\xCB\xBE 100%.xls";  // 分公司 in GBK
    fs::copy_file(src(1), gbk);
    ASSERT_EQ(run({"--mode", "efficiency", "--out", outFile(), "--range", "收入明细!b4:e9", gbk.string(), src(2)}), 0)
        << err.str();
    const std::string record = outFile() + ".run.json";
    EXPECT_TRUE(isUtf8Text(bytesOf(record)));
    const auto found = contributionsFromRecord(outFile(), "收入明细", {4, 2});
    ASSERT_TRUE(found);
    ASSERT_EQ(found->from.size(), 2u);
    EXPECT_EQ(found->from[0].file, gbk.string());
    EXPECT_EQ(found->from[1].file, src(2));
}

// What killed runs left beside OUT is gone after the next run: temporary files of processes
// that no longer run, and the run folders of earlier versions. A live process's file stays.
TEST_F(ConsolidateCliTest, TheNextRunRemovesWhatKilledRunsLeft) {
#ifdef _WIN32
    GTEST_SKIP() << "the standard library cannot set a folder's time on Windows";
#endif
    const fs::path dead = dir / ".sbx-999999999-1.tmp";
    const fs::path deadOfAnEarlierVersion = dir / "total.xls.sbx-999999998-1.tmp";
    const fs::path live = dir / ("total.xls.sbx-" + std::to_string(getpid()) + "-2.tmp");
    const fs::path oldFolder = dir / ".shubuxing-run-123";
    for (const auto& file : {dead, deadOfAnEarlierVersion, live}) std::ofstream(file) << "partial";
    fs::create_directories(oldFolder / "hz");
    fs::copy_file(src(1), oldFolder / "hz" / "total.xls");
    fs::last_write_time(oldFolder, fs::file_time_type::clock::now() - std::chrono::hours(2));
    ASSERT_EQ(run({"--mode", "efficiency", "--out", outFile(), "--range", "收入明细!b4:e9", src(1), src(2)}), 0)
        << err.str();
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(deadOfAnEarlierVersion));
    EXPECT_FALSE(fs::exists(oldFolder));
    EXPECT_TRUE(fs::exists(live));
}

}  // namespace
}  // namespace sbx
