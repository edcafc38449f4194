// The computing core: range texts, column names, adding cell values, the value written back,
// the status texts and the elapsed-time arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <string>
#include <vector>

#include "consolidate/accumulation.h"
#include "consolidate/accumulator_grid.h"
#include "consolidate/efficiency_run.h"
#include "consolidate/range_bounds.h"
#include "consolidate/run_clock.h"
#include "consolidate/status_texts.h"

namespace sbx {
namespace {

struct RangeCase {
    const char* first;
    const char* last;
    bool valid;
    RangeBounds bounds;  // checked when valid
};

TEST(ParseRange, ExamplesAndEdges) {
    const std::vector<RangeCase> cases = {
        {"a3", "h20", true, {1, 3, 8, 20}},
        {"aa1", "ad5", true, {27, 1, 30, 5}},
        {"b4", "b4", true, {2, 4, 2, 4}},
        {"a1", "iv65536", true, {1, 1, 256, 65536}},
        {"a03", "b3x", true, {1, 3, 2, 3}},     // leading zero; reading stops at x
        {"A3", "H20", true, {0, 3, 0, 20}},     // upper case reads as column 0 and passes
        {"c5", "ab2", false, {}},               // row 2 above row 5
        {"ab3", "z9", false, {}},               // two letters, then one
        {"b3", "a20", false, {}},               // last column before the first
        {"a20", "b3", false, {}},               // last row before the first
        {"aa3", "h20", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + ":" + c.last);
        const ParsedRange r = parseRange(c.first, c.last);
        EXPECT_EQ(r.valid, c.valid);
        if (c.valid) {
            EXPECT_EQ(r.bounds, c.bounds);
        }
    }
}

TEST(ParseRange, CellsOutsideTheSheetAreFlagged) {
    EXPECT_TRUE(parseRange("a1", "iv65536").bounds.onSheet());
    EXPECT_FALSE(parseRange("A3", "H20").bounds.onSheet());
    EXPECT_FALSE(parseRange("a0", "b2").bounds.onSheet());
    EXPECT_FALSE(parseRange("a1", "a65537").bounds.onSheet());
    EXPECT_FALSE(parseRange("a1", "iw2").bounds.onSheet());
}

TEST(ColumnName, LettersOfColumns) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "a"}, {8, "h"}, {26, "z"}, {27, "aa"}, {52, "az"}, {53, "ba"}, {256, "iv"}, {702, "zz"}};
    for (const auto& [column, name] : cases) EXPECT_EQ(columnName(column), name) << column;
    for (int c = 1; c <= 702; ++c) {
        ASSERT_EQ(readRangeCell(columnName(c) + "1").column, c) << c;
    }
}

TEST(AreaSuffix, ReferencesInRowColumnForm) {
    EXPECT_EQ(areaSuffix(3, 1, 20, 8), "!R3C1:R20C8");
    EXPECT_EQ(areaSuffix(1, 27, 2, 28), "!R1C27:R2C28");
}

TEST(ReadsAsNumber, AcceptedSyntax) {
    const std::vector<std::pair<std::string, double>> numbers = {
        {"12", 12}, {" 12 ", 12}, {"-3.5", -3.5}, {"+7", 7}, {"1,234", 1234}, {"12,345,678.5", 12345678.5},
        {".5", 0.5}, {"5.", 5}, {"1e3", 1000}, {"2.5E-1", 0.25}, {"0", 0}};
    for (const auto& [text, value] : numbers) {
        const auto n = readsAsNumber(text);
        ASSERT_TRUE(n.has_value()) << text;
        EXPECT_DOUBLE_EQ(*n, value) << text;
    }
    for (const char* text : {"", " ", "合计", "12a", "1,23", "1234,567", ",123", "e5", "1e", "--1", ".", "1 2", "0x10"}) {
        EXPECT_FALSE(readsAsNumber(text).has_value()) << text;
    }
}

CellValue totalOf(const std::vector<CellValue>& values) {
    RunningTotal total;
    for (const auto& v : values) total.add(v);
    return total.value();
}

