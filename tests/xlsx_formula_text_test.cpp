// OOXML formula texts read into tokens and computed against a few known cells: what each
// text computes (operator precedence, sheet names, 3-D and whole row/column references,
// array constants, errors), and which texts stay uncomputed.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <tuple>

#include "spreadsheet/xls/formula_evaluator.h"
#include "spreadsheet/xlsx/formula_text.h"

namespace {

using sbx::CellKind;
using sbx::CellValue;
namespace f = sbx::xls::formula;
namespace ec = sbx::error_code;

const std::vector<std::string> kSheets{"Data", "My 'Sheet'", "Jan", "Feb"};

// Data: A1:A3 1 2 3, B1:B3 10 20 30, C1 "x", C2 TRUE; My 'Sheet': A1 100; Jan A1 7; Feb A1 8.
class Cells final : public f::CellSource {
public:
    Cells() {
        for (uint32_t r = 0; r < 3; ++r) {
            put(0, r, 0, CellValue::number(r + 1.0));
            put(0, r, 1, CellValue::number(10.0 * (r + 1)));
        }
        put(0, 0, 2, CellValue::text("x"));
        put(0, 1, 2, CellValue::boolean(true));
        put(1, 0, 0, CellValue::number(100));
        put(2, 0, 0, CellValue::number(7));
        put(3, 0, 0, CellValue::number(8));
    }
    CellValue value(uint32_t sheet, uint32_t row, uint32_t column) const override {
        const auto it = cells_.find({sheet, row, column});
        return it == cells_.end() ? CellValue() : it->second;
    }
    void forEach(uint32_t sheet, const f::Area& area,
                 const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const override {
        for (const auto& [at, v] : cells_) {
            const auto [s, r, c] = at;
            if (s == sheet && area.contains(s, r, c)) visit(r, c, v);
        }
    }

private:
    void put(uint32_t s, uint32_t r, uint32_t c, CellValue v) { cells_[{s, r, c}] = std::move(v); }
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, CellValue> cells_;
};

struct Case {
    const char* text;
    std::optional<CellValue> result;  // nothing: the evaluator reports it as not computed
    bool hidesReferences = false;     // it may read any cell
};

// Formula at Data!E10.
std::optional<CellValue> compute(const std::string& text, bool& hides, sbx::xlsx::FormulaTextSite site = {0, 10, 5, 10, 5},
                                 f::EvaluationSite where = {{0, 9, 4}, false, {}}) {
    const auto tokens = sbx::xlsx::parseFormulaText(text, site, kSheets);
    hides = false;
    for (const auto& t : tokens) hides = hides || t.hidesReferences;
    const Cells cells;
    try {
        return f::Evaluator(cells, where).evaluate(tokens);
    } catch (const f::Unsupported&) {
        return std::nullopt;
    }
}

TEST(XlsxFormulaText, ComputesWhatTheTextSays) {
    const auto n = [](double v) { return std::optional<CellValue>(CellValue::number(v)); };
    const auto b = [](bool v) { return std::optional<CellValue>(CellValue::boolean(v)); };
    const auto t = [](const char* v) { return std::optional<CellValue>(CellValue::text(v)); };
    const auto e = [](uint8_t v) { return std::optional<CellValue>(CellValue::error(v)); };
    const Case cases[] = {
        // Operators and their order.
        {"1+2*3", n(7)}, {"(1+2)*3", n(9)}, {"-2^2", n(4)}, {"2^3^2", n(64)}, {"10%", n(0.1)}, {"1+10%*10", n(2)},
        {"1+2&3", t("33")}, {" 1 +\n2 ", n(3)}, {"3>2", b(true)}, {"1<>1", b(false)}, {"2<=2", b(true)},
        {"\"A\"=\"a\"", b(true)}, {"1.5E+1+.5", n(15.5)}, {"2e-1*10", n(2)}, {"\"a\"&\"b\"\"c\"", t("ab\"c")},
        {"TRUE+TRUE", n(2)}, {"NOT(FALSE)", b(true)}, {"--A1", n(1)},
        // References: relative and absolute, other sheets, quoted names, 3-D, whole rows and columns.
        {"SUM(A1:A3)", n(6)}, {"SUM($A$1:A3,B1)", n(16)}, {"Data!B1+'My ''Sheet'''!A1", n(110)},
        {"data!$B$1*2", n(20)}, {"SUM(Jan:Feb!A1)", n(15)}, {"SUM('Jan:Feb'!A1)", n(15)}, {"SUM(A:A)", n(6)},
        {"SUM($A:B)", n(66)}, {"SUM(1:2)", n(33)}, {"SUM(Data!$2:$2)", n(22)},
        // The reference operators: union, intersection, range.
        {"SUM((A1,B1))", n(11)}, {"SUM(A1:B3 B1:B2)", n(30)}, {"A1:A3 B2", e(ec::Null)}, {"SUM(A1:A2:B3)", n(66)},
        // Functions, missing arguments, array constants and arrays.
        {"SUM({1,2;3,4})", n(10)}, {"IF(A1,,2)", n(0)}, {"IF(A1>5,\"big\",\"small\")", t("small")},
        {"ROUND(A1/3,2)", n(0.33)}, {"_xlfn.ROUNDUP(A2*1.234,1)", n(2.5)}, {"SUMPRODUCT(A1:A3*B1:B3)", n(140)},
        {"SUMPRODUCT(A1:A3,B1:B3)", n(140)}, {"COUNTIF(A1:B3,\">2\")", n(4)}, {"AND(A1>0,C2)", b(true)},
        {"SUMIF(A1:A3,\">1\",B1:B3)", n(50)}, {"IF(C1=\"x\",B3,0)", n(30)},
        // Errors.
        {"1/0", e(ec::Div0)}, {"#N/A", e(ec::NA)}, {"ISNA(#N/A)", b(true)}, {"#REF!+1", e(ec::Ref)},
        {"Data!#REF!", e(ec::Ref)}, {"SUM({1,#NUM!})", e(ec::Num)},
        // Not computed here; those that may read any cell say so.
        {"_xlfn.STDEV.S(A1:A3)", std::nullopt}, {"VLOOKUP(1,A1:B3,2,FALSE)", std::nullopt},
        {"[1]Sheet1!A1", std::nullopt}, {"'[2]Other sheet'!A1:B2", std::nullopt}, {"Nowhere!A1", std::nullopt},
        {"MyTotal*2", std::nullopt, true}, {"SUM(Table1[Amount])", std::nullopt, true}, {"[@Amount]*2", std::nullopt, true},
        {"SUM(Table1[[#This Row],[A]:[B]])", std::nullopt, true},
        {"INDIRECT(\"A1\")", std::nullopt, true}, {"SUM(OFFSET(A1,1,0))", std::nullopt, true},
        {"SUM(A1", std::nullopt, true}, {"1+", std::nullopt, true}, {"\"open", std::nullopt, true},
        {"{1,2;3}", std::nullopt, true}, {"A1)", std::nullopt, true},
    };
    for (const Case& c : cases) {
        bool hides = false;
        const auto got = compute(c.text, hides);
        EXPECT_EQ(got, c.result) << c.text;
        EXPECT_EQ(hides, c.hidesReferences) << c.text;
    }
}

TEST(XlsxFormulaText, SharedFormulasMoveRelativeReferencesAndArrayFormulasGiveEachCellItsElement) {
    struct Moved {
        const char* text;
        int row, column;  // where the shared formula's member stands; its text is written at E1
        double result;
    };
    for (const Moved& m : {Moved{"A1*2", 3, 5, 6}, Moved{"$A$1*2", 3, 5, 2}, Moved{"A$1+B1", 2, 5, 21},
                           Moved{"SUM($A1:A1)", 2, 6, 22}, Moved{"Data!A1", 3, 5, 3}}) {
        bool hides = false;
        const auto got = compute(m.text, hides, {0, m.row, m.column, 1, 5},
                                 {{0, static_cast<uint32_t>(m.row - 1), static_cast<uint32_t>(m.column - 1)}, false, {}});
        EXPECT_EQ(got, CellValue::number(m.result)) << m.text << " at row " << m.row << " column " << m.column;
    }
    bool hides = false;
    EXPECT_EQ(compute("A1*2", hides, {0, 1, 5, 3, 5}), CellValue::error(ec::Ref)) << "moved above row 1";
    // Tokens read once and moved are those of the text read where the cell stands.
    for (const char* text : {"SUM(D5:E$6)+$F5*Data!G$8", "SUM(D$7:D5)", "SUM(E:F)/SUM($6:7)", "MyName+D5", "D5+"}) {
        const auto once = sbx::xlsx::parseMovableFormulaText(text, {0, 5, 5, 5, 5}, kSheets);
        for (const auto& [rows, columns] : {std::pair{0, 0}, std::pair{3, 2}, std::pair{-2, 7}, std::pair{100, -3}}) {
            const auto moved = sbx::xlsx::movedTokens(once, rows, columns);
            const auto direct = sbx::xlsx::parseFormulaText(text, {0, 5 + rows, 5 + columns, 5, 5}, kSheets);
            ASSERT_TRUE(moved) << text;
            ASSERT_EQ(moved->size(), direct.size()) << text;
            for (size_t i = 0; i < direct.size(); ++i) {
                const auto& a = (*moved)[i].area;
                const auto& b = direct[i].area;
                EXPECT_TRUE(a.firstRow == b.firstRow && a.lastRow == b.lastRow && a.firstColumn == b.firstColumn &&
                            a.lastColumn == b.lastColumn && (*moved)[i].kind == direct[i].kind)
                    << text << " moved " << rows << "," << columns << " token " << i;
            }
        }
        if (!once.moving.empty()) {
            EXPECT_FALSE(sbx::xlsx::movedTokens(once, -7, 0)) << text << ": off the sheet, read at the cell instead";
        }
    }
    // {=A1:A3*B1:B3} over E1:E3: each cell shows its element.
    for (uint32_t r = 0; r < 3; ++r) {
        const f::EvaluationSite where{{0, r, 4}, true, {0, 0, 0, 2, 4, 4}};
        EXPECT_EQ(compute("A1:A3*B1:B3", hides, {0, 1, 5, 1, 5}, where), CellValue::number(10.0 * (r + 1) * (r + 1)));
    }
}

}  // namespace
