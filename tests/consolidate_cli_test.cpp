// shubuxing-cli consolidate: exit statuses, OUT written only for a finished run, sources and
// an existing OUT left alone otherwise, the run folder cleaned up.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/consolidate_command.h"
#include "spreadsheet/spreadsheet_host.h"
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
    ASSERT_EQ(run({"--mode", "function", "--out", outFile(), "--range", "收入明细!b4:b4", src(1),
                   (dir / "again" / "branch_1.xls").string()}),
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
        ASSERT_EQ(run({"--mode", mode, "--out", outFile(), "--range", "明细!b2:d6", (dir / "a.xls").string(),
                       (dir / "b.xls").string()}),
                  0)
            << err.str();
        const std::string said = err.str();
        EXPECT_NE(said.find("明细!B10"), std::string::npos) << mode << ": " << said;
        EXPECT_NE(said.find("will be recomputed by the spreadsheet application"), std::string::npos) << mode << ": " << said;
    }
}

}  // namespace
}  // namespace sbx
