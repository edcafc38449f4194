// Both run modes end to end on the native engine: real .xls pools (made by LibreOffice, and
// generated here with the engine's own writer), totals checked against xlrd's sums and
// against the generator's numbers, sources byte for byte unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pool_runs.h"
#include "consolidate/run/run_messages.h"
#include "job/range_rules.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "workspace/pool.h"
#include "tests/support/consolidate_pool_fixture.h"
#include "tests/support/run_fakes.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;

const fs::path kPoolFixture = testing::kConsolidatePool;
using testing::expectedTotals;
const std::string kIncome = "收入明细";
const std::string kCost = "成本费用";

class NativeRunTest : public ::testing::Test {
protected:
    fs::path home;
    JobDefinition job;
    test::RecordingStatusView status;
    test::RecordingDialogs dialogs;
    test::RecordingPostRun postRun;
    SystemRunClock clock;
    std::vector<std::string> selected;

    void SetUp() override {
        home = fs::temp_directory_path() /
               ("sbx-consolidate-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home);
        fs::create_directories(home / "hz");
    }
    void TearDown() override { fs::remove_all(home); }

    WorkspacePaths paths() const { return WorkspacePaths(home); }

    RunSetup setup() {
        return RunSetup{job, selected, static_cast<int>(selected.size()), paths(), status, dialogs, postRun, clock};
    }

    void addRange(const std::string& sheet, const std::string& first, const std::string& last) {
        addJobRange(job, sheet, first, last);
    }

    void useFixturePool(const std::string& summaryFrom = "branch_3.xls") {
        for (int i = 1; i <= 3; ++i) {
            const std::string name = "branch_" + std::to_string(i) + ".xls";
            fs::copy_file(kPoolFixture / name, home / name);
            selected.push_back(name);
        }
        fs::copy_file(kPoolFixture / summaryFrom, paths().summaryWorkbook());
        addRange(kIncome, "b4", "e9");
        addRange(kCost, "b4", "e9");
    }

    // Skips the test while the engine cannot save (the writer not built in).
    void requireSaving() {
        auto host = makeNativeHost();
        Workbook& book = host->open(paths().summaryWorkbook());
        const CellValue old = book.worksheet(1).cell(1, 1);
        book.worksheet(1).setCell(1, 1, old);
        try {
            host->close(book, true);
        } catch (const WorkbookError& e) {
            if (e.kind() == WorkbookErrorKind::WriteUnsupported) GTEST_SKIP() << "saving is not available: " << e.what();
            throw;
        }
    }

    void expectFixtureTotals(const std::string& mode, const std::string& sheet, const std::string& skipCell = "") {
        const auto expected = expectedTotals(mode, sheet);
        ASSERT_EQ(expected.size(), 24u);
        auto host = makeNativeHost();
        Workbook& book = host->open(paths().summaryWorkbook());
        const Worksheet& s = book.worksheet(sheet);
        for (const auto& [cell, want] : expected) {
            if (cell == skipCell) continue;
            const int column = cell[0] - 'a' + 1;
            const int row = std::stoi(cell.substr(1));
            const CellValue got = s.cell(row, column);
            if (want == 0) {
                EXPECT_TRUE(got.isEmpty()) << mode << " " << sheet << "!" << cell << " " << describe(got);
            } else {
                ASSERT_EQ(got.kind(), CellKind::Number) << sheet << "!" << cell << " " << describe(got);
                EXPECT_NEAR(got.numberValue(), want, 1e-6) << mode << " " << sheet << "!" << cell;
            }
        }
    }

    // Everything outside the ranges is as the template had it; the total row holds the new
    // totals unless the run left it to the spreadsheet application.
    void expectOutsideUnchanged(const fs::path& templateFile, const std::vector<StaleFormula>& leftToApplication = {}) {
        auto host = makeNativeHost();
        Workbook& made = host->open(paths().summaryWorkbook());
        Workbook& original = host->open(templateFile);
        for (const std::string& sheet : {kIncome, kCost}) {
            for (int r = 1; r <= 12; ++r) {
                for (int c = 1; c <= 6; ++c) {
                    if (r >= 4 && r <= 9 && c >= 2 && c <= 5) continue;
                    if (r == 10 && c >= 2 && c <= 5) {
                        const bool left = std::any_of(leftToApplication.begin(), leftToApplication.end(), [&](const auto& f) {
                            return f.sheet == sheet && f.row == r && f.column == c;
                        });
                        if (left) continue;
                        // The template's total row, =SUM(B4:B9) and so on, holds the new totals.
                        double total = 0.0;
                        for (int k = 4; k <= 9; ++k) total += made.worksheet(sheet).cell(k, c).numberValue();
                        EXPECT_NEAR(made.worksheet(sheet).cell(r, c).numberValue(), total, 1e-6) << sheet << r << c;
                        continue;
                    }
                    EXPECT_EQ(made.worksheet(sheet).cell(r, c), original.worksheet(sheet).cell(r, c)) << sheet << r << c;
                }
            }
        }
    }
};

TEST_F(NativeRunTest, FunctionModeOverTheLibreOfficePool) {
    useFixturePool();
    requireSaving();
    const std::string before = bytesOf(home / "branch_1.xls");
    const RunSummary out = runFunctionMode(setup());
    ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    expectFixtureTotals("function", kIncome);
    expectFixtureTotals("function", kCost);
    expectOutsideUnchanged(kPoolFixture / "branch_3.xls");
    EXPECT_EQ(bytesOf(home / "branch_1.xls"), before);
    EXPECT_EQ(out.runList, (std::vector<std::string>{"branch_1.xls", "branch_2.xls", "branch_3.xls"}));
}

// A roster in the working folder: the run says who has reported and who has not, the
// record keeps it; the totals are those of the pool as before.
TEST_F(NativeRunTest, ARosterInTheWorkingFolderSaysWhoHasReported) {
    useFixturePool();
    requireSaving();
    testing::writeFile(home / utf8Path("应报名单.txt"), "branch_1\nbranch_2\nbranch_4\n");
    const RunSummary out = runEfficiencyMode(setup());
    ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"已报 2 / 应报 3\r未报：branch_4\r不在名单中：branch_3.xls"}));
    expectFixtureTotals("efficiency", kIncome);
    const std::string record = bytesOf(paths().summaryWorkbook().string() + ".run.json");
    EXPECT_NE(record.find(R"("roster": {"expected": 3, "reported": ["branch_1", "branch_2"], "missing": ["branch_4"])"),
              std::string::npos);
}

