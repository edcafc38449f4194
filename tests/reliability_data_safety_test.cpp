// The sources are never changed: both modes end to end over a generated pool of real .xls
// files (the engine's writer, from a LibreOffice layout), with the SHA-256 of every file in
// the pool folder taken before and after, for runs that finish and for runs that fail, and
// for the command-line tool.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/consolidate_command.h"
#include "spreadsheet/utf8_path.h"
#include "tests/reliability_run_fixture.h"

namespace sbx::test {
namespace {

class DataSafety : public ReliabilityRun {
protected:
    std::map<std::pair<int, int>, double> expected;  // 收入明细 b4:e9 over the selected files

    // `count` workbooks with numbers, texts and blanks of their own in 收入明细 b4:e9, and
    // 成本费用 as LibreOffice wrote it.
    void generatePool(int count) {
        fs::copy_file(kPoolFixture / "branch_1.xls", summary());
        for (int f = 1; f <= count; ++f) {
            const std::string name = "分公司 " + std::to_string(f) + ".xls";
            fs::copy_file(kPoolFixture / "branch_1.xls", home / utf8Path(name));
            auto host = makeNativeHost();
            Workbook& book = host->open(home / utf8Path(name));
            Worksheet& sheet = book.worksheet(kIncome);
            for (int r = 4; r <= 9; ++r) {
                for (int c = 2; c <= 5; ++c) {
                    const int k = (f * 5 + r * 3 + c) % 7;
                    const CellValue v = k == 0   ? CellValue()
                                        : k == 1 ? CellValue::text("合计")
                                                 : CellValue::number(f * 100.5 + r * 3 - c * 0.25);
                    sheet.setCell(r, c, v);
                    if (v.kind() == CellKind::Number) expected[{r, c}] += v.numberValue();
                }
            }
            host->close(book, true);
            selected.push_back(name);
        }
        // Files that are in the pool but take no part: not selected, not a workbook at all.
        fs::copy_file(kPoolFixture / "branch_2.xls", home / "not selected.xls");
        std::ofstream(home / "notes.txt") << "汇表池说明\n";
        addRange(kIncome, "b4", "e9");
        addRange(kCost, "b4", "e9");
    }

    void expectIncomeTotals() {
        auto host = makeNativeHost();
        const Worksheet& s = host->open(summary()).worksheet(kIncome);
        for (int r = 4; r <= 9; ++r) {
            for (int c = 2; c <= 5; ++c) {
                const CellValue got = s.cell(r, c);
                if (expected[{r, c}] == 0) continue;
                ASSERT_EQ(got.kind(), CellKind::Number) << r << "," << c << " " << describe(got);
                EXPECT_NEAR(got.numberValue(), (expected[{r, c}]), 1e-9) << r << "," << c;
            }
        }
    }
};

TEST_F(DataSafety, BothModesLeaveEverySourceByteIdentical) {
    generatePool(24);
    const auto before = checksumsIn(home);
    ASSERT_EQ(before.size(), 26u);
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_1.xls", summary(), fs::copy_options::overwrite_existing);
        const std::string summaryBefore = sha256Of(summary());
        resetRun();
        const RunSummary out = run(setup());
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_EQ(out.runList.size(), 24u);
        EXPECT_EQ(checksumsIn(home), before);
        EXPECT_NE(sha256Of(summary()), summaryBefore);  // the summary, and only it, changed
        expectIncomeTotals();
    }
}

// A run that fails part-way (a damaged workbook among the selected ones) changes no source
// either, and leaves the summary as it was.
TEST_F(DataSafety, FailedRunsLeaveEverySourceByteIdentical) {
    generatePool(6);
    {
        std::string damaged = bytesOf(home / utf8Path("分公司 3.xls"));
        damaged.resize(damaged.size() / 3);
        std::ofstream(home / utf8Path("分公司 3.xls"), std::ios::binary | std::ios::trunc) << damaged;
    }
    const auto before = checksumsIn(home);
    const std::string summaryBefore = sha256Of(summary());
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        resetRun();
        const RunSummary out = run(setup());
        EXPECT_EQ(out.state, RunState::Failed);
        ASSERT_EQ(dialogs.messages.size(), 2u);
        // The failure message, then what is wrong with the file.
        EXPECT_TRUE(dialogs.messages[1].ends_with("：\r" + paths().poolPrefix() + "分公司 3.xls"))
            << dialogs.messages[1];
        EXPECT_NE(out.diagnosis.find("分公司 3.xls"), std::string::npos) << out.diagnosis;
        EXPECT_EQ(checksumsIn(home), before);
        EXPECT_EQ(sha256Of(summary()), summaryBefore);
    }
}

