#include "spreadsheet/xlsx/formula_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/worksheet_name.h"
#include "spreadsheet/xls/formula_functions.h"
#include "spreadsheet/xlsx/sheet_content.h"

namespace sbx::xlsx {

using xls::formula::OperandClass;
using xls::formula::Token;
using xls::formula::TokenKind;

namespace {

constexpr int kMaxDepth = 200;  // nesting deeper than any real formula; keeps the stack bounded

class Unreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool isWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '$' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
}

// One end of a reference: "$B$3", "B3", "B" (whole column) or "3" (whole row), relative
// parts moved by the shift.
struct RefEnd {
    int row = 0;     // 0: none
    int column = 0;  // 0: none
    bool rowMoves = false, columnMoves = false;  // relative: no '$'
};

bool parseEnd(std::string_view word, int rowShift, int columnShift, RefEnd& end) {
    size_t i = 0;
    bool absColumn = false, absRow = false;
    if (i < word.size() && word[i] == '$') absColumn = true, ++i;
    size_t letters = 0;
    while (i + letters < word.size() && ((word[i + letters] >= 'A' && word[i + letters] <= 'Z') || (word[i + letters] >= 'a' && word[i + letters] <= 'z'))) ++letters;
    int column = 0;
    if (letters > 0) {
        const auto named = columnOfLetters(word.substr(i, letters));
        if (!named) return false;  // a name, not a column
        column = *named;
        i += letters;
    }
    if (i < word.size() && word[i] == '$') absRow = true, ++i;
    int row = 0;
    size_t digits = 0;
    while (i < word.size() && isDigit(word[i]) && digits < 8) row = row * 10 + (word[i++] - '0'), ++digits;
    if (i != word.size() || (letters == 0 && digits == 0) || row > kMaxRows || (digits > 0 && row == 0)) return false;
    if (letters == 0 && absColumn) absRow = true;
    end = {};
    if (letters > 0) end.column = absColumn ? column : column + columnShift;
    if (digits > 0) end.row = absRow ? row : row + rowShift;
    end.columnMoves = letters > 0 && !absColumn;
    end.rowMoves = digits > 0 && !absRow;
    return true;
}

struct ErrorLiteral {
    std::string_view text;
    uint8_t code;
};
constexpr ErrorLiteral kErrors[] = {
    {"#DIV/0!", error_code::Div0}, {"#N/A", error_code::NA},     {"#NAME?", error_code::Name},
    {"#NULL!", error_code::Null},  {"#NUM!", error_code::Num},   {"#REF!", error_code::Ref},
    {"#VALUE!", error_code::Value}, {"#GETTING_DATA", error_code::GettingData},
};

class Parser {
public:
    Parser(std::string_view text, const FormulaTextSite& site, const std::vector<std::string>& sheetNames)
        : f_(text), site_(site), names_(sheetNames) {}

    ParsedFormula run() {
        comparison(true);
        skipSpaces();
        if (i_ != f_.size()) fail("\"" + std::string(1, f_[i_]) + "\" where an operator belongs");
        return {std::move(out_), std::move(moving_), !offSheet_};
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw Unreadable(why + " at position " + std::to_string(i_ + 1));
    }
    char peek(size_t ahead = 0) const { return i_ + ahead < f_.size() ? f_[i_ + ahead] : '\0'; }
    bool skipSpaces() {
        const size_t begin = i_;
        while (peek() == ' ' || peek() == '\n' || peek() == '\r' || peek() == '\t') ++i_;
        return i_ != begin;
    }
    std::string_view readWord() {
        const size_t begin = i_;
        while (i_ < f_.size() && isWordChar(f_[i_])) ++i_;
        return f_.substr(begin, i_ - begin);
    }

    void emit(Token t) { out_.push_back(std::move(t)); }
    void constant(CellValue v) {
        Token t;
        t.kind = TokenKind::Constant;
        t.value = std::move(v);
        emit(std::move(t));
    }
    void unknown(const std::string& what, bool hidesReferences) {
        Token t;
        t.kind = TokenKind::Unknown;
        t.value = CellValue::text(what);
        t.hidesReferences = hidesReferences;
        emit(std::move(t));
    }
    void op(TokenKind kind, char o) {
        Token t;
        t.kind = kind;
        t.op = o;
        emit(std::move(t));
    }