TEST_F(NativeRunTest, EfficiencyModeOverTheLibreOfficePool) {
    useFixturePool();
    requireSaving();
    const std::string before = bytesOf(home / "branch_2.xls");
    const RunSummary out = runEfficiencyMode(setup());
    ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis << (dialogs.messages.empty() ? "" : dialogs.messages[0]);
    expectFixtureTotals("efficiency", kIncome);
    expectFixtureTotals("efficiency", kCost);
    expectOutsideUnchanged(kPoolFixture / "branch_3.xls");
    EXPECT_EQ(bytesOf(home / "branch_2.xls"), before);
}

TEST_F(NativeRunTest, ProtectedSummaryCell) {
    useFixturePool("protected_layout.xls");
    const CellValue locked = makeNativeHost()->open(paths().summaryWorkbook()).worksheet(kIncome).cell(5, 3);
    ASSERT_FALSE(locked.isEmpty());

    const RunSummary fn = runFunctionMode(setup());
    if (fn.state != RunState::Finished && fn.diagnosis.find("saving is not available") != std::string::npos) {
        GTEST_SKIP() << fn.diagnosis;
    }
    ASSERT_EQ(fn.state, RunState::Finished) << fn.diagnosis;
    EXPECT_EQ(makeNativeHost()->open(paths().summaryWorkbook()).worksheet(kIncome).cell(5, 3), locked);
    expectFixtureTotals("function", kIncome, "c5");
    expectFixtureTotals("function", kCost);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "汇总已完成，但以下内容未能汇入：\r拒绝写入的汇总单元格 1 个：收入明细!c5 仍是模板中的数值");

    dialogs.messages.clear();
    job.runState = RunState::IdleOrRunning;
    const RunSummary eff = runEfficiencyMode(setup());
    EXPECT_EQ(eff.state, RunState::Failed);
    EXPECT_TRUE(job.efficiencyBlocked);
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{run_text::efficiencyFailureMessage(
                                    paths().poolPrefix() + "branch_3.xls")}));
}