// Hostile workbooks (the fuzz regression inputs) among the selected files: each run stops
// with a message naming the file (a failure with a second one saying what is wrong with it),
// and nothing on disk changes.
TEST_F(DataSafety, HostileWorkbookInThePoolStopsTheRunAndChangesNothing) {
    generatePool(2);
    const fs::path hostile = fs::path(SBX_TEST_DATA) / "fuzz" / "workbook_reader";
    size_t tried = 0;
    for (const auto& entry : fs::directory_iterator(hostile)) {
        const std::string name = "zz " + entry.path().filename().string();
        fs::copy_file(entry.path(), home / utf8Path(name), fs::copy_options::overwrite_existing);
        selected.push_back(name);
        const auto before = checksumsIn(home);
        const std::string summaryBefore = sha256Of(summary());
        for (const auto& [modeName, run] : kBothModes) {
            SCOPED_TRACE(modeName + " with " + name);
            resetRun();
            const RunSummary out = run(setup());
            EXPECT_NE(out.state, RunState::Finished);
            ASSERT_EQ(dialogs.messages.size(), out.state == RunState::Failed ? 2u : 1u);
            for (const auto& message : dialogs.messages) {
                EXPECT_NE(message.find(paths().poolPrefix() + name), std::string::npos) << message;
            }
            EXPECT_EQ(checksumsIn(home), before);
            EXPECT_EQ(sha256Of(summary()), summaryBefore);
        }
        fs::remove(home / utf8Path(name));
        selected.pop_back();
        ++tried;
    }
    EXPECT_GE(tried, 5u);
}

// The command-line tool: sources untouched, OUT written only when the run finished.
TEST_F(DataSafety, CommandLineToolLeavesEverySourceByteIdentical) {
    generatePool(5);
    const auto before = checksumsIn(home);
    for (const std::string mode : {"efficiency", "function"}) {
        SCOPED_TRACE(mode);
        const fs::path out = home / "hz" / utf8Path(mode + " 汇总.xls");
        // The generated reports hold labels among their amounts: the check lets them pass.
        std::vector<std::string> args{"--mode", mode, "--out", utf8String(out), "--range", kIncome + "!b4:e9",
                                      "--allow", "NOT_A_NUMBER"};
        for (const auto& name : selected) args.push_back(utf8String(home / utf8Path(name)));
        std::ostringstream stdoutText, stderrText;
        ASSERT_EQ(cli::consolidateCommand(args, stdoutText, stderrText), 0) << stderrText.str();
        EXPECT_EQ(checksumsIn(home), before);
        auto host = makeNativeHost();
        const Worksheet& s = host->open(out).worksheet(kIncome);
        EXPECT_NEAR(s.cell(4, 3).numberValue(), (expected[{4, 3}]), 1e-9);

        // A failing run (a damaged source) writes no OUT.
        const fs::path failed = home / "hz" / (mode + " failed.xls");
        args[3] = utf8String(failed);
        args.push_back((home / "hz" / "damaged.xls").string());
        std::ofstream(home / "hz" / "damaged.xls", std::ios::binary) << bytesOf(home / utf8Path(selected[0])).substr(0, 3000);
        EXPECT_EQ(cli::consolidateCommand(args, stdoutText, stderrText), 1);
        EXPECT_FALSE(fs::exists(failed));
        EXPECT_EQ(checksumsIn(home), before);
    }
    // OUT that is a source under another name (a hard link) is refused before anything runs.
    const fs::path alias = home / "hz" / "alias.xls";
    fs::create_hard_link(home / utf8Path(selected[1]), alias);
    std::vector<std::string> args{"--mode", "function", "--out", utf8String(alias), "--range", kIncome + "!b4:e9"};
    for (const auto& name : selected) args.push_back(utf8String(home / utf8Path(name)));
    std::ostringstream stdoutText, stderrText;
    EXPECT_EQ(cli::consolidateCommand(args, stdoutText, stderrText), 2);
    EXPECT_NE(stderrText.str().find("sources are never overwritten"), std::string::npos) << stderrText.str();
    EXPECT_EQ(checksumsIn(home), before);
}

}  // namespace
}  // namespace sbx::test