    // Operators from the loosest binding to the tightest. `allowUnion`: a comma is the union
    // operator (inside parentheses) rather than the argument separator.
    void comparison(bool allowUnion) {
        concatenation(allowUnion);
        for (;;) {
            skipSpaces();
            char o = 0;
            size_t length = 2;
            if (peek() == '<' && peek(1) == '=') o = 'l';
            else if (peek() == '>' && peek(1) == '=') o = 'g';
            else if (peek() == '<' && peek(1) == '>') o = 'n';
            else if (peek() == '<' || peek() == '>' || peek() == '=') o = peek(), length = 1;
            else return;
            i_ += length;
            concatenation(allowUnion);
            op(TokenKind::Binary, o);
        }
    }
    void concatenation(bool allowUnion) {
        additive(allowUnion);
        while (skipSpaces(), peek() == '&') {
            ++i_;
            additive(allowUnion);
            op(TokenKind::Binary, '&');
        }
    }
    void additive(bool allowUnion) {
        multiplicative(allowUnion);
        while (skipSpaces(), peek() == '+' || peek() == '-') {
            const char o = f_[i_++];
            multiplicative(allowUnion);
            op(TokenKind::Binary, o);
        }
    }
    void multiplicative(bool allowUnion) {
        power(allowUnion);
        while (skipSpaces(), peek() == '*' || peek() == '/') {
            const char o = f_[i_++];
            power(allowUnion);
            op(TokenKind::Binary, o);
        }
    }
    void power(bool allowUnion) {
        percent(allowUnion);
        while (skipSpaces(), peek() == '^') {
            ++i_;
            percent(allowUnion);
            op(TokenKind::Binary, '^');
        }
    }
    void percent(bool allowUnion) {
        unary(allowUnion);
        while (skipSpaces(), peek() == '%') {
            ++i_;
            op(TokenKind::Unary, '%');
        }
    }
    // Negation binds tighter than ^ (-2^2 is 4) but looser than the reference operators.
    void unary(bool allowUnion) {
        skipSpaces();
        if (peek() == '-' || peek() == '+') {
            const char o = f_[i_++];
            if (++depth_ > kMaxDepth) fail("nesting too deep");
            unary(allowUnion);
            --depth_;
            op(TokenKind::Unary, o);
            return;
        }
        union_(allowUnion);
    }
    void union_(bool allowUnion) {
        intersection();
        while (allowUnion && (skipSpaces(), peek() == ',')) {
            ++i_;
            intersection();
            op(TokenKind::Binary, ',');
        }
    }
    void intersection() {
        range();
        for (;;) {
            const size_t save = i_;
            const bool spaced = skipSpaces();
            const char c = peek();
            if (spaced && c != '\0' && (isWordChar(c) || c == '\'' || c == '(')) {
                range();
                op(TokenKind::Binary, ' ');
            } else {
                i_ = save;
                return;
            }
        }
    }
    void range() {
        primary();
        while (peek() == ':') {
            ++i_;
            primary();
            op(TokenKind::Binary, ':');
        }
    }

    void primary() {
        skipSpaces();
        if (++depth_ > kMaxDepth) fail("nesting too deep");
        const char c = peek();
        if (c == '(') {
            ++i_;
            comparison(true);
            skipSpaces();
            if (peek() != ')') fail("a missing \")\"");
            ++i_;
        } else if (c == '"') {
            constant(CellValue::text(quoted('"')));
        } else if (c == '#') {
            constant(CellValue::error(errorLiteral()));
        } else if (c == '{') {
            arrayConstant();
        } else if (c == '\'') {
            const std::string sheet = quoted('\'');
            if (peek() != '!') fail("a quoted name without \"!\"");
            ++i_;
            sheetReference(sheet);
        } else if (c == '[') {
            externalReference();
        } else if (isDigit(c) || c == '.') {
            numberOrRows();
        } else if (c != '\0' && isWordChar(c)) {
            word();
        } else {
            fail(c == '\0' ? std::string("the formula ends where a value belongs") : "\"" + std::string(1, c) + "\" where a value belongs");
        }
        --depth_;
    }

    // "..." or '...' with the quote doubled inside.
    std::string quoted(char quote) {
        std::string text;
        for (++i_; i_ < f_.size(); ++i_) {
            if (f_[i_] == quote) {
                if (peek(1) != quote) {
                    ++i_;
                    return text;
                }
                ++i_;
            }
            text.push_back(f_[i_]);
        }
        fail("an unclosed quote");
    }

