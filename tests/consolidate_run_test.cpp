// Both run modes on the in-memory host: totals against sums computed here from the
// generator's own numbers, the texts and order of messages and questions, the status panel,
// and the run state after finished, stopped and failed runs.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "consolidate/check/check_texts.h"
#include "consolidate/run/run_messages.h"
#include "consolidate/run/written_cells.h"
#include "spreadsheet/utf8_path.h"
#include "tests/support/memory_host.h"
#include "tests/support/pool_runs.h"
#include "tests/support/run_fakes.h"
#include "tests/support/test_files.h"
#include "workspace/working_folder_text.h"

namespace sbx {
namespace {

using test::MemoryBook;
using test::MemoryFiles;
using test::MemoryHost;
using test::MemorySheet;

const std::string kIncome = "收入明细";
const std::string kCost = "成本费用";

// A source cell as the generator makes it: what is stored, and what it adds in each mode
// (both modes follow the same rules, so the two columns agree; they are kept apart so that
// a difference shows as one).
struct Made {
    CellValue stored;
    double functionAdds = 0;
    double efficiencyAdds = 0;
};

Made makeCell(int file, int sheet, int row, int column) {
    const int k = (file * 131 + sheet * 71 + row * 17 + column * 7) % 23;
    const double v = ((file * 37 + row * 11 + column * 5 + sheet) % 997) / 4.0 - 60;
    if (k == 0) return {CellValue(), 0, 0};                                   // blank
    if (k == 1) return {CellValue::number(0), 0, 0};                          // zero
    if (k == 2) return {CellValue::text("合计"), 0, 0};                       // a label
    if (k == 3) return {CellValue::error(error_code::Div0), 0, 0};            // an error value
    if (k == 4) return {CellValue::text(std::to_string(static_cast<int>(v))), std::trunc(v), std::trunc(v)};
    return {CellValue::number(v), v, v};
}

class RunTest : public ::testing::Test {
protected:
    static constexpr int kFirstRow = 4, kLastRow = 13, kFirstColumn = 2, kLastColumn = 6;  // b4:f13

    MemoryFiles files;
    JobDefinition job;
    test::RecordingStatusView status;
    test::RecordingDialogs dialogs;
    test::RecordingPostRun postRun;
    test::ScriptedClock clock;
    // The workbooks live in memory; the run record beside the summary is written to this disk folder.
    testing::TempFolder home{"run-test"};
    WorkspacePaths paths{home.path()};
    std::vector<std::string> selected;
    long long addingNothing = 0;  // labels and error values put into the sources counted
    // Expected totals by worksheet and (row, column), per mode.
    std::map<std::string, std::map<std::pair<int, int>, double>> functionTotals, efficiencyTotals;

    RunSetup setup() {
        std::filesystem::create_directories(paths.summaryWorkbook().parent_path());
        RunSetup s{job, selected, static_cast<int>(files.namesIn(paths.poolDirectory()).size()), paths, status,
                   dialogs, postRun, clock};
        s.makeHost = [this] { return std::make_unique<MemoryHost>(files); };
        s.listPool = [this](const std::filesystem::path& dir) { return files.namesIn(dir); };
        return s;
    }

    void addRange(const std::string& sheet, const std::string& first, const std::string& last) {
        addJobRange(job, sheet, first, last);
    }
    void standardJob() {
        addRange(kIncome, "b4", "f13");
        addRange(kCost, " b4 ", "f13");  // blanks around the cell texts are removed
    }

    // A pool workbook with both worksheets: a title, labels in column a, the numbers of the
    // generator in b4:f13, a SUM-like row below.
    MemoryBook makeBook(int file, bool countTowardTotals, const std::vector<std::string>& sheets = {kIncome, kCost}) {
        MemoryBook book;
        for (size_t s = 0; s < sheets.size(); ++s) {
            MemorySheet& sheet = book.add(sheets[s]);
            sheet.set(1, 1, CellValue::text(sheets[s] + "（2024年度）"));
            for (int r = kFirstRow; r <= kLastRow; ++r) {
                sheet.set(r, 1, CellValue::text("项目" + std::to_string(r)));
                for (int c = kFirstColumn; c <= kLastColumn; ++c) {
                    const Made m = makeCell(file, static_cast<int>(s), r, c);
                    sheet.set(r, c, m.stored);
                    if (countTowardTotals) {
                        const CellKind kind = m.stored.kind();
                        if (kind == CellKind::Error || m.stored == CellValue::text("合计")) ++addingNothing;
                        functionTotals[sheets[s]][{r, c}] += m.functionAdds;
                        efficiencyTotals[sheets[s]][{r, c}] += m.efficiencyAdds;
                    }
                }
            }
            sheet.set(kLastRow + 1, 2, CellValue::number(99999));  // outside the range
        }
        return book;
    }