TEST_F(NativeRunTest, WorkbookOfAnotherLayoutEndsTheRunBeforeTheFirstWrite) {
    useFixturePool();
    fs::copy_file(fs::path(SBX_TEST_DATA) / ".." / ".." / "examples" / "sample_report.xls", home / "branch_0.xls");
    selected.push_back("branch_0.xls");
    const std::string summaryBefore = bytesOf(paths().summaryWorkbook());
    const RunSummary fn = runFunctionMode(setup());
    EXPECT_EQ(fn.state, RunState::Failed);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0], run_text::functionFailureMessage(paths().poolPrefix() + "branch_0.xls"));
    EXPECT_EQ(dialogs.messages[1].rfind("工作簿中没有工作表“", 0), 0u) << dialogs.messages[1];
    EXPECT_TRUE(dialogs.messages[1].ends_with("”：\r" + paths().poolPrefix() + "branch_0.xls"))
        << dialogs.messages[1];
    EXPECT_EQ(bytesOf(paths().summaryWorkbook()), summaryBefore);

    dialogs.messages.clear();
    job.runState = RunState::IdleOrRunning;
    const RunSummary eff = runEfficiencyMode(setup());
    EXPECT_EQ(eff.state, RunState::IdleOrRunning);
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{run_text::worksheetMismatchMessage(paths().poolPrefix() + "branch_0.xls")}));
    EXPECT_EQ(bytesOf(paths().summaryWorkbook()), summaryBefore);
}

// A range entered for an .xlsx summary meets an .xls one (taken in since): refused in both modes,
// named with the limit, before anything is written.
TEST_F(NativeRunTest, AnXlsSummaryRefusesARangeBeyondItsLastCell) {
    useFixturePool();
    job.rangeTable.back().area = {4, 2, 70000, 27};
    const std::string summaryBefore = bytesOf(paths().summaryWorkbook());
    const std::string refusal = rangeBeyondXlsMessage(kCost, {4, 2, 70000, 27});
    for (const auto runMode : {&runFunctionMode, &runEfficiencyMode}) {
        job.runState = RunState::IdleOrRunning;
        dialogs.messages.clear();
        const RunSummary run = runMode(setup());
        EXPECT_EQ(run.state, RunState::Failed);
        EXPECT_EQ(dialogs.messages, std::vector<std::string>{refusal});
        EXPECT_EQ(bytesOf(paths().summaryWorkbook()), summaryBefore);
    }
}

// A pool of 12 generated with the engine's writer from one LibreOffice layout: numbers that
// the test knows, so the totals are checked against sums computed here.
TEST_F(NativeRunTest, GeneratedPoolBothModes) {
    fs::copy_file(kPoolFixture / "branch_1.xls", paths().summaryWorkbook());
    requireSaving();
    std::map<std::pair<int, int>, double> expected;  // 收入明细 b4:e9
    for (int f = 1; f <= 12; ++f) {
        const std::string name = "gen_" + std::to_string(f) + ".xls";
        fs::copy_file(kPoolFixture / "branch_1.xls", home / name);
        auto host = makeNativeHost();
        Workbook& book = host->open(home / name);
        Worksheet& s = book.worksheet(kIncome);
        for (int r = 4; r <= 9; ++r) {
            for (int c = 2; c <= 5; ++c) {
                const int k = (f * 7 + r * 3 + c) % 9;
                CellValue v;
                if (k == 0) v = CellValue();                                 // blank
                else if (k == 1) v = CellValue::text("小计");               // a label
                else v = CellValue::number(f * 1.25 + r * 10 + c * 0.5 - 3); // a number
                s.setCell(r, c, v);
                if (v.kind() == CellKind::Number) expected[{r, c}] += v.numberValue();
            }
        }
        host->close(book, true);
        selected.push_back(name);
    }
    addRange(kIncome, "b4", "e9");
    for (auto run : {&runFunctionMode, &runEfficiencyMode}) {
        fs::copy_file(kPoolFixture / "branch_1.xls", paths().summaryWorkbook(), fs::copy_options::overwrite_existing);
        const RunSummary out = (*run)(setup());
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        auto host = makeNativeHost();
        const Worksheet& s = host->open(paths().summaryWorkbook()).worksheet(kIncome);
        for (int r = 4; r <= 9; ++r) {
            for (int c = 2; c <= 5; ++c) {
                const double want = expected[{r, c}];
                const CellValue got = s.cell(r, c);
                if (want == 0) {
                    EXPECT_TRUE(got.isEmpty() || got == CellValue::text("")) << describe(got);
                } else {
                    EXPECT_NEAR(got.numberValue(), want, 1e-9) << r << "," << c << " " << describe(got);
                }
            }
        }
        EXPECT_EQ(out.runList.size(), 12u);
    }
}

