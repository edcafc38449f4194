// Limits that must hold, in both modes on the native engine: a pool of 10,000 files, a
// worksheet down to row 65,536, the whole sheet a1:iv65536 as the range over sparse sheets
// (memory follows the cells, not the area), and file and worksheet names with Chinese
// characters, blanks, commas, brackets and "!" (through Consolidate's references too).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "cli/consolidate_command.h"
#include "spreadsheet/consolidate_by_position.h"
#include "tests/reliability_run_fixture.h"
#include "tests/support/shared_fixtures.h"

namespace sbx::test {
namespace {

// The process's peak resident memory since the last resetPeakMemory(), in MiB (Linux: the
// VmHWM line of /proc/self/status; -1 where there is none).
long peakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
    }
    return -1;
}

// Starts a new peak at the present memory use. False where the system cannot.
bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

long residentMemoryMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6)) / 1024;
    }
    return -1;
}

// Writes `values` (row, column -> number) into worksheet `sheet` of a copy of `from`.
void writeCopy(const fs::path& from, const fs::path& to, const std::string& sheet,
               const std::map<std::pair<int, int>, double>& values) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);  // the shared fixtures are read-only
    auto host = makeNativeHost();
    Workbook& book = host->open(to);
    for (const auto& [at, v] : values) book.worksheet(sheet).setCell(at.first, at.second, CellValue::number(v));
    host->close(book, true);
}

double numberAt(const fs::path& file, const std::string& sheet, int row, int column) {
    auto host = makeNativeHost();
    const CellValue v = host->open(file).worksheet(sheet).cell(row, column);
    EXPECT_EQ(v.kind(), CellKind::Number) << sheet << " " << row << "," << column << ": " << describe(v);
    return v.kind() == CellKind::Number ? v.numberValue() : 0.0;
}

class Limits : public ReliabilityRun {};

// 100 distinct workbooks, each linked 100 times: 10,000 files whose totals are known.
TEST_F(Limits, TenThousandFilePool) {
    const fs::path distinct = home / "distinct";
    fs::create_directories(distinct);
    double total = 0;
    for (int f = 0; f < 100; ++f) {
        writeCopy(kPoolFixture / "branch_1.xls", distinct / (std::to_string(f) + ".xls"), kIncome,
                  {{{4, 2}, f + 0.5}, {{9, 5}, 1.0}});
        total += 100 * (f + 0.5);
    }
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "pool_%05d.xls", i);
        fs::create_hard_link(distinct / (std::to_string(i % 100) + ".xls"), home / name);
        selected.emplace_back(name);
    }
    fs::copy_file(kPoolFixture / "branch_3.xls", summary());
    addRange(kIncome, "b4", "e9");

    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        const auto start = std::chrono::steady_clock::now();
        const RunSummary out = run(setup());
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_EQ(out.runList.size(), 10000u);
        EXPECT_EQ(job.runFileCount, 10000);
        EXPECT_EQ(status.label10, 10000);
        EXPECT_DOUBLE_EQ(numberAt(summary(), kIncome, 4, 2), total);
        EXPECT_DOUBLE_EQ(numberAt(summary(), kIncome, 9, 5), 10000.0);
        RecordProperty(modeName + "_seconds", std::to_string(seconds));
        std::cout << modeName << " mode over 10,000 files: " << seconds << " s\n";
    }
}

// Mac Excel's sheet that uses row 65,536: sources made from it with numbers down to the last
// row, the summary's texts in column a untouched.
TEST_F(Limits, WorksheetDownToRow65536) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const fs::path layout = fs::path(SBX_SHARED_FIXTURES) / "macexcel_65536_rows.xls";
    if (!fs::exists(layout)) GTEST_SKIP() << "shared fixture missing: " << layout;
    for (int f = 1; f <= 3; ++f) {
        const std::string name = "rows_" + std::to_string(f) + ".xls";
        writeCopy(layout, home / name, "Sheet1", {{{1, 2}, 1.0 * f}, {{32768, 2}, 10.0 * f}, {{65536, 2}, 100.0 * f}});
        selected.push_back(name);
    }
    addRange("Sheet1", "b1", "b65536");
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(layout, summary(), fs::copy_options::overwrite_existing);
        fs::permissions(summary(), fs::perms::owner_write, fs::perm_options::add);
        resetRun();
        const RunSummary out = run(setup());
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_DOUBLE_EQ(numberAt(summary(), "Sheet1", 1, 2), 6.0);
        EXPECT_DOUBLE_EQ(numberAt(summary(), "Sheet1", 32768, 2), 60.0);
        EXPECT_DOUBLE_EQ(numberAt(summary(), "Sheet1", 65536, 2), 600.0);
        auto host = makeNativeHost();
        const Worksheet& s = host->open(summary()).worksheet("Sheet1");
        EXPECT_EQ(s.cell(65535, 1), CellValue::text("HELLO"));
        EXPECT_EQ(s.cell(65536, 1), CellValue::text("WORLD"));
        EXPECT_TRUE(s.cell(65535, 2).isEmpty());
        EXPECT_EQ(s.lastValueCell(), (std::pair<int, int>{65536, 2}));
    }
}

