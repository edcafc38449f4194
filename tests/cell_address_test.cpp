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
        {"iw1", std::nullopt},            {"a65537", std::nullopt},          {"a0", std::nullopt},
        {"b 3", std::nullopt},            {" b3", std::nullopt},             {"b3 ", std::nullopt},
        {"b+3", std::nullopt},            {"b-3", std::nullopt},             {"a1x", std::nullopt},
        {"1a", std::nullopt},             {"abc1", std::nullopt},            {"", std::nullopt},
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

TEST(CellAddress, RangesRunForwardAndFormatBack) {
    EXPECT_EQ(parseCellRange("b3:d5"), (CellArea{3, 2, 5, 4}));
    EXPECT_EQ(parseCellRange("B4"), (CellArea{4, 2, 4, 2}));
    EXPECT_FALSE(parseCellRange("d5:b3"));
    EXPECT_FALSE(parseCellRange("ab3:z9"));  // two letters before one runs backwards
    EXPECT_FALSE(parseCellRange("b3:"));
    for (const char* text : {"a1", "b3:d5", "aa1:ad5", "iv65536", "a1:iv65536"}) {
        EXPECT_EQ(areaName(*parseCellRange(text)), text);
    }
    const std::pair<int, const char*> columns[] = {{1, "a"}, {8, "h"}, {26, "z"}, {27, "aa"}, {52, "az"}, {53, "ba"}, {256, "iv"}};
    for (const auto& [number, letters] : columns) EXPECT_EQ(columnLetters(number), letters) << number;
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