// A pool that mixes .xls and .xlsx sources, added into a template of either format taken
// as start-up and intake take it: the summary keeps the template's format, only one summary
// is left, and the totals are those openpyxl and xlrd read from the sources.
TEST_F(NativeRunTest, MixedPoolIntoATemplateOfEitherFormat) {
    const fs::path mixed = fs::path(SBX_TEST_DATA) / "fixtures" / "mixed_pool";
    std::map<std::string, double> expected;  // "sheet!cell"
    std::ifstream tsv(mixed / "expected_totals.tsv");
    for (std::string line; std::getline(tsv, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream fields(line);
        std::string sheet, cell, total;
        std::getline(fields, sheet, '\t');
        std::getline(fields, cell, '\t');
        std::getline(fields, total, '\t');
        expected[sheet + "!" + cell] = total.empty() ? 0.0 : std::stod(total);
    }
    ASSERT_EQ(expected.size(), 48u);
    const std::map<std::string, fs::path> pool = {{"branch_1.xls", kPoolFixture / "branch_1.xls"},
                                                  {"branch_2.xlsx", mixed / "branch_2.xlsx"},
                                                  {"branch_3.xlsx", mixed / "branch_3.xlsx"}};
    const struct {
        const char* templateName;
        const char* summary;
        const char* otherSummary;
    } templates[] = {{"branch_3.xlsx", "total.xlsx", "total.xls"}, {"branch_1.xls", "total.xls", "total.xlsx"}};
    addRange(kIncome, "b4", "e9");
    addRange(kCost, "b4", "e9");
    for (const auto& t : templates) {
        for (const Mode mode : {Mode::Function, Mode::Efficiency}) {
            const std::string label = std::string(t.templateName) + (mode == Mode::Function ? " function" : " efficiency");
            fs::remove_all(home);
            fs::create_directories(home / "hz");
            selected.clear();
            for (const auto& [name, from] : pool) {
                fs::copy_file(from, home / name);
                selected.push_back(name);
            }
            // The summary of the other format, left by an earlier job, goes once the new one is there.
            fs::copy_file(kPoolFixture / "branch_2.xls", home / "hz" / t.otherSummary);
            const SummaryReplacement replaced = replaceSummaryWorkbook(paths(), home / t.templateName);
            ASSERT_FALSE(replaced.copyError) << label;
            ASSERT_EQ(paths().summaryWorkbook(), home / "hz" / t.summary) << label;
            const std::string sourcesBefore = bytesOf(home / "branch_1.xls") + bytesOf(home / "branch_2.xlsx");
            job.runState = RunState::IdleOrRunning;
            dialogs.messages.clear();

            const RunSummary out = runFromPool(setup(), mode);
            ASSERT_EQ(out.state, RunState::Finished) << label << ": " << out.diagnosis;
            // At most the note of the formulas left to the spreadsheet application.
            for (const std::string& message : dialogs.messages) {
                EXPECT_NE(message.find("将由电子表格程序打开时重新计算的公式"), std::string::npos) << label << ": " << message;
            }
            EXPECT_EQ(out.runList, (std::vector<std::string>{"branch_1.xls", "branch_2.xlsx", "branch_3.xlsx"})) << label;
            EXPECT_FALSE(fs::exists(home / "hz" / t.otherSummary)) << label;
            EXPECT_EQ(bytesOf(home / "branch_1.xls") + bytesOf(home / "branch_2.xlsx"), sourcesBefore) << label;
            auto host = makeNativeHost();
            Workbook& book = host->open(home / "hz" / t.summary);
            for (const auto& [where, want] : expected) {
                const std::string sheet = where.substr(0, where.find('!'));
                const std::string cell = where.substr(where.find('!') + 1);
                const CellValue got = book.worksheet(sheet).cell(std::stoi(cell.substr(1)), cell[0] - 'a' + 1);
                if (want == 0) {
                    EXPECT_TRUE(got.isEmpty()) << label << " " << where << " " << describe(got);
                } else {
                    ASSERT_EQ(got.kind(), CellKind::Number) << label << " " << where << " " << describe(got);
                    EXPECT_NEAR(got.numberValue(), want, 1e-6) << label << " " << where;
                }
            }
            host->quit();
            expectOutsideUnchanged(home / t.templateName, out.report.staleFormulas);
        }
    }
}

}  // namespace
}  // namespace sbx