    std::string name(int file) { return "report_" + std::to_string(file) + ".xls"; }

    // Files 1..count in the pool, all selected; the summary workbook a copy of the last.
    void makePool(int count) {
        for (int f = 1; f <= count; ++f) {
            files.put(paths.poolFile(name(f)), makeBook(f, true));
            selected.push_back(name(f));
        }
        files.put(paths.summaryWorkbook(), makeBook(count, false));
    }

    const MemorySheet& summarySheet(const std::string& sheet) {
        return files.book(paths.summaryWorkbook()).sheet(sheet);
    }

    // Every cell of the range holds the expected total, or nothing where the total is 0.
    void expectTotals(const std::string& sheet, const std::map<std::pair<int, int>, double>& expected) {
        const MemorySheet& s = summarySheet(sheet);
        int checked = 0;
        for (int r = kFirstRow; r <= kLastRow; ++r) {
            for (int c = kFirstColumn; c <= kLastColumn; ++c) {
                const auto it = expected.find({r, c});
                const double want = it == expected.end() ? 0 : it->second;
                const CellValue got = s.at(r, c);
                if (std::abs(want) < 1e-9) {
                    EXPECT_TRUE(got.isEmpty()) << sheet << " r" << r << "c" << c << " " << describe(got);
                } else {
                    ASSERT_EQ(got.kind(), CellKind::Number) << sheet << " r" << r << "c" << c << " " << describe(got);
                    EXPECT_NEAR(got.numberValue(), want, 1e-9) << sheet << " r" << r << "c" << c;
                }
                ++checked;
            }
        }
        EXPECT_EQ(checked, 50);
        EXPECT_EQ(s.at(kLastRow + 1, 2), CellValue::number(99999)) << "a cell outside the range changed";
    }