TEST(Accumulate, NumbersEmptiesAndDates) {
    using V = CellValue;
    struct Case {
        const char* what;
        std::vector<V> values;
        V expected;
    };
    const std::vector<Case> cases = {
        {"5 and blanks", {V(), V::number(5), V()}, V::number(5)},
        {"blank everywhere", {V(), V()}, V::number(0)},
        {"numbers add", {V::number(1.5), V::number(2.25)}, V::number(3.75)},
        {"texts 12 and 12 add as numbers", {V::text("12"), V::text("12")}, V::number(24)},
        {"number 12 and text 12", {V::number(12), V::text("12")}, V::number(24)},
        {"grouped text", {V::text(" 1,000 "), V::number(1)}, V::number(1001)},
        {"label then number", {V::text("合计"), V::number(5)}, V::number(5)},
        {"number then label", {V::number(5), V::text("合计")}, V::number(5)},
        {"labels only", {V::text("合计"), V::text("合计")}, V()},
        {"error adds nothing", {V::number(5), V::error(error_code::Div0), V::number(1)}, V::number(6)},
        {"error first", {V::error(error_code::NA), V::number(2)}, V::number(2)},
        {"boolean adds nothing", {V::number(5), V::boolean(true)}, V::number(5)},
        {"date moved by days", {V::date(45000), V::number(3), V::text("2")}, V::date(45005)},
        {"date takes the place", {V::number(7), V::date(45000)}, V::date(45000)},
        {"cancelling", {V::number(5), V::number(-5)}, V::number(0)},
    };
    for (const auto& c : cases) EXPECT_EQ(totalOf(c.values), c.expected) << c.what << ": " << describe(totalOf(c.values));
}

// Plain addition drifts: ten times 0.1 gives 0.9999999999999999, and a small amount after a
// large one can vanish for good. The totals are the correctly rounded sums.
TEST(Accumulate, TotalsDoNotDriftWithTheNumberOrOrderOfAmounts) {
    using V = CellValue;
    EXPECT_EQ(totalOf(std::vector<V>(10, V::number(0.1))), V::number(1.0));
    EXPECT_EQ(totalOf(std::vector<V>(1000, V::text("0.01"))), V::number(10.0));
    EXPECT_EQ(totalOf({V::number(1e16), V::number(1), V::number(-1e16)}), V::number(1));
    EXPECT_EQ(totalOf({V::number(0.1), V::number(0.2), V::number(-0.3)}), V::number(2.7755575615628914e-17));
    EXPECT_EQ(totalOf({V::date(45000.1), V::number(0.1), V::number(0.1), V::number(0.1)}), V::date(45000.4));
    // Reports in any order give the same total.
    std::vector<V> amounts;
    for (int i = 1; i <= 999; ++i) amounts.push_back(V::number(i * 1.01));
    const V forwards = totalOf(amounts);
    std::reverse(amounts.begin(), amounts.end());
    EXPECT_EQ(totalOf(amounts), forwards);
    EXPECT_EQ(forwards, V::number(504495.0));  // math.fsum of the same doubles
}

TEST(ValueToWrite, ZeroAndNonNumbersBecomeEmptyText) {
    using V = CellValue;
    const V empty = V::text("");
    const std::vector<std::pair<V, V>> cases = {
        {V(), empty},
        {V::number(0), empty},
        {V::boolean(false), empty},
        {V::text("合计"), empty},
        {V::error(error_code::Value), empty},
        {V::text("0.0"), empty},
        {V::text("12"), V::text("12")},
        {V::number(-2.5), V::number(-2.5)},
        {V::boolean(true), V::boolean(true)},
        {V::date(45000), V::date(45000)},
    };
    for (const auto& [total, written] : cases) EXPECT_EQ(valueToWrite(total), written) << describe(total);
    EXPECT_EQ(valueToWrite(totalOf({V::number(5), V::number(-5)})), empty);
    EXPECT_EQ(valueToWrite(totalOf({V::text("合计"), V::text("合计")})), empty);
}

