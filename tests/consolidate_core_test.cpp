// The computing core: adding cell values and the value written back, the totals of an
// area, the status texts and the elapsed-time arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <string>
#include <vector>

#include "consolidate/status/run_clock.h"
#include "consolidate/status/status_texts.h"
#include "spreadsheet/area_totals.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/typed_number.h"

namespace sbx {
namespace {

TEST(TextThatReadsAsANumber, AcceptedSyntax) {
    const std::vector<std::pair<std::string, double>> numbers = {
        {"12", 12}, {" 12 ", 12}, {"-3.5", -3.5}, {"+7", 7}, {"1,234", 1234}, {"12,345,678.5", 12345678.5},
        {".5", 0.5}, {"5.", 5}, {"1e3", 1000}, {"2.5E-1", 0.25}, {"0", 0}};
    for (const auto& [text, value] : numbers) {
        const auto n = parseTypedNumber(text);
        ASSERT_TRUE(n.has_value()) << text;
        EXPECT_DOUBLE_EQ(*n, value) << text;
    }
    for (const char* text : {"", " ", "合计", "12a", "1,23", "1234,567", ",123", "e5", "1e", "--1", ".", "1 2", "0x10"}) {
        EXPECT_FALSE(parseTypedNumber(text).has_value()) << text;
    }
}

CellValue totalOf(const std::vector<CellValue>& values) {
    CellTotal total;
    for (const auto& v : values) total.add(v);
    return total.written();
}

// The one set of value rules of both modes, case by case.
TEST(CellTotal, NumbersLabelsDatesAndZeros) {
    using V = CellValue;
    struct Case {
        const char* what;
        std::vector<V> values;
        V written;
    };
    const std::vector<Case> cases = {
        {"5 and blanks", {V(), V::number(5), V()}, V::number(5)},
        {"blank everywhere: an empty cell", {V(), V()}, V()},
        {"zeros: an empty cell", {V::number(0), V::text("0.0")}, V()},
        {"values that cancel: an empty cell", {V::number(5), V::number(-5)}, V()},
        {"numbers add", {V::number(1.5), V::number(2.25)}, V::number(3.75)},
        {"texts 12 and 12 add as numbers", {V::text("12"), V::text("12")}, V::number(24)},
        {"number 12 and text 12", {V::number(12), V::text("12")}, V::number(24)},
        {"grouped text", {V::text(" 1,000 "), V::number(1)}, V::number(1001)},
        {"label then number", {V::text("合计"), V::number(5)}, V::number(5)},
        {"labels only", {V::text("合计"), V::text("合计")}, V()},
        {"error adds nothing", {V::number(5), V::error(error_code::Div0), V::number(1)}, V::number(6)},
        {"errors only", {V::error(error_code::NA)}, V()},
        {"booleans add nothing", {V::number(5), V::boolean(true)}, V::number(5)},
        {"a date-formatted amount among amounts adds its number", {V::number(100), V::date(200), V::number(50)},
         V::number(350)},
        {"the amount after the date still counts", {V::date(200), V::number(50)}, V::number(250)},
        {"all dates: the latest", {V::date(45000), V(), V::date(45010.5), V::date(44000)}, V::date(45010.5)},
        {"dates and labels: the latest date", {V::date(45000), V::text("合计")}, V::date(45000)},
    };
    for (const auto& c : cases) EXPECT_EQ(totalOf(c.values), c.written) << c.what << ": " << describe(totalOf(c.values));
}

TEST(CellTotal, SaysWhatAddsNothingAndCountsDatesOf1904ByTheirStoredNumber) {
    CellTotal total;
    EXPECT_EQ(total.add(CellValue::number(1)), Contribution::Added);
    EXPECT_EQ(total.add(CellValue::text("12")), Contribution::Added);
    EXPECT_EQ(total.add(CellValue()), Contribution::Blank);
    for (const CellValue& v : {CellValue::text("合计"), CellValue::error(error_code::Ref), CellValue::boolean(false)}) {
        EXPECT_EQ(total.add(v), Contribution::AddsNothing) << describe(v);
    }
    // A 1904 workbook stores 200 for what reads as the 1900 serial 1662.
    EXPECT_EQ(total.add(CellValue::date(200 + kDate1904Offset), true), Contribution::Added);
    EXPECT_EQ(total.written(), CellValue::number(213));
}

// Plain addition drifts: ten times 0.1 gives 0.9999999999999999, and a small amount after a
// large one can vanish for good. The totals are the correctly rounded sums.
TEST(CellTotal, TotalsDoNotDriftWithTheNumberOrOrderOfAmounts) {
    using V = CellValue;
    EXPECT_EQ(totalOf(std::vector<V>(10, V::number(0.1))), V::number(1.0));
    EXPECT_EQ(totalOf(std::vector<V>(1000, V::text("0.01"))), V::number(10.0));
    EXPECT_EQ(totalOf({V::number(1e16), V::number(1), V::number(-1e16)}), V::number(1));
    EXPECT_EQ(totalOf({V::number(0.1), V::number(0.2), V::number(-0.3)}), V::number(2.7755575615628914e-17));
    std::vector<V> amounts;
    for (int i = 1; i <= 999; ++i) amounts.push_back(V::number(i * 1.01));
    const V forwards = totalOf(amounts);
    std::reverse(amounts.begin(), amounts.end());
    EXPECT_EQ(totalOf(amounts), forwards);
    EXPECT_EQ(forwards, V::number(504495.0));  // math.fsum of the same doubles
}

TEST(AreaTotals, DenseAndSparseKeepTheSameTotals) {
    AreaTotals a(CellArea{3, 2, 10, 4});
    AreaTotals b(CellArea{1, 1, 65536, 256});
    for (AreaTotals* g : {&a, &b}) {
        g->add(3, 2, CellValue::number(1));
        g->add(3, 2, CellValue::text("2"));
        g->add(10, 4, CellValue::number(5));
    }
    for (const AreaTotals* g : {&a, &b}) {
        EXPECT_EQ(g->written(3, 2), CellValue::number(3));
        EXPECT_EQ(g->written(10, 4), CellValue::number(5));
        EXPECT_TRUE(g->written(5, 3).isEmpty());
        EXPECT_EQ(g->heldCells(), 2u);
        int visited = 0;
        g->forEachTouched([&](int row, int column, const CellValue&) {
            EXPECT_TRUE((column == 2 && row == 3) || (column == 4 && row == 10));
            ++visited;
        });
        EXPECT_EQ(visited, 2);
    }
}

#ifdef __GLIBC__
TEST(AreaTotals, MemoryFollowsTheCellsHeldNotTheArea) {
    const size_t before = mallinfo2().uordblks;
    AreaTotals g(CellArea{1, 1, 65536, 256});
    for (int row = 1; row <= 65536; row += 4096) g.add(row, 256, CellValue::number(row));
    const size_t used = mallinfo2().uordblks - before;
    EXPECT_LT(used, 64u * 1024u) << "a1:iv65536 with 16 values took " << used << " bytes";
    EXPECT_EQ(g.written(4097, 256), CellValue::number(4097));
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
    EXPECT_EQ(progressCaption(1, 3, "0:00:41"), "总进程：1/3  用时0:00:41");
    EXPECT_EQ(progressCaption(3, 3, "0:01:15"), "-----工作完毕,用时0:01:15-----");
}

TEST(ElapsedTime, DifferencesOfTimesOfDay) {
    ElapsedTime t;
    t.add({10, 0, 0}, {10, 0, 30});
    t.add({10, 0, 30}, {10, 1, 15});
    EXPECT_EQ(t.text(), "0:01:15");

    ElapsedTime borrow;
    borrow.add({10, 0, 50}, {11, 0, 10});
    EXPECT_EQ(borrow.text(), "0:59:20");

    ElapsedTime carry;
    carry.add({9, 0, 0}, {9, 59, 59});
    carry.add({9, 59, 59}, {10, 0, 2});
    EXPECT_EQ(carry.text(), "1:00:02");

    ElapsedTime midnight;
    midnight.add({23, 59, 50}, {0, 0, 5});
    EXPECT_EQ(midnight.text(), "0:00:15");
}

}  // namespace
}  // namespace sbx