    void expectSourcesUntouched(int count) {
        for (int f = 1; f <= count; ++f) EXPECT_EQ(files.saves(paths.poolFile(name(f))), 0) << name(f);
    }
};

// ---- finished runs ----

TEST_F(RunTest, FunctionModeAddsEveryCellAndHandsOver) {
    makePool(4);
    standardJob();
    job.runState = RunState::Failed;  // a new run starts from 0
    dialogs.answers = {true, false};  // archive: yes; export: no
    const RunSummary out = runFunctionMode(setup());

    EXPECT_EQ(out.state, RunState::Finished);
    EXPECT_EQ(job.runState, RunState::Finished);
    expectTotals(kIncome, functionTotals[kIncome]);
    expectTotals(kCost, functionTotals[kCost]);
    expectSourcesUntouched(4);
    EXPECT_EQ(files.saves(paths.summaryWorkbook()), 2);  // once per worksheet
    EXPECT_EQ(job.runFileCount, 4 * 2);                  // pool folder files x worksheets

    const std::vector<std::string> expectedList = {name(1), name(2), name(3), name(4)};
    EXPECT_EQ(out.runList, expectedList);
    EXPECT_EQ(status.runList, expectedList);
    EXPECT_EQ(status.label10, 4);
    ASSERT_EQ(postRun.archived.size(), 1u);
    EXPECT_EQ(postRun.archived[0], expectedList);
    EXPECT_EQ(postRun.exportOffers, 0);
    // Labels and error values of the sources are counted and named, nothing was left out.
    EXPECT_EQ(out.report.ignoredValues, addingNothing);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_GT(out.report.misplacedValues, 0);
    EXPECT_LE(out.report.misplacedValues, addingNothing);
    EXPECT_EQ(dialogs.messages[0].rfind("汇总已完成。\r应为数字却不是数字、未计入合计的单元格 " +
                                            std::to_string(out.report.misplacedValues) + " 个：",
                                        0),
              0u)
        << dialogs.messages[0];
    EXPECT_EQ(dialogs.questions, (std::vector<std::string>{run_text::kArchiveQuestion, run_text::kExportQuestion}));
    EXPECT_EQ(status.hints, (std::vector<std::string>{run_text::kHintArchive, sbx::namingWorkingFolder(run_text::kHintArchiveExplained, paths),
                                                      run_text::kHintSummaryMade, sbx::namingWorkingFolder(run_text::kHintKeptAtHome, paths)}));
    EXPECT_EQ(status.events, (std::vector<std::string>{"openFunctionPanel", "closeFunctionPanel", "focusExitButton"}));

    // The status panel as it stands after the last worksheet.
    EXPECT_EQ(status.text1, "------完毕------");
    EXPECT_EQ(status.text4, "------完毕------");
    EXPECT_EQ(status.text2, kCost);
    EXPECT_EQ(status.text3, name(4));
    EXPECT_EQ(status.text5, std::string(20, '|'));
    EXPECT_EQ(status.label16, "100%");
    EXPECT_EQ(status.label18, "100%");
    EXPECT_EQ(status.label20, "100%");
    EXPECT_EQ(status.text10, std::string(20, '|'));
}

TEST_F(RunTest, EfficiencyModeConsolidatesEachWorksheet) {
    makePool(3);
    standardJob();
    dialogs.answers = {false, true};  // archive: no; export: yes
    const RunSummary out = runEfficiencyMode(setup());

    EXPECT_EQ(out.state, RunState::Finished);
    expectTotals(kIncome, efficiencyTotals[kIncome]);
    expectTotals(kCost, efficiencyTotals[kCost]);
    expectSourcesUntouched(3);
    EXPECT_EQ(out.runList, (std::vector<std::string>{name(1), name(2), name(3)}));
    EXPECT_TRUE(postRun.archived.empty());
    EXPECT_EQ(postRun.exportOffers, 1);
    EXPECT_EQ(status.hints, (std::vector<std::string>{run_text::kHintEfficiency, run_text::kHintArchive,
                                                      run_text::kHintSummaryMade, run_text::kHintExport}));
    EXPECT_EQ(status.events, (std::vector<std::string>{"openEfficiencyPanel", "closeEfficiencyPanel"}));
    EXPECT_EQ(status.text6, std::string(20, '|'));
    EXPECT_EQ(status.label20, "100%");
    EXPECT_EQ(status.text8, kCost);
    EXPECT_EQ(status.text9, name(3));
    EXPECT_FALSE(job.efficiencyBlocked);
}

TEST_F(RunTest, ElapsedTimeAndCaptionsPerWorksheet) {
    makePool(2);
    standardJob();
    clock.script = {{10, 0, 0}, {10, 0, 30}, {10, 0, 30}, {10, 1, 15}};
    runFunctionMode(setup());
    EXPECT_EQ(status.captions,
              (std::vector<std::string>{"总进程：1/2  用时0:00:30", "-----工作完毕,用时0:01:15-----"}));

    test::ScriptedClock second;
    second.script = {{10, 0, 50}, {11, 0, 10}, {11, 0, 10}, {11, 0, 10}};
    RunSetup s = setup();
    RunSetup again{s.job, s.selectedEntries, s.poolEntryCount, s.paths, s.status, s.dialogs, s.postRun, second,
                   s.makeHost, s.listPool};
    status.captions.clear();
    runEfficiencyMode(again);
    EXPECT_EQ(status.captions,
              (std::vector<std::string>{"总进程：1/2  用时0:59:20", "-----工作完毕,用时0:59:20-----"}));
}

TEST_F(RunTest, TextNumbersAddAsNumbersAndLabelsAddNothing) {
    // One cell, three files: 12 as text twice, a label, then the number 5.
    const std::vector<CellValue> values = {CellValue::text("12"), CellValue::text("12"), CellValue::text("合计"),
                                           CellValue::number(5)};
    for (size_t f = 0; f < values.size(); ++f) {
        MemoryBook book;
        book.add(kIncome).set(2, 2, values[f]);
        files.put(paths.poolFile("f" + std::to_string(f) + ".xls"), book);
        selected.push_back("f" + std::to_string(f) + ".xls");
    }
    MemoryBook summary;
    summary.add(kIncome).set(2, 2, CellValue::text("old"));
    files.put(paths.summaryWorkbook(), summary);
    addRange(kIncome, "b2", "b2");
    const RunSummary out = runFunctionMode(setup());
    ASSERT_EQ(out.state, RunState::Finished);
    EXPECT_EQ(summarySheet(kIncome).at(2, 2), CellValue::number(29));
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"汇总已完成。\r应为数字却不是数字、未计入合计的单元格 1 个：f2.xls 收入明细!b2 “合计”"});
}