TEST(AccumulatorGrid, DenseAndSparseKeepTheSameTotals) {
    const RangeBounds small{2, 3, 4, 10};
    const RangeBounds whole{1, 1, 256, 65536};
    AccumulatorGrid a(small);
    AccumulatorGrid b(whole);
    for (AccumulatorGrid* g : {&a, &b}) {
        g->add(2, 3, CellValue::number(1));
        g->add(2, 3, CellValue::text("2"));
        g->add(4, 10, CellValue::number(5));
    }
    for (const AccumulatorGrid* g : {&a, &b}) {
        EXPECT_EQ(g->total(2, 3), CellValue::number(3));
        EXPECT_EQ(g->total(4, 10), CellValue::number(5));
        EXPECT_TRUE(g->total(3, 5).isEmpty());
        EXPECT_EQ(g->heldCells(), 2u);
        int visited = 0;
        g->forEachTotal([&](int column, int row, const CellValue&) {
            EXPECT_TRUE((column == 2 && row == 3) || (column == 4 && row == 10));
            ++visited;
        });
        EXPECT_EQ(visited, 2);
    }
}

#ifdef __GLIBC__
TEST(AccumulatorGrid, MemoryFollowsTheCellsHeldNotTheArea) {
    const size_t before = mallinfo2().uordblks;
    AccumulatorGrid g(RangeBounds{1, 1, 256, 65536});
    for (int row = 1; row <= 65536; row += 4096) g.add(256, row, CellValue::number(row));
    const size_t used = mallinfo2().uordblks - before;
    EXPECT_LT(used, 64u * 1024u) << "a1:iv65536 with 16 values took " << used << " bytes";
    EXPECT_EQ(g.total(256, 4097), CellValue::number(4097));
}
#endif

TEST(StatusTexts, RoundingHalvesToEven) {
    EXPECT_EQ(roundedShare(20, 1, 8), 2);    // 2.5 -> 2
    EXPECT_EQ(roundedShare(20, 7, 40), 4);   // 3.5 -> 4
    EXPECT_EQ(roundedShare(100, 1, 200), 0); // 0.5 -> 0
    EXPECT_EQ(roundedShare(100, 3, 200), 2); // 1.5 -> 2
    EXPECT_EQ(roundedShare(100, 2, 3), 67);
    EXPECT_EQ(roundedShare(100, 1, 0), 0);
    EXPECT_EQ(progressBar(1, 8), "||");
    EXPECT_EQ(progressBar(3, 3), std::string(20, '|'));
    EXPECT_EQ(paddedProgressBar(1, 4), std::string(5, '|') + std::string(15, ' '));
    EXPECT_EQ(paddedProgressBar(9, 4), std::string(20, '|'));  // past 100% the bar stays full
    EXPECT_EQ(percentText(1, 8), "12%");                      // 12.5 -> 12
    EXPECT_EQ(percentText(3, 8), "38%");                      // 37.5 -> 38
    EXPECT_EQ(percentText(9, 4), "225%");
}

TEST(StatusTexts, CellsAndCaptions) {
    EXPECT_EQ(cellText(8, 20, false), "单元格:\r[h,20]");
    EXPECT_EQ(cellText(27, 1, false), "单元格:\r[aa,1]");
    EXPECT_EQ(cellText(8, 20, true), "------完毕------");
    EXPECT_EQ(progressCaption(1, 3, "0:0:41"), "总进程：1/3  用时0:0:41");
    EXPECT_EQ(progressCaption(3, 3, "0:1:15"), "-----工作完毕,用时0:1:15-----");
}

TEST(ElapsedTime, DifferencesOfTimesOfDay) {
    ElapsedTime t;
    t.add({10, 0, 0}, {10, 0, 30});
    t.add({10, 0, 30}, {10, 1, 15});
    EXPECT_EQ(t.text(), "0:1:15");

    ElapsedTime borrow;
    borrow.add({10, 0, 50}, {11, 0, 10});
    EXPECT_EQ(borrow.text(), "0:59:20");

    ElapsedTime carry;
    carry.add({9, 0, 0}, {9, 59, 59});
    carry.add({9, 59, 59}, {10, 0, 2});
    EXPECT_EQ(carry.text(), "1:0:2");

    ElapsedTime midnight;
    midnight.add({23, 59, 50}, {0, 0, 5});
    EXPECT_EQ(midnight.text(), "0:0:15");
}

}  // namespace
}  // namespace sbx
