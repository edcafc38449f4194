// Defined names in formulas: a name that stands for the same cells wherever it is used is
// followed; one with relative references, one that leads back to itself, or one whose
// definition is not known stays unknown (its formulas are left to the spreadsheet
// application), and none of them stops the reading.
#include <gtest/gtest.h>

#include "spreadsheet/xls/formula_cells.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "tests/biff_builder.h"

namespace sbx::xls::formula {
namespace {

using test::cat;
using test::put16;
using test::putF64;
using test::Records;
using test::u16s;

// NAME with a one-letter name and the given formula tokens.
std::vector<uint8_t> nameRecord(char letter, const std::vector<uint8_t>& rgce) {
    auto body = cat({u16s({0}), {0, 1}, u16s({static_cast<uint16_t>(rgce.size()), 0, 0}), {0, 0, 0, 0, 0}});
    body.push_back(static_cast<uint8_t>(letter));
    body.insert(body.end(), rgce.begin(), rgce.end());
    return body;
}

// FORMULA at column A of `row` with the given tokens and a cached 0.
std::vector<uint8_t> formulaRecord(uint16_t row, const std::vector<uint8_t>& rgce) {
    auto body = test::numberBody(row, 0, 0, 15);
    put16(body, 0);
    body.insert(body.end(), {0, 0, 0, 0});
    put16(body, static_cast<uint16_t>(rgce.size()));
    body.insert(body.end(), rgce.begin(), rgce.end());
    return body;
}

std::vector<uint8_t> ptgName(uint8_t ptg, uint16_t index) { return cat({{ptg}, u16s({index, 0})}); }

std::vector<FormulaCell> formulasOf(const Records& names, const Records& formulas) {
    Records globals;
    for (int i = 0; i < 16; ++i) globals.emplace_back(0x00E0, test::xfBody(0));
    globals.emplace_back(0x01AE, u16s({1, 0x0401}));    // SUPBOOK: this workbook
    globals.emplace_back(0x0017, u16s({1, 0, 0, 0}));   // EXTERNSHEET: Sheet1
    globals.insert(globals.end(), names.begin(), names.end());
    auto reader = WorkbookReader::fromBytes(test::oneSheetWorkbook(globals, formulas), "names.xls");
    return readFormulaCells(reader);
}

TEST(DefinedNames, AreFollowedWhereTheyMeanTheSameCellsEverywhere) {
    std::vector<uint8_t> constant{0x1F};
    putF64(constant, 0.5);
    const Records names = {
        {0x0018, nameRecord('A', cat({{0x3B}, u16s({0, 1, 5, 1, 1})}))},          // Sheet1!$B$2:$B$6
        {0x0018, nameRecord('R', cat({{0x3A}, u16s({0, 0, 0xC000})}))},           // relative: A1 from where it is used
        {0x0018, nameRecord('L', ptgName(0x23, 3))},                              // itself
        {0x0018, nameRecord('K', constant)},                                      // 0.5
        {0x0018, nameRecord('N', cat({ptgName(0x43, 4), {0x1E}, u16s({2}), {0x05}}))},  // K*2
        {0x0018, nameRecord('X', cat({{0x1E}, u16s({1}), {0xFF}}))},             // a token nobody knows
    };
    const Records formulas = {
        {0x0006, formulaRecord(0, cat({ptgName(0x23, 1), {0x22, 0x01}, u16s({4})}))},  // =SUM(A)
        {0x0006, formulaRecord(1, ptgName(0x43, 2))},                                  // =R
        {0x0006, formulaRecord(2, ptgName(0x43, 3))},                                  // =L
        {0x0006, formulaRecord(3, cat({ptgName(0x43, 5), {0x1E}, u16s({1}), {0x03}}))},  // =N+1
        {0x0006, formulaRecord(4, ptgName(0x43, 6))},                                  // =X
        {0x0006, formulaRecord(5, ptgName(0x43, 99))},                                 // no such name
    };
    const auto cells = formulasOf(names, formulas);
    ASSERT_EQ(cells.size(), 6u);

    const auto& sum = cells[0].tokens;
    ASSERT_EQ(sum.size(), 2u) << cells[0].undecodable;
    EXPECT_EQ(sum[0].kind, TokenKind::Reference);
    EXPECT_EQ(sum[0].operandClass, OperandClass::Reference);
    EXPECT_EQ(sum[0].area.firstRow, 1u);
    EXPECT_EQ(sum[0].area.lastRow, 5u);
    EXPECT_EQ(sum[0].area.firstColumn, 1u);
    EXPECT_EQ(sum[0].area.lastColumn, 1u);
    EXPECT_EQ(sum[1].kind, TokenKind::Function);

    for (const size_t unknown : {1u, 2u, 4u, 5u}) {
        ASSERT_EQ(cells[unknown].tokens.size(), 1u) << "row " << unknown + 1;
        EXPECT_EQ(cells[unknown].tokens[0].kind, TokenKind::Unknown) << "row " << unknown + 1;
        EXPECT_TRUE(cells[unknown].tokens[0].hidesReferences) << "row " << unknown + 1;
    }

    // =N+1 with N = K*2 and K = 0.5: the names unfold into 0.5 2 * 1 +.
    const auto& nested = cells[3].tokens;
    ASSERT_EQ(nested.size(), 5u);
    EXPECT_EQ(nested[0].value, CellValue::number(0.5));
    EXPECT_EQ(nested[1].value, CellValue::number(2));
    EXPECT_EQ(nested[2].op, '*');
    EXPECT_EQ(nested[3].value, CellValue::number(1));
    EXPECT_EQ(nested[4].op, '+');
}

// A long chain of names, each standing for the next, ends as unknown, not in a stack overflow.
TEST(DefinedNames, AChainLongerThanAnyoneWritesStaysUnknown) {
    Records names;
    constexpr uint16_t kChain = 5000;
    for (uint16_t i = 1; i < kChain; ++i) names.emplace_back(0x0018, nameRecord('C', ptgName(0x43, i + 1)));
    names.emplace_back(0x0018, nameRecord('E', cat({{0x1E}, u16s({7})})));
    const auto cells = formulasOf(names, {{0x0006, formulaRecord(0, ptgName(0x43, 1))},
                                          {0x0006, formulaRecord(1, ptgName(0x43, kChain - 3))}});
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0].tokens.at(0).kind, TokenKind::Unknown);
    // A short tail of the same chain is followed to its constant.
    ASSERT_EQ(cells[1].tokens.size(), 1u);
    EXPECT_EQ(cells[1].tokens[0].value, CellValue::number(7));
}

}  // namespace
}  // namespace sbx::xls::formula