TEST_F(RunTest, SparseWholeSheetRangeOnlyTouchesCellsWithValues) {
    for (int f = 1; f <= 3; ++f) {
        MemoryBook book;
        book.add(kIncome).set(1, 1, CellValue::number(f)).set(65536, 256, CellValue::number(10 * f));
        files.put(paths.poolFile(name(f)), book);
        selected.push_back(name(f));
    }
    MemoryBook summary;
    summary.add(kIncome).set(30000, 100, CellValue::text("模板内容"));
    files.put(paths.summaryWorkbook(), summary);
    addRange(kIncome, "a1", "iv65536");
    const RunSummary out = runFunctionMode(setup());
    ASSERT_EQ(out.state, RunState::Finished);
    const MemorySheet& s = summarySheet(kIncome);
    EXPECT_EQ(s.at(1, 1), CellValue::number(6));
    EXPECT_EQ(s.at(65536, 256), CellValue::number(60));
    EXPECT_EQ(s.at(30000, 100), CellValue());  // the range's old content is replaced
    EXPECT_EQ(out.report.cellsWritten, 3);
    EXPECT_EQ(out.report.cellsRead, 3LL * 256 * 65536);
    EXPECT_LT(status.readProgressCalls, 100);  // one status call per value, not per position
}

TEST_F(RunTest, CountersOutgrowSixteenBits) {
    makePool(1);
    addRange(kIncome, "b4", "c5");
    std::vector<std::string> folder;
    for (int i = 0; i < 40000; ++i) folder.push_back("other_" + std::to_string(i) + ".txt");
    folder.push_back(name(1));
    RunSetup s = setup();
    s.listPool = [&](const std::filesystem::path&) { return folder; };
    const RunSummary out = runFunctionMode(s);
    EXPECT_EQ(out.state, RunState::Finished);
    EXPECT_EQ(job.runFileCount, 40001);
}

TEST_F(RunTest, RunListFilledWhenTheSelectionChangedAfterTheRanges) {
    makePool(2);
    standardJob();
    job.chosenSheets = {"明细"};  // a new worksheet selection was made and its range entry cancelled
    for (auto run : {&runFunctionMode, &runEfficiencyMode}) {
        status.runList.clear();
        const RunSummary out = (*run)(setup());
        EXPECT_EQ(out.state, RunState::Finished);
        EXPECT_EQ(status.runList, (std::vector<std::string>{name(1), name(2)}));
    }
}

TEST_F(RunTest, CommasInFileAndWorksheetNames) {
    for (const std::string n : {"a,b.xls", "c.xls"}) {
        MemoryBook book;
        book.add("表,1").set(1, 1, CellValue::number(2));
        files.put(paths.poolFile(n), book);
        selected.push_back(n);
    }
    MemoryBook summary;
    summary.add("表,1");
    files.put(paths.summaryWorkbook(), summary);
    addRange("表,1", "a1", "a1");
    const RunSummary out = runEfficiencyMode(setup());
    ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
    EXPECT_EQ(summarySheet("表,1").at(1, 1), CellValue::number(4));
}

// ---- what a finished run leaves out ----

TEST_F(RunTest, MissingFileIsNamedAtTheEnd) {
    makePool(2);
    standardJob();
    selected.insert(selected.begin(), "gone.xls");
    for (auto run : {&runFunctionMode, &runEfficiencyMode}) {
        dialogs.messages.clear();
        dialogs.questions.clear();
        const RunSummary out = (*run)(setup());
        EXPECT_EQ(out.state, RunState::Finished);
        EXPECT_EQ(out.runList, (std::vector<std::string>{name(1), name(2)}));
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].rfind("汇总已完成，但以下内容未能汇入：\r汇表池中找不到的文件 1 个：gone.xls\r应为数字", 0), 0u)
            << dialogs.messages[0];
        EXPECT_EQ(dialogs.questions.size(), 2u);  // the report comes before the questions
    }
}