    uint8_t errorLiteral() {
        for (const auto& e : kErrors) {
            if (upper(f_.substr(i_, e.text.size())) == e.text) {
                i_ += e.text.size();
                return e.code;
            }
        }
        fail("an unknown error value");
    }

    CellValue arrayElement() {
        skipSpaces();
        const char c = peek();
        if (c == '"') return CellValue::text(quoted('"'));
        if (c == '#') return CellValue::error(errorLiteral());
        if (c == '-' || c == '+' || isDigit(c) || c == '.') {
            const bool negative = c == '-';
            if (c == '-' || c == '+') ++i_;
            const double v = number();
            return CellValue::number(negative ? -v : v);
        }
        const std::string w = upper(readWord());
        if (w == "TRUE" || w == "FALSE") return CellValue::boolean(w == "TRUE");
        fail("an array element that is no constant");
    }

    void arrayConstant() {
        ++i_;
        Token t;
        t.kind = TokenKind::Array;
        uint32_t columns = 0;
        for (;;) {
            t.array.push_back(arrayElement());
            ++columns;
            skipSpaces();
            const char c = peek();
            if (c == ',') {
                ++i_;
                continue;
            }
            if (c != ';' && c != '}') fail("an array constant without \"}\"");
            if (t.arrayRows == 0) t.arrayColumns = columns;
            if (columns != t.arrayColumns) fail("array rows of different lengths");
            ++t.arrayRows;
            columns = 0;
            ++i_;
            if (c == '}') break;
        }
        emit(std::move(t));
    }

    double number() {
        const size_t begin = i_;
        while (isDigit(peek())) ++i_;
        if (peek() == '.') {
            ++i_;
            while (isDigit(peek())) ++i_;
        }
        if ((peek() == 'E' || peek() == 'e') && (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
            i_ += 2;
            while (isDigit(peek())) ++i_;
        }
        const std::string text(f_.substr(begin, i_ - begin));
        if (text == ".") fail("a lone \".\"");
        // from_chars reads "1.5" in every locale (strtod follows the C locale's separator);
        // out of range it leaves the value as it is.
        double value = 0;
        if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc::result_out_of_range) {
            const bool tiny = text.find("e-") != std::string::npos || text.find("E-") != std::string::npos;
            value = tiny ? 0.0 : HUGE_VAL;
        }
        return value;
    }

    // "12.5", "1E+3", or whole rows "3:5".
    void numberOrRows() {
        const size_t begin = i_;
        while (isDigit(peek())) ++i_;
        if (peek() == ':' && i_ > begin && reference(site_.sheet, site_.sheet, f_.substr(begin, i_ - begin))) return;
        i_ = begin;
        constant(CellValue::number(number()));
    }

    void word() {
        const std::string_view w = readWord();
        const char next = peek();
        if (next == '(') return function(w);
        if (next == '!') {
            ++i_;
            return sheetReference(std::string(w));
        }
        if (next == ':') {
            // A 3-D reference "Sheet1:Sheet3!A1", or an area "A1:B2".
            const size_t save = i_;
            ++i_;
            const std::string_view last = readWord();
            if (peek() == '!') {
                ++i_;
                return sheetReference(std::string(w) + ":" + std::string(last));
            }
            i_ = save;
        }
        if (next == '[') {
            skipBrackets();
            return unknown("the table reference " + std::string(w) + "[...] is not computed here", true);
        }
        const std::string name = upper(w);
        if (name == "TRUE" || name == "FALSE") return constant(CellValue::boolean(name == "TRUE"));
        if (reference(site_.sheet, site_.sheet, w)) return;
        unknown("the defined name " + std::string(w) + " is not computed here", true);
    }

    void skipBrackets() {
        int level = 0;
        do {
            if (peek() == '\0') fail("an unclosed \"[\"");
            if (f_[i_] == '[') ++level;
            if (f_[i_] == ']') --level;
            ++i_;
        } while (level > 0);
    }