// a1:iv65536 is 16.7 million cells; over sheets with a few dozen values the runs must stay
// within a few MiB (a cell-per-position table would take hundreds).
TEST_F(Limits, WholeSheetRangeOverSparseSheets) {
    useFixturePool();
    job = JobDefinition{};
    addRange(kIncome, "a1", "iv65536");
    const double b4 = numberAt(home / "branch_1.xls", kIncome, 4, 2) + numberAt(home / "branch_2.xls", kIncome, 4, 2) +
                      numberAt(home / "branch_3.xls", kIncome, 4, 2);
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        const bool measured = resetPeakMemory();
        const long memoryBefore = residentMemoryMiB();
        const auto start = std::chrono::steady_clock::now();
        const RunSummary out = run(setup());
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        if (measured) {
            EXPECT_LT(peakMemoryMiB() - memoryBefore, 64) << "peak memory grew with the area";
            std::cout << modeName << " mode over a1:iv65536: peak +" << peakMemoryMiB() - memoryBefore << " MiB\n";
        }
        EXPECT_LT(seconds, 20.0);
        EXPECT_EQ(out.report.cellsRead, 256LL * 65536 * static_cast<long long>(out.runList.size()));
        EXPECT_NEAR(numberAt(summary(), kIncome, 4, 2), b4, 1e-9);
        auto host = makeNativeHost();
        const auto last = host->open(summary()).worksheet(kIncome).lastValueCell();
        EXPECT_LE(last.first, 20);
        EXPECT_LE(last.second, 10);
    }
}

// File and worksheet names with Chinese characters, blanks, commas, brackets, "!" and a
// quote, through both modes and through the command-line tool.
class OddNames : public ReliabilityRun {
protected:
    const fs::path layout = fs::path(SBX_TEST_DATA) / "reliability" / "odd_names.xls";
    const std::vector<std::string> sheets{"收入 明细, 甲!乙", "（成本）【费用】 !"};
    const std::vector<std::string> files{"分公司 [一], 甲!.xls", "[三].xls", "b]]x, y!.xls", "丁's (4).xls"};
    std::map<std::pair<int, int>, double> expected;  // the first worksheet's b4:e9

    void SetUp() override {
        ReliabilityRun::SetUp();
        for (size_t f = 0; f < files.size(); ++f) {
            std::map<std::pair<int, int>, double> values;
            for (int r = 4; r <= 9; ++r) {
                for (int c = 2; c <= 5; ++c) values[{r, c}] = static_cast<double>(f + 1) * 1000 + r * 10 + c;
            }
            writeCopy(layout, home / utf8Path(files[f]), sheets[0], values);
            for (const auto& [at, v] : values) expected[at] += v;
            selected.push_back(files[f]);
        }
        for (const auto& sheet : sheets) addRange(sheet, "b4", "e9");
    }

    void expectTotals(const fs::path& file) {
        auto host = makeNativeHost();
        Workbook& book = host->open(file);
        for (int r = 4; r <= 9; ++r) {
            for (int c = 2; c <= 5; ++c) {
                EXPECT_DOUBLE_EQ(book.worksheet(sheets[0]).cell(r, c).numberValue(), (expected[{r, c}])) << r << c;
                // The second worksheet as xlwt wrote it, four times over.
                EXPECT_DOUBLE_EQ(book.worksheet(sheets[1]).cell(r, c).numberValue(), 4 * (200 + (r - 1) * 10 + c - 1 + 0.5))
                    << r << c;
            }
        }
    }
};

TEST_F(OddNames, BothModes) {
    const auto sources = checksumsIn(home);
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(layout, summary(), fs::copy_options::overwrite_existing);
        resetRun();
        const RunSummary out = run(setup());
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
        EXPECT_EQ(out.runList.size(), files.size());
        expectTotals(summary());
        EXPECT_EQ(checksumsIn(home), sources);
    }
}

TEST_F(OddNames, ConsolidateAndTheCommandLine) {
    // One source per file, straight to the engine's consolidate.
    fs::copy_file(layout, summary());
    {
        auto host = makeNativeHost();
        Workbook& book = host->open(summary());
        std::vector<SourceArea> sources;
        for (const auto& file : files) sources.push_back({paths().poolFile(file), sheets[0], CellArea{4, 2, 9, 5}});
        consolidateByPosition(*host, book.worksheet(sheets[0]), CellArea{4, 2, 9, 5}, sources);
        for (int r = 4; r <= 9; ++r) {
            for (int c = 2; c <= 5; ++c) EXPECT_DOUBLE_EQ(book.worksheet(sheets[0]).cell(r, c).numberValue(), (expected[{r, c}]));
        }
    }
    for (const std::string mode : {"efficiency", "function"}) {
        SCOPED_TRACE(mode);
        const fs::path out = home / "hz" / ("汇总 [" + mode + "], 表!.xls");
        std::vector<std::string> args{"--mode", mode, "--out", utf8String(out), "--template", utf8String(layout)};
        for (const auto& sheet : sheets) {
            args.push_back("--range");
            args.push_back(sheet + "!b4:e9");
        }
        for (const auto& file : files) args.push_back(utf8String(home / utf8Path(file)));
        std::ostringstream stdoutText, stderrText;
        ASSERT_EQ(cli::consolidateCommand(args, stdoutText, stderrText), 0) << stderrText.str();
        expectTotals(out);
    }
}

}  // namespace
}  // namespace sbx::test