TEST_F(RunTest, ProtectedSummaryCellKeepsItsContentInFunctionMode) {
    makePool(3);
    addRange(kIncome, "b4", "f13");
    MemoryBook summary = files.book(paths.summaryWorkbook());
    MemorySheet& s = *summary.find(kIncome);
    s.protectedSheet = true;
    for (int r = kFirstRow; r <= kLastRow; ++r) {
        for (int c = kFirstColumn; c <= kLastColumn; ++c) {
            if (!(r == 5 && c == 3)) s.unlockedCells.insert({r, c});
        }
    }
    s.set(5, 3, CellValue::text("锁定"));
    files.put(paths.summaryWorkbook(), summary);

    const RunSummary out = runFunctionMode(setup());
    ASSERT_EQ(out.state, RunState::Finished);
    EXPECT_EQ(summarySheet(kIncome).at(5, 3), CellValue::text("锁定"));
    auto expected = functionTotals[kIncome];
    const double kept = expected[{5, 3}];
    EXPECT_NE(kept, 0);
    expected.erase({5, 3});
    for (auto& [pos, v] : expected) {
        const CellValue got = summarySheet(kIncome).at(pos.first, pos.second);
        if (v != 0) {
            EXPECT_NEAR(got.numberValue(), v, 1e-9);
        }
    }
    EXPECT_EQ(out.report.refusedCells, 1);
    // What the result view marks: the area, less the refused cell.
    const WrittenCells written(out.report);
    const std::tuple<int, int, bool> marks[] = {{4, 2, true}, {13, 6, true}, {5, 4, true}, {5, 3, false},
                                                {3, 2, false}, {4, 7, false}, {14, 6, false}};
    for (const auto& [row, column, marked] : marks) EXPECT_EQ(written.contains(kIncome, row, column), marked) << row << "," << column;
    EXPECT_FALSE(written.contains(kCost, 4, 2));  // not in the job
    RunReport unsaved;  // a worksheet whose totals never reached the file
    unsaved.worksheets.push_back({kIncome, 50, false, {1, 1, 9, 9}});
    EXPECT_FALSE(WrittenCells(unsaved).contains(kIncome, 2, 2));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("汇总已完成，但以下内容未能汇入：\r拒绝写入的汇总单元格 1 个：收入明细!c5 仍是模板中的数值\r应为数字", 0), 0u)
        << dialogs.messages[0];
}

TEST_F(RunTest, ProtectedSummaryEndsAnEfficiencyRunAndBlocksTheMode) {
    makePool(2);
    addRange(kIncome, "b4", "f13");
    MemoryBook summary = files.book(paths.summaryWorkbook());
    summary.find(kIncome)->protectedSheet = true;
    files.put(paths.summaryWorkbook(), summary);

    const RunSummary out = runEfficiencyMode(setup());
    EXPECT_EQ(out.state, RunState::Failed);
    EXPECT_EQ(job.runState, RunState::Failed);
    EXPECT_TRUE(job.efficiencyBlocked);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              "出现未知错误,系统异常中断!\r\r初步侦测:\r可能是汇表池中表格文件:\r" + paths.poolPrefix() + "report_2.xls\r"
              "格式不够统一，请修整先！\r或者该表格文件有写保护,建议启用[功能]模式！");
    EXPECT_EQ(status.events, (std::vector<std::string>{"openEfficiencyPanel", "hideStatusPanel", "focusStartButton"}));
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(files.saves(paths.summaryWorkbook()), 0);
}

// ---- missing worksheets ----

TEST_F(RunTest, FunctionModeFileLackingTheFirstWorksheetFails) {
    makePool(3);
    files.put(paths.poolFile(name(2)), makeBook(2, false, {kCost}));
    standardJob();
    const RunSummary out = runFunctionMode(setup());
    EXPECT_EQ(out.state, RunState::Failed);
    EXPECT_EQ(job.runState, RunState::Failed);
    EXPECT_FALSE(job.efficiencyBlocked);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0],
              "出现未知错误,系统异常结束!\r\r初步侦断:\r可能是汇表池中表格文件:\r" + paths.poolPrefix() + "report_2.xls\r格式不够统一，注意查看!");
    // Then what is really wrong with it.
    EXPECT_EQ(dialogs.messages[1], "工作簿中没有工作表“" + kIncome + "”：\r" + paths.poolPrefix() + "report_2.xls");
    EXPECT_EQ(status.events,
              (std::vector<std::string>{"openFunctionPanel", "hideStatusPanel", "disableJobButtons", "focusExitButton"}));
    EXPECT_EQ(files.saves(paths.summaryWorkbook()), 0);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(status.runList.empty());
}

