// The one cell parser and column formatter, and the one rule for worksheet names: what the
// range entry, the command line and the engine all rely on.
#include <gtest/gtest.h>

#include <optional>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/worksheet_name.h"

namespace sbx {
namespace {

TEST(CellAddress, ReadsColumnLettersAndARowAndNothingElse) {
    struct Case {
        const char* text;
        std::optional<CellAddress> cell;
    };
    const Case cases[] = {
        {"a1", CellAddress{1, 1}},        {"B3", CellAddress{3, 2}},         {"aB3", CellAddress{3, 28}},
        {"iv65536", CellAddress{65536, 256}}, {"a03", CellAddress{3, 1}},   {"z9", CellAddress{9, 26}},
        {"iw1", CellAddress{1, 257}},     {"AA70000", CellAddress{70000, 27}}, {"a0", std::nullopt},
        {"xfd1048576", CellAddress{1048576, 16384}}, {"XFD1", CellAddress{1, 16384}}, {"abc1", CellAddress{1, 731}},
        {"xfe1", std::nullopt},           {"a1048577", std::nullopt},        {"abcd1", std::nullopt},
        {"a00000001", CellAddress{1, 1}}, {"$b$3", std::nullopt},
        {"b 3", std::nullopt},            {" b3", std::nullopt},             {"b3 ", std::nullopt},
        {"b+3", std::nullopt},            {"b-3", std::nullopt},             {"a1x", std::nullopt},
        {"1a", std::nullopt},             {"", std::nullopt},
        {"b", std::nullopt},              {"３", std::nullopt},              {"b99999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = parseCellAddress(c.text);
        EXPECT_EQ(got.has_value(), c.cell.has_value()) << c.text;
        if (got && c.cell) {
            EXPECT_EQ(*got, *c.cell) << c.text;
        }
    }
}

// References inside a workbook's files may fix their column and row with "$".
TEST(CellAddress, DollarsOnlyWhereAsked) {
    const std::pair<const char*, std::optional<CellAddress>> cases[] = {
        {"$B$3", CellAddress{3, 2}}, {"B$3", CellAddress{3, 2}},     {"$XFD1048576", CellAddress{1048576, 16384}},
        {"$$B3", std::nullopt},      {"B3$", std::nullopt},          {"$", std::nullopt},
        {"B$$3", std::nullopt},      {"$3", std::nullopt},
    };
    for (const auto& [text, cell] : cases) EXPECT_EQ(parseCellAddress(text, AddressForm::DollarsAllowed), cell) << text;
}

TEST(CellAddress, RangesRunForwardAndFormatBack) {
    EXPECT_EQ(parseCellRange("b3:d5"), (CellArea{3, 2, 5, 4}));
    EXPECT_EQ(parseCellRange("B4"), (CellArea{4, 2, 4, 2}));
    EXPECT_EQ(parseCellRange("xfd1:xfd1"), (CellArea{1, 16384, 1, 16384}));
    EXPECT_FALSE(parseCellRange("d5:b3"));
    EXPECT_FALSE(parseCellRange("ab3:z9"));  // two letters before one runs backwards
    EXPECT_FALSE(parseCellRange("b3:"));
    for (const char* text : {"a1", "b3:d5", "aa1:ad5", "iv65536", "a1:iv65536", "xfd1", "a1:xfd1048576"}) {
        EXPECT_EQ(areaName(*parseCellRange(text)), text);
    }
    EXPECT_EQ(areaName(*parseCellRange("aa70000:xfd1048576"), LetterCase::Upper), "AA70000:XFD1048576");
    const std::pair<int, const char*> columns[] = {{1, "a"},    {8, "h"},     {26, "z"},     {27, "aa"},   {52, "az"},
                                                   {53, "ba"},  {256, "iv"},  {702, "zz"},   {703, "aaa"}, {16384, "xfd"}};
    for (const auto& [number, letters] : columns) {
        EXPECT_EQ(columnLetters(number), letters) << number;
        EXPECT_EQ(columnOfLetters(letters), number) << letters;
    }
}

// The full grid has 2^34 cells: a position in an area needs more than 32 bits, and each
// position is one cell and back.
TEST(CellArea, PositionsReachEveryCellOfTheFullGrid) {
    const CellArea whole;
    EXPECT_EQ(whole.cellCount(), 1LL << 34);
    const CellArea area = *parseCellRange("b2:xfd1048576");
    for (const CellAddress cell : {CellAddress{2, 2}, CellAddress{2, 16384}, CellAddress{70000, 27}, CellAddress{1048576, 16384}}) {
        EXPECT_EQ(area.cellAt(area.positionOf(cell.row, cell.column)), cell) << cellName(cell);
    }
    EXPECT_EQ(area.positionOf(1048576, 16384) + 1, static_cast<uint64_t>(area.cellCount()));
    EXPECT_TRUE(parseCellRange("a1:iv65536")->validOn(kXlsGrid));
    EXPECT_FALSE(parseCellRange("a1:iw1")->validOn(kXlsGrid));
    EXPECT_FALSE(parseCellRange("a65537")->validOn(kXlsGrid));
}

TEST(WorksheetName, LetterCaseDoesNotMatterAndNothingElseDoes) {
    struct Pair {
        const char* a;
        const char* b;
        bool same;
    };
    const Pair pairs[] = {
        {"Sheet1", "SHEET1", true},     {"Sheet1", "sheet1", true},      {"Sheet1", "Sheet2", false},
        {"Sheet1", "Sheet1 ", false},   {"Übersicht", "üBERSICHT", true}, {"Łódź", "ŁÓDŹ", true},
        {"Лист1", "лист1", true},       {"ΣΥΝΟΛΟ", "συνολο", true},      {"ＳＵＭ", "ｓｕｍ", true},
        {"资产负债表", "资产负债表", true}, {"资产负债表", "资产负债", false}, {"a×b", "a÷b", false},
        {"\xff", "\xfe", false},        {"\xff", "\xff", true},          {"", "", true},
        {" 基本情况 ", " 基本情况 ", true}, {" 基本情况 ", "基本情况", false},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(sameWorksheetName(p.a, p.b), p.same) << p.a << " / " << p.b;
        EXPECT_EQ(sameWorksheetName(p.b, p.a), p.same) << p.b << " / " << p.a;
    }
}

}  // namespace
}  // namespace sbx