    // "[1]Sheet1!A1", "[1]!Name": cells of another workbook, which writes here do not change.
    void externalReference() {
        const size_t begin = i_;
        skipBrackets();
        // "[@Amount]", "[[#This Row],[Amount]]": a reference into the table the formula stands in.
        const std::string_view inside = f_.substr(begin + 1, i_ - begin - 2);
        if (inside.empty() || !std::all_of(inside.begin(), inside.end(), isDigit)) {
            return unknown("the table reference " + std::string(f_.substr(begin, i_ - begin)) + " is not computed here", true);
        }
        // "[0]!Name": a name of this workbook, which may read the written cells.
        if (inside == "0" && peek() == '!') {
            ++i_;
            const std::string_view name = refWord();
            return unknown("the defined name " + std::string(name) + " is not computed here", true);
        }
        if (peek() == '\'') quoted('\'');
        else readWord();
        if (peek() != '!') return unknown("a reference to another workbook is not computed here", false);
        ++i_;
        externalCells();
    }

    // The cells after "[1]Sheet!": "A1", "A1:B2", a name or "#REF!".
    void externalCells() {
        if (peek() == '#') {
            errorLiteral();
        } else {
            refWord();
            if (peek() == ':') ++i_, refWord();
        }
        unknown("a reference to another workbook is not computed here", false);
    }

    // The reference after "Sheet!": "A1", "A1:B2", "A:A", "3:5"; "Sheet1:Sheet3" names 3-D.
    void sheetReference(const std::string& sheets) {
        if (sheets.find('[') != std::string::npos) return externalCells();
        if (peek() == '#') return constant(CellValue::error(errorLiteral()));
        const size_t colon = sheets.find(':');
        const int first = sheetIndex(colon == std::string::npos ? sheets : sheets.substr(0, colon));
        const int last = colon == std::string::npos ? first : sheetIndex(sheets.substr(colon + 1));
        const std::string_view w = refWord();
        if (first < 0 || last < 0) return unknown("a reference to the sheet " + sheets + ", which the workbook lacks", false);
        const auto a = static_cast<uint32_t>(std::min(first, last));
        const auto b = static_cast<uint32_t>(std::max(first, last));
        if (!reference(a, b, w)) unknown("the defined name " + sheets + "!" + std::string(w) + " is not computed here", true);
    }

    std::string_view refWord() {
        const std::string_view w = readWord();
        if (w.empty()) fail("no reference after \"!\"");
        return w;
    }

    int sheetIndex(std::string_view name) const {
        for (size_t s = 0; s < names_.size(); ++s) {
            if (sameWorksheetName(names_[s], name)) return static_cast<int>(s);
        }
        return -1;
    }

    // `first` is read; an area's second end follows after ':'. False when `first` is no
    // reference (the cursor is then back after `first`).
    bool reference(uint32_t firstSheet, uint32_t lastSheet, std::string_view first) {
        const int rowShift = site_.row - site_.textRow;
        const int columnShift = site_.column - site_.textColumn;
        RefEnd a, b;
        if (!parseEnd(first, rowShift, columnShift, a)) return false;
        b = a;
        bool second = false;
        if (peek() == ':') {
            const size_t save = i_;
            ++i_;
            if (parseEnd(readWord(), rowShift, columnShift, b)) {
                second = true;
            } else {
                i_ = save;
                b = a;
            }
        }
        // Whole columns and rows come in pairs ("A:C", "1:3").
        const bool cell = a.row != 0 && a.column != 0;
        if (!cell && (!second || (a.row == 0) != (b.row == 0) || (a.column == 0) != (b.column == 0))) return false;
        if (second && cell && (b.row == 0 || b.column == 0)) return false;
        const int firstRow = a.row ? std::min(a.row, b.row) : 1, lastRow = a.row ? std::max(a.row, b.row) : kMaxRows;
        const int firstColumn = a.column ? std::min(a.column, b.column) : 1;
        const int lastColumn = a.column ? std::max(a.column, b.column) : kMaxColumns;
        if (firstRow < 1 || lastRow > kMaxRows || firstColumn < 1 || lastColumn > kMaxColumns) {
            constant(CellValue::error(error_code::Ref));  // moved off the sheet
            offSheet_ = true;
            return true;
        }
        const bool aFirstRow = !a.row || a.row <= b.row, aFirstColumn = !a.column || a.column <= b.column;
        const RefEnd& top = aFirstRow ? a : b;
        const RefEnd& bottom = aFirstRow ? b : a;
        const RefEnd& left = aFirstColumn ? a : b;
        const RefEnd& right = aFirstColumn ? b : a;
        if (top.rowMoves || bottom.rowMoves || left.columnMoves || right.columnMoves) {
            moving_.push_back({out_.size(), top.rowMoves, bottom.rowMoves, left.columnMoves, right.columnMoves});
        }
        Token t;
        t.kind = TokenKind::Reference;
        t.operandClass = arrayArguments_ ? OperandClass::Array : OperandClass::Reference;
        t.singleCell = cell && !second;
        t.area = {firstSheet, lastSheet, static_cast<uint32_t>(firstRow - 1), static_cast<uint32_t>(lastRow - 1),
                  static_cast<uint32_t>(firstColumn - 1), static_cast<uint32_t>(lastColumn - 1)};
        emit(std::move(t));
        return true;
    }

