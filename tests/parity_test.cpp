// Both run modes over one family of sources that holds every kind of value: each summary
// holds the totals and formula results that tools/make_parity_fixtures.py computed from what
// xlrd reads of the sources, and the two summaries are the same cell for cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/parity_run.h"

namespace sbx {
namespace {


// Empty when `got` is what expected.tsv says (kind empty, number or date; the value exactly);
// otherwise what it holds instead.
std::string difference(const CellValue& got, const std::string& kind, const std::string& value) {
    const CellKind want = kind == "date" ? CellKind::Date : kind == "number" ? CellKind::Number : CellKind::Empty;
    if (got.kind() == want && (want == CellKind::Empty || got.numberValue() == std::stod(value))) return {};
    return "holds " + describe(got) + ", expected " + kind + " " + value;
}

TEST(Parity, BothModesWriteTheIndependentlyComputedSummary) {
    const auto expected = parity::expectedLines();
    ASSERT_FALSE(expected.empty()) << "no " << (parity::kData / "expected.tsv");
    const testing::TempFolder efficiency("parity-efficiency"), function("parity-function");
    std::vector<parity::ModeRun> runs;
    for (const auto& [mode, folder] : {std::pair{Mode::Efficiency, &efficiency}, {Mode::Function, &function}}) {
        SCOPED_TRACE(parity::modeName(mode));
        runs.push_back(parity::runMode(mode, *folder));
        const RunReport& report = runs.back().report;
        ASSERT_TRUE(report.succeeded()) << (report.failure ? report.failure->reason : "summary not saved");

        auto host = makeNativeHost();
        Workbook& summary = host->open(runs.back().summary);
        long long ignored = 0;
        for (const auto& f : expected) {
            if (f[0] == "cell" || f[0] == "formula") {
                const CellAddress at = parseCellAddress(f[2]).value();
                EXPECT_EQ(difference(summary.worksheet(f[1]).cell(at.row, at.column), f[3], f[4]), "")
                    << f[0] << " '" << f[1] << "'!" << f[2];
            } else if (f[0] == "ignored") {
                ignored += std::stoll(f[2]);
            }
        }
        EXPECT_EQ(report.ignoredValues, ignored);
        // Those listed lie where the other sources hold amounts: the total there is one.
        for (const Skipped& item : report.skipped) {
            if (item.kind != Skipped::Kind::AddsNothing) continue;
            const CellKind kind = summary.worksheet(item.worksheet).cell(item.cell.row, item.cell.column).kind();
            EXPECT_TRUE(kind == CellKind::Number || kind == CellKind::Date) << item.worksheet << "!" << cellName(item.cell);
        }
        host->quit();
    }

    // The whole workbooks, not only the areas: nothing else may differ between the modes.
    auto host = makeNativeHost();
    Workbook& a = host->open(runs[0].summary);
    Workbook& b = host->open(runs[1].summary);
    ASSERT_EQ(a.worksheetCount(), b.worksheetCount());
    for (int s = 1; s <= a.worksheetCount(); ++s) {
        const Worksheet& x = a.worksheet(s);
        const Worksheet& y = b.worksheet(s);
        ASSERT_EQ(x.name(), y.name());
        const auto [xRows, xColumns] = x.lastValueCell();
        const auto [yRows, yColumns] = y.lastValueCell();
        for (int r = 1; r <= std::max(xRows, yRows); ++r) {
            for (int c = 1; c <= std::max(xColumns, yColumns); ++c) {
                EXPECT_EQ(describe(x.cell(r, c)), describe(y.cell(r, c))) << "'" << x.name() << "'!" << cellName({r, c});
            }
        }
    }
    host->quit();
}

}  // namespace
}  // namespace sbx
