// The evaluator against the spreadsheet application's rules, one case a line: a formula in
// reverse Polish notation over a small sheet, and the result the application shows.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "spreadsheet/xls/formula_evaluator.h"
#include "spreadsheet/xls/formula_functions.h"

namespace sbx::xls::formula {
namespace {

// The sheet every case sees (sheet 0; sheet 1 holds Z1 = 100 only):
//   A1 1   A2 2   A3 "3" (text)   A4 TRUE   A5 empty   A6 "abc"   A7 #N/A
//   B1 10  B2 20  B3 30           B4 40     B5 ""      B6 -2.5
//   C1 "Apple"  C2 "apple pie"  C3 "Banana"  C4 7
class TestCells final : public CellSource {
public:
    TestCells() {
        put(0, "A1", CellValue::number(1));
        put(0, "A2", CellValue::number(2));
        put(0, "A3", CellValue::text("3"));
        put(0, "A4", CellValue::boolean(true));
        put(0, "A6", CellValue::text("abc"));
        put(0, "A7", CellValue::error(error_code::NA));
        put(0, "B1", CellValue::number(10));
        put(0, "B2", CellValue::number(20));
        put(0, "B3", CellValue::number(30));
        put(0, "B4", CellValue::number(40));
        put(0, "B5", CellValue::text(""));
        put(0, "B6", CellValue::number(-2.5));
        put(0, "C1", CellValue::text("Apple"));
        put(0, "C2", CellValue::text("apple pie"));
        put(0, "C3", CellValue::text("Banana"));
        put(0, "C4", CellValue::number(7));
        put(1, "Z1", CellValue::number(100));
    }
    CellValue value(uint32_t sheet, uint32_t row, uint32_t column) const override {
        const auto it = cells_.find({sheet, row, column});
        return it == cells_.end() ? CellValue() : it->second;
    }
    void forEach(uint32_t sheet, const Area& area,
                 const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const override {
        for (const auto& [at, v] : cells_) {
            const auto [s, r, c] = at;
            if (s == sheet && r >= area.firstRow && r <= area.lastRow && c >= area.firstColumn && c <= area.lastColumn) {
                visit(r, c, v);
            }
        }
    }

private:
    void put(uint32_t sheet, const std::string& a1, CellValue v) {
        cells_[{sheet, static_cast<uint32_t>(std::stoi(a1.substr(1)) - 1), static_cast<uint32_t>(a1[0] - 'A')}] = v;
    }
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, CellValue> cells_;
};

const std::map<std::string, uint16_t> kFunctions = {
    {"COUNT", 0}, {"IF", 1}, {"ISERROR", 3}, {"SUM", 4}, {"AVERAGE", 5}, {"MIN", 6}, {"MAX", 7},
    {"ABS", 24}, {"INT", 25}, {"ROUND", 27}, {"AND", 36}, {"OR", 37}, {"NOT", 38}, {"ISNUMBER", 128},
    {"COUNTA", 169}, {"ROUNDUP", 212}, {"ROUNDDOWN", 213}, {"SUMPRODUCT", 228}, {"SUMIF", 345},
    {"COUNTIF", 346}, {"VLOOKUP", 102}, {"MOD", 39}};

Area areaOf(const std::string& text, uint32_t sheet) {
    auto cell = [](const std::string& a1, uint32_t& row, uint32_t& column) {
        column = static_cast<uint32_t>(a1[0] - 'A');
        row = static_cast<uint32_t>(std::stoi(a1.substr(1)) - 1);
    };
    Area a;
    a.firstSheet = a.lastSheet = sheet;
    const auto colon = text.find(':');
    cell(text.substr(0, colon), a.firstRow, a.firstColumn);
    if (colon == std::string::npos) {
        a.lastRow = a.firstRow;
        a.lastColumn = a.firstColumn;
    } else {
        cell(text.substr(colon + 1), a.lastRow, a.lastColumn);
    }
    return a;
}

// Words: 12.5, "text", TRUE, FALSE, #DIV/0!, A1, A1:B3 (reference class), @A1:B3 (array
// class), $A1 (value class), S2!Z1 (second sheet), + - * / ^ & < <= = >= > <> and the range
// operator ':' written as 'range', neg, pos, pct, _ (missing argument), NAME/count.
std::vector<Token> rpn(const std::string& text) {
    std::vector<Token> out;
    std::istringstream in(text);
    std::string w;
    static const std::map<std::string, char> binary = {{"+", '+'}, {"-", '-'}, {"*", '*'}, {"/", '/'}, {"^", '^'},
                                                       {"&", '&'}, {"<", '<'}, {"<=", 'l'}, {"=", '='}, {">=", 'g'},
                                                       {">", '>'}, {"<>", 'n'}, {"range", ':'}, {"union", ','}};
    while (in >> w) {
        Token t;
        if (binary.contains(w)) {
            t.kind = TokenKind::Binary;
            t.op = binary.at(w);
        } else if (w == "neg" || w == "pos" || w == "pct") {
            t.kind = TokenKind::Unary;
            t.op = w == "neg" ? '-' : w == "pos" ? '+' : '%';
        } else if (w == "_") {
            t.kind = TokenKind::Missing;
        } else if (w.front() == '"') {
            t.value = CellValue::text(w.substr(1, w.size() - 2));
        } else if (w == "TRUE" || w == "FALSE") {
            t.value = CellValue::boolean(w == "TRUE");
        } else if (w == "#DIV/0!") {
            t.value = CellValue::error(error_code::Div0);
        } else if (w.find('/') != std::string::npos) {
            t.kind = TokenKind::Function;
            t.function = kFunctions.at(w.substr(0, w.find('/')));
            t.argumentCount = static_cast<uint8_t>(std::stoi(w.substr(w.find('/') + 1)));
        } else if (std::isdigit(static_cast<unsigned char>(w.front())) || w.front() == '.' ||
                   (w.size() > 1 && w.front() == '-')) {
            t.value = CellValue::number(std::stod(w));
        } else {
            t.kind = TokenKind::Reference;
            t.operandClass = OperandClass::Reference;
            uint32_t sheet = 0;
            if (w.front() == '@') {
                t.operandClass = OperandClass::Array;
                w.erase(0, 1);
            } else if (w.front() == '$') {
                t.operandClass = OperandClass::Value;
                w.erase(0, 1);
            }
            if (w.starts_with("S2!")) {
                sheet = 1;
                w.erase(0, 3);
            }
            t.area = areaOf(w, sheet);
            t.singleCell = w.find(':') == std::string::npos;
        }
        out.push_back(t);
    }
    return out;
}

struct Case {
    const char* rule;
    const char* formula;
    CellValue expected;
};

CellValue n(double v) { return CellValue::number(v); }
CellValue t(const char* s) { return CellValue::text(s); }
CellValue b(bool v) { return CellValue::boolean(v); }
CellValue e(uint8_t code) { return CellValue::error(code); }

const Case kCases[] = {
    // SUM: references give numbers only; direct arguments convert; errors win.
    {"SUM skips text, booleans and empty cells of a range", "A1:A6 SUM/1", n(3)},
    {"SUM counts direct text that reads as a number", "A1 \"4\" TRUE SUM/3", n(6)},
    {"SUM of direct text that is no number is #VALUE!", "A1 \"x\" SUM/2", e(error_code::Value)},
    {"SUM takes an error of its range", "A1:A7 SUM/1", e(error_code::NA)},
    {"SUM of a missing argument is 0", "A1 _ SUM/2", n(1)},
    {"tAttrSum over a range of another sheet", "S2!Z1 B1:B4 union SUM/1", n(200)},
    {"SUM of an array made by an operator", "@B1:B4 2 * SUM/1", n(200)},
    // AVERAGE, COUNT, COUNTA, MIN, MAX.
    {"AVERAGE of numbers only", "A1:A6 AVERAGE/1", n(1.5)},
    {"AVERAGE without numbers is #DIV/0!", "A5:A6 AVERAGE/1", e(error_code::Div0)},
    {"COUNT skips text, booleans and errors of a range", "A1:A7 COUNT/1", n(2)},
    {"COUNT counts direct booleans and text numbers", "TRUE \"5\" \"x\" COUNT/3", n(2)},
    {"COUNTA counts errors and empty strings", "A1:B7 COUNTA/1", n(12)},
    {"COUNT counts a missing argument", "A1 _ COUNT/2", n(2)},
    {"MIN over text only is 0", "A6 C1:C3 MIN/2", n(0)},
    {"MAX with a negative direct number", "B6 -1 neg MAX/2", n(1)},
    {"MIN finds the negative", "B1:B6 MIN/1", n(-2.5)},
    // ROUND and friends: decimal rounding, halves away from zero.
    {"ROUND halves away from zero", "2.5 0 ROUND/2", n(3)},
    {"ROUND negative halves away from zero", "-2.5 0 ROUND/2", n(-3)},
    {"ROUND 2.675 to 2 places is 2.68", "2.675 2 ROUND/2", n(2.68)},
    {"ROUND to tens", "1250 -2 ROUND/2", n(1300)},
    {"ROUND truncates the digits argument", "1.2345 2.9 ROUND/2", n(1.23)},
    {"ROUND of text that reads as a number", "A3 0 ROUND/2", n(3)},
    {"ROUNDUP goes away from zero", "-1.21 1 ROUNDUP/2", n(-1.3)},
    {"ROUNDUP of an exact value stays", "1.2 1 ROUNDUP/2", n(1.2)},
    {"ROUNDDOWN goes toward zero", "-1.99 0 ROUNDDOWN/2", n(-1)},
    {"INT rounds down", "-1.5 INT/1", n(-2)},
    {"ABS of text is #VALUE!", "A6 ABS/1", e(error_code::Value)},
    // IF, IS functions, logic.
    {"IF takes text TRUE", "\"true\" 1 2 IF/3", n(1)},
    {"IF of text that is no boolean is #VALUE!", "A6 1 2 IF/3", e(error_code::Value)},
    {"IF without the false branch is FALSE", "0 1 IF/2", b(false)},
    {"IF with a missing branch is 0", "1 _ 2 IF/3", n(0)},
    {"IF does not take the error of the branch it leaves", "1 5 #DIV/0! IF/3", n(5)},
    {"IF of an empty cell is FALSE", "A5 1 2 IF/3", n(2)},
    {"ISERROR of a division by zero", "1 0 / ISERROR/1", b(true)},
    {"ISNUMBER of text that reads as a number is FALSE", "A3 ISNUMBER/1", b(false)},
    {"AND skips text of a range", "A1:A6 AND/1", b(true)},
    {"AND of a range without booleans or numbers is #VALUE!", "C1:C3 AND/1", e(error_code::Value)},
    {"OR takes the error of its range", "A7 OR/1", e(error_code::NA)},
    {"NOT of a number", "0 NOT/1", b(true)},
    // Operators.
    {"text compares without letter case", "\"ABC\" \"abc\" =", b(true)},
    {"empty compares as 0", "A5 0 =", b(true)},
    {"empty compares as empty text", "A5 \"\" =", b(true)},
    {"text is greater than any number", "\"1\" 2 >", b(true)},
    {"booleans are greater than text", "TRUE \"z\" >", b(true)},
    {"an error compares as the error", "A7 1 <", e(error_code::NA)},
    {"0.1 + 0.2 equals 0.3", "0.1 0.2 + 0.3 =", b(true)},
    {"text that reads as a number takes part in arithmetic", "A3 2 *", n(6)},
    {"an empty cell is 0 in arithmetic", "A5 1 +", n(1)},
    {"division by zero", "1 A5 /", e(error_code::Div0)},
    {"0 to the power 0 is #NUM!", "0 0 ^", e(error_code::Num)},
    {"concatenation shows 15 digits", "1 3 / \"\" &", t("0.333333333333333")},
    {"concatenation of booleans and empties", "TRUE A5 & \"x\" &", t("TRUEx")},
    {"large numbers concatenate in E notation", "1e20 \"\" &", t("1E+20")},
    {"percent", "50 pct", n(0.5)},
    {"unary minus of text is a number", "A3 neg", n(-3)},
    {"unary plus keeps text", "A6 pos", t("abc")},
    {"errors of the left operand come first", "#DIV/0! A7 +", e(error_code::Div0)},
    {"a value-class range meets the formula's row", "$B1:B4", n(20)},  // evaluated at row 2
    {"a value-class range off the formula's row is #VALUE!", "$A1:B1", e(error_code::Value)},
    {"an empty result shows as 0", "A5", n(0)},
    {"the range operator", "A1 B2 range SUM/1", n(33)},
    // SUMIF, COUNTIF, SUMPRODUCT.
    {"SUMIF with a comparison", "B1:B4 \">15\" SUMIF/2", n(90)},
    {"SUMIF with a sum range", "A1:A4 \">=2\" B1:B4 SUMIF/3", n(20)},
    {"SUMIF matches text without letter case", "C1:C3 \"apple\" B1:B3 SUMIF/3", n(10)},
    {"SUMIF with wildcards", "C1:C3 \"app*\" B1:B3 SUMIF/3", n(30)},
    {"SUMIF with ? and a number criterion", "C1:C4 7 B1:B4 SUMIF/3", n(40)},
    {"SUMIF takes the text number as equal", "A1:A4 3 B1:B4 SUMIF/3", n(30)},
    {"COUNTIF of not-equal counts everything else", "A1:A4 \"<>1\" COUNTIF/2", n(3)},
    {"COUNTIF of empty cells", "A1:A6 \"=\" COUNTIF/2", n(1)},
    {"SUMPRODUCT treats text as 0", "@A1:A4 @B1:B4 SUMPRODUCT/2", n(50)},
    {"SUMPRODUCT of unequal shapes is #VALUE!", "@A1:A4 @B1:B3 SUMPRODUCT/2", e(error_code::Value)},
    {"SUMPRODUCT of a comparison array", "@B1:B4 15 > @B1:B4 * SUMPRODUCT/1", n(90)},
    {"SUMPRODUCT takes an error", "@A6:A7 SUMPRODUCT/1", e(error_code::NA)},
};

class EvaluatorRules : public testing::TestWithParam<Case> {};

TEST_P(EvaluatorRules, GivesTheApplicationsResult) {
    const Case& c = GetParam();
    const TestCells cells;
    const EvaluationSite site{FormulaSite{0, 1, 5}, false, {}};  // F2
    const CellValue v = Evaluator(cells, site).evaluate(rpn(c.formula));
    if (c.expected.kind() == CellKind::Number && v.kind() == CellKind::Number) {
        EXPECT_NEAR(v.numberValue(), c.expected.numberValue(), 1e-12 * std::max(1.0, std::fabs(c.expected.numberValue())))
            << c.rule;
    } else {
        EXPECT_EQ(v, c.expected) << c.rule << ": got " << describe(v);
    }
}

INSTANTIATE_TEST_SUITE_P(Functions, EvaluatorRules, testing::ValuesIn(kCases));

TEST(EvaluatorLimits, UnknownFunctionsAndNamesAreUnsupportedNotWrong) {
    const TestCells cells;
    const EvaluationSite site{FormulaSite{0, 0, 5}, false, {}};
    EXPECT_THROW(Evaluator(cells, site).evaluate(rpn("A1 B1:C4 2 FALSE VLOOKUP/4")), Unsupported);
    std::vector<Token> name(1);
    name[0].kind = TokenKind::Unknown;
    name[0].value = CellValue::text("uses a defined name");
    EXPECT_THROW(Evaluator(cells, site).evaluate(name), Unsupported);
    EXPECT_THROW(Evaluator(cells, site).evaluate(rpn("1 +")), Unsupported);  // tokens that do not add up
}

TEST(EvaluatorLimits, ArrayFormulaCellsTakeTheirElement) {
    const TestCells cells;
    Area range;
    range.firstRow = 0;
    range.lastRow = 3;
    range.firstColumn = range.lastColumn = 5;
    for (uint16_t row = 0; row < 4; ++row) {
        const EvaluationSite site{FormulaSite{0, row, 5}, true, range};
        const CellValue v = Evaluator(cells, site).evaluate(rpn("$B1:B4 2 *"));
        EXPECT_EQ(v, CellValue::number(20.0 * (row + 1))) << "row " << row;
    }
}

}  // namespace
}  // namespace sbx::xls::formula