    void function(std::string_view w) {
        std::string name = upper(w);
        for (const std::string_view prefix : {"_XLFN.", "_XLWS."}) {
            if (name.starts_with(prefix)) name.erase(0, prefix.size());
        }
        ++i_;
        // SUMPRODUCT takes its arguments as arrays: the operators inside work element by element.
        const bool outer = arrayArguments_;
        arrayArguments_ = name == "SUMPRODUCT";
        size_t count = 0;
        skipSpaces();
        if (peek() == ')') {
            ++i_;
        } else {
            for (;;) {
                skipSpaces();
                if (peek() == ',' || peek() == ')') {
                    Token missing;
                    missing.kind = TokenKind::Missing;
                    emit(std::move(missing));
                } else {
                    comparison(false);
                }
                ++count;
                skipSpaces();
                if (peek() == ',') {
                    ++i_;
                    continue;
                }
                if (peek() != ')') fail("a missing \")\" after the arguments of " + name);
                ++i_;
                break;
            }
        }
        arrayArguments_ = outer;
        if (count >= 0xFF) fail("too many arguments");
        if (name == "INDIRECT" || name == "OFFSET") {
            return unknown("the function " + name + " is not computed here", true);
        }
        const auto number = xls::formula::computedFunctionNumber(name);
        if (!number) return unknown("the function " + name + " is not computed here", false);
        Token t;
        t.kind = TokenKind::Function;
        t.function = *number;
        t.argumentCount = static_cast<uint8_t>(count);
        emit(std::move(t));
    }

    std::string_view f_;
    size_t i_ = 0;
    FormulaTextSite site_;
    const std::vector<std::string>& names_;
    std::vector<Token> out_;
    bool arrayArguments_ = false;
    int depth_ = 0;
    std::vector<MovingReference> moving_;
    bool offSheet_ = false;
};

}  // namespace

ParsedFormula parseMovableFormulaText(std::string_view text, const FormulaTextSite& site,
                                      const std::vector<std::string>& sheetNames) {
    try {
        return Parser(text, site, sheetNames).run();
    } catch (const Unreadable& e) {
        Token t;
        t.kind = TokenKind::Unknown;
        t.value = CellValue::text(std::string("its formula text cannot be read: ") + e.what());
        t.hidesReferences = true;
        return {{t}, {}, true};
    }
}

std::vector<Token> parseFormulaText(std::string_view text, const FormulaTextSite& site,
                                    const std::vector<std::string>& sheetNames) {
    return parseMovableFormulaText(text, site, sheetNames).tokens;
}

std::optional<std::vector<Token>> movedTokens(const ParsedFormula& parsed, int rows, int columns) {
    if (!parsed.movable) return std::nullopt;
    std::vector<Token> out = parsed.tokens;
    for (const MovingReference& m : parsed.moving) {
        auto& a = out[m.token].area;
        int64_t firstRow = a.firstRow, lastRow = a.lastRow, firstColumn = a.firstColumn, lastColumn = a.lastColumn;
        if (m.firstRow) firstRow += rows;
        if (m.lastRow) lastRow += rows;
        if (m.firstColumn) firstColumn += columns;
        if (m.lastColumn) lastColumn += columns;
        if (firstRow > lastRow) std::swap(firstRow, lastRow);
        if (firstColumn > lastColumn) std::swap(firstColumn, lastColumn);
        if (firstRow < 0 || lastRow >= kMaxRows || firstColumn < 0 || lastColumn >= kMaxColumns) return std::nullopt;
        a.firstRow = static_cast<uint32_t>(firstRow);
        a.lastRow = static_cast<uint32_t>(lastRow);
        a.firstColumn = static_cast<uint32_t>(firstColumn);
        a.lastColumn = static_cast<uint32_t>(lastColumn);
    }
    return out;
}

}  // namespace sbx::xlsx