TEST_F(RunTest, FunctionModeFileLackingALaterWorksheetIsSkippedAndTold) {
    makePool(3);
    functionTotals.clear();
    files.put(paths.poolFile(name(1)), makeBook(1, true));
    files.put(paths.poolFile(name(2)), makeBook(2, true, {kIncome}));
    files.put(paths.poolFile(name(3)), makeBook(3, true));
    standardJob();
    const RunSummary out = runFunctionMode(setup());
    ASSERT_EQ(out.state, RunState::Finished);
    expectTotals(kIncome, functionTotals[kIncome]);
    expectTotals(kCost, functionTotals[kCost]);  // report_2 made no 成本费用 totals
    EXPECT_EQ(out.runList, (std::vector<std::string>{name(1), name(2), name(3)}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("汇总已完成，但以下内容未能汇入：\r缺少该工作表的文件 1 个：[成本费用] report_2.xls\r应为数字", 0), 0u)
        << dialogs.messages[0];
}

TEST_F(RunTest, EfficiencyModeFileLackingAWorksheetStopsTheRun) {
    makePool(3);
    files.put(paths.poolFile(name(2)), makeBook(2, false, {kIncome, "成本"}));
    standardJob();
    const RunSummary out = runEfficiencyMode(setup());
    EXPECT_EQ(out.state, RunState::IdleOrRunning);
    EXPECT_EQ(job.runState, RunState::IdleOrRunning);
    EXPECT_FALSE(job.efficiencyBlocked);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0], "注意：表格文件:\r" + paths.poolPrefix() + "report_2.xls\r格式不够统一或者工作表名称不一，注意查看!");
    EXPECT_EQ(files.saves(paths.summaryWorkbook()), 1);  // the first worksheet was written
    // ... and the last message says so, as the main window does until the next run.
    EXPECT_EQ(dialogs.messages[1], "汇总文件只完成了一部分：\r已写入本次合计的工作表：“收入明细”\r没有本次合计的工作表：“成本费用”"
                                   "\r（其中仍是汇表前的数值，不是合计）\r请排除问题后重新汇表。");
    EXPECT_EQ(job.incompleteSummary.withoutTotals, std::vector<std::string>{kCost});
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(status.runList.empty());
    EXPECT_EQ(status.captions, (std::vector<std::string>{"总进程：1/2  用时0:00:00"}));
}

TEST_F(RunTest, BothModesMatchWorksheetNamesIgnoringLetterCase) {
    MemoryBook book;
    book.add("Sheet1").set(1, 1, CellValue::number(1));
    files.put(paths.poolFile("a.xls"), book);
    MemoryBook other;
    other.add("SHEET1").set(1, 1, CellValue::number(2));
    files.put(paths.poolFile("b.xls"), other);
    files.put(paths.summaryWorkbook(), book);
    selected = {"a.xls", "b.xls"};
    addRange("sheet1", "a1", "a1");
    for (auto run : {&runFunctionMode, &runEfficiencyMode}) {
        const RunSummary out = (*run)(setup());
        ASSERT_EQ(out.state, RunState::Finished) << out.diagnosis;
        EXPECT_EQ(summarySheet("Sheet1").at(1, 1), CellValue::number(3));
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

// ---- selection and pool ----

TEST_F(RunTest, EmptySelectionAsksForFilesThenFails) {
    makePool(2);
    selected.clear();
    standardJob();
    const RunSummary fn = runFunctionMode(setup());
    EXPECT_EQ(fn.state, RunState::Failed);
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"请选择所需汇入的表格文件！",
                                                          run_text::functionFailureMessage("")}));
    dialogs.messages.clear();
    job.runState = RunState::IdleOrRunning;
    const RunSummary eff = runEfficiencyMode(setup());
    EXPECT_EQ(eff.state, RunState::Failed);
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"请选择所需汇入的表格文件！",
                                                          run_text::efficiencyFailureMessage("")}));
    EXPECT_TRUE(job.efficiencyBlocked);
    EXPECT_EQ(files.totalSaves(), 0);
}

TEST_F(RunTest, NoSelectedFileFoundFailsAndWritesNothing) {
    makePool(2);
    selected = {"gone_1.xls", "gone_2.xls"};
    standardJob();
    for (auto run : {&runFunctionMode, &runEfficiencyMode}) {
        job.runState = RunState::IdleOrRunning;
        dialogs.messages.clear();
        EXPECT_EQ((*run)(setup()).state, RunState::Failed);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_NE(dialogs.messages[0].find(paths.poolPrefix() + "gone_1.xls"), std::string::npos) << dialogs.messages[0];
    }
    EXPECT_EQ(files.totalSaves(), 0);
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(RunTest, FileThatCannotBeOpenedFailsBeforeTheFirstWrite) {
    makePool(3);
    files.failOpen(paths.poolFile(name(3)));
    standardJob();
    EXPECT_EQ(runFunctionMode(setup()).state, RunState::Failed);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0], run_text::functionFailureMessage(paths.poolPrefix() + "report_3.xls"));
    EXPECT_TRUE(dialogs.messages[1].ends_with("：\r" + paths.poolPrefix() + "report_3.xls")) << dialogs.messages[1];
    EXPECT_EQ(files.totalSaves(), 0);
}

// A summary that could not be saved is a failed run in both modes: its message blames a
// source as the failure message does, the second names the summary, and neither archiving
// nor export is offered.
TEST_F(RunTest, SummaryThatCannotBeSavedFailsTheRun) {
    makePool(2);
    standardJob();
    files.failSave(paths.summaryWorkbook());
    for (auto run : {&runFunctionMode, &runEfficiencyMode}) {
        dialogs.messages.clear();
        job.runState = RunState::IdleOrRunning;
        const RunSummary out = (*run)(setup());
        EXPECT_EQ(out.state, RunState::Failed);
        EXPECT_EQ(out.report.worksheetsSaved(), 0);
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_EQ(dialogs.messages[0], run == &runFunctionMode ? run_text::functionFailureMessage(paths.poolPrefix() + "report_2.xls")
                                                               : run_text::efficiencyFailureMessage(paths.poolPrefix() + "report_2.xls"));
        EXPECT_EQ(dialogs.messages[1].rfind("汇总文件未能保存：\r" + utf8String(paths.summaryWorkbook()) + "\r原因：", 0), 0u)
            << dialogs.messages[1];
        EXPECT_NE(dialogs.messages[1].find("汇总文件仍是汇表前的内容"), std::string::npos) << dialogs.messages[1];
        EXPECT_TRUE(dialogs.questions.empty());
        EXPECT_TRUE(postRun.archived.empty());
    }
}

TEST_F(RunTest, ConfirmationOfTheFunctionMode) {
    dialogs.answers = {false};
    EXPECT_FALSE(confirmFunctionMode(status, dialogs));
    EXPECT_EQ(status.hints, (std::vector<std::string>{run_text::kHintFunctionConfirm, run_text::kHintWelcome}));
    EXPECT_EQ(dialogs.questions,
              (std::vector<std::string>{"这种模式速度慢，而且会占用大量的系统资源\r除非万不得一建议尽量少用为妙，确定继续？"}));
    dialogs.answers = {true};
    status.hints.clear();
    EXPECT_TRUE(confirmFunctionMode(status, dialogs));
    EXPECT_EQ(status.hints, (std::vector<std::string>{run_text::kHintFunctionConfirm, run_text::kHintFunction}));
}

// ---- the check before the run ----

// A pool whose second report repeats the first's amounts: the check flags it alone, and the
// user's answer in the check window decides what runs.
class RunCheckTest : public RunTest {
protected:
    static MemoryBook plainBook(double base) {
        MemoryBook book;
        for (const std::string& sheet : {kIncome, kCost}) {
            MemorySheet& s = book.add(sheet);
            s.set(1, 1, CellValue::text(sheet));
            for (int r = kFirstRow; r <= kLastRow; ++r) {
                s.set(r, 1, CellValue::text("项目" + std::to_string(r)));
                for (int c = kFirstColumn; c <= kLastColumn; ++c) s.set(r, c, CellValue::number(base + r * 10 + c));
            }
        }
        return book;
    }

    std::vector<size_t> shown;  // the flagged files the check window listed

    RunSummary runAnswering(CheckChoice choice, bool fourthUnreadable = false) {
        for (const auto& [file, base] : {std::pair{1, 100.0}, {2, 100.0}, {3, 300.0}}) {
            files.put(paths.poolFile(name(file)), plainBook(base));
            selected.push_back(name(file));
        }
        if (fourthUnreadable) {
            files.put(paths.poolFile(name(4)), plainBook(1000));
            files.failOpen(paths.poolFile(name(4)));
            selected.push_back(name(4));
        }
        files.put(paths.summaryWorkbook(), plainBook(0));
        standardJob();
        dialogs.answers = {false, false};  // archive: no; export: no
        RunSetup s = setup();
        s.reviewCheck = [this, choice](const CheckReport& report, const Recheck&) {
            shown = report.flagged();
            return choice;
        };
        return runFunctionMode(s);
    }
};

TEST_F(RunCheckTest, AllFlaggedFilesAddedWithIncludeAll) {
    const RunSummary out = runAnswering(CheckChoice::IncludeAll);
    EXPECT_EQ(shown, (std::vector<size_t>{1}));
    EXPECT_EQ(out.state, RunState::Finished);
    EXPECT_EQ(out.runList, (std::vector<std::string>{name(1), name(2), name(3)}));
    EXPECT_TRUE(out.leftOutByCheck.empty());
    EXPECT_EQ(summarySheet(kIncome).at(4, 2), CellValue::number(2 * 142 + 342));
}

TEST_F(RunCheckTest, FlaggedFilesLeftOutAreReported) {
    const RunSummary out = runAnswering(CheckChoice::SkipFlagged);
    EXPECT_EQ(out.state, RunState::Finished);
    EXPECT_EQ(out.runList, (std::vector<std::string>{name(1), name(3)}));
    EXPECT_EQ(out.leftOutByCheck, (std::vector<std::string>{name(2)}));
    EXPECT_EQ(summarySheet(kIncome).at(4, 2), CellValue::number(142 + 342));
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_NE(dialogs.messages.front().find("是 2 个文件的合计"), std::string::npos) << dialogs.messages.front();
    EXPECT_NE(dialogs.messages.front().find(name(2)), std::string::npos) << dialogs.messages.front();
}

// 按标签对齐汇总 ticked in the check window: the files are checked again by their labels, and
// a report with two rows swapped is added where its labels meet the template's.
TEST_F(RunCheckTest, AReportWithSwappedRowsIsAddedByItsLabelsWhenAsked) {
    files.put(paths.poolFile(name(1)), plainBook(100));
    MemoryBook swapped = plainBook(300);
    MemorySheet& income = *swapped.find(kIncome);
    for (int c = 1; c <= kLastColumn; ++c) {
        const CellValue first = income.at(kFirstRow, c);
        income.set(kFirstRow, c, income.at(kFirstRow + 1, c));
        income.set(kFirstRow + 1, c, first);
    }
    files.put(paths.poolFile(name(2)), swapped);
    selected = {name(1), name(2)};
    files.put(paths.summaryWorkbook(), plainBook(0));
    standardJob();
    dialogs.answers = {false, false};  // archive: no; export: no
    RunSetup s = setup();
    std::vector<std::string> verdicts;
    s.reviewCheck = [&](const CheckReport& report, const Recheck& recheck) {
        verdicts.push_back(check_text::verdict(report.sources[1]));
        verdicts.push_back(check_text::verdict(recheck(true).sources[1]));
        return CheckChoice::SkipFlagged;
    };
    const RunSummary out = runFunctionMode(s);
    EXPECT_EQ(verdicts, (std::vector<std::string>{"格式不符", "正常"}));
    EXPECT_EQ(out.runList, (std::vector<std::string>{name(1), name(2)}));
    for (const int row : {kFirstRow, kFirstRow + 1}) {
        EXPECT_EQ(summarySheet(kIncome).at(row, 3), CellValue::number(400 + 2 * (row * 10 + 3))) << row;
    }
}

// A file the check could not read is left out by either answer: taking it in would only fail
// the run (and, in the function mode, lock the job buttons).
TEST_F(RunCheckTest, AFileThatCannotBeReadIsLeftOutByEitherAnswer) {
    const struct {
        CheckChoice choice;
        std::vector<std::string> leftOut;
        double total;
    } cases[] = {
        {CheckChoice::IncludeAll, {name(4)}, 2 * 142 + 342},
        {CheckChoice::SkipFlagged, {name(2), name(4)}, 142 + 342},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.choice));
        selected.clear();
        dialogs.messages.clear();
        job = JobDefinition{};
        const RunSummary out = runAnswering(c.choice, true);
        EXPECT_EQ(out.state, RunState::Finished);
        EXPECT_EQ(out.leftOutByCheck, c.leftOut);
        EXPECT_EQ(summarySheet(kIncome).at(4, 2), CellValue::number(c.total));
        ASSERT_FALSE(dialogs.messages.empty());
        EXPECT_NE(dialogs.messages.front().find(name(4)), std::string::npos) << dialogs.messages.front();
    }
}

TEST_F(RunCheckTest, CancelRunsNothing) {
    const RunSummary out = runAnswering(CheckChoice::Cancel);
    EXPECT_NE(out.state, RunState::Finished);
    EXPECT_TRUE(out.runList.empty());
    EXPECT_EQ(files.saves(paths.summaryWorkbook()), 0);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(out.diagnosis.empty());
}

}  // namespace
}  // namespace sbx
