#include "spreadsheet/xls/formula_functions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "spreadsheet/compensated_sum.h"
#include "spreadsheet/xls/formula_evaluator.h"

namespace sbx::xls::formula {

namespace {

namespace fn {
constexpr uint16_t Count = 0, If = 1, IsNa = 2, IsError = 3, Sum = 4, Average = 5, Min = 6, Max = 7, Na = 10;
constexpr uint16_t Abs = 24, Int = 25, Round = 27, True = 34, False = 35, And = 36, Or = 37, Not = 38;
constexpr uint16_t IsText = 127, IsNumber = 128, IsBlank = 129, CountA = 169, RoundUp = 212, RoundDown = 213;
constexpr uint16_t SumProduct = 228, SumIf = 345, CountIf = 346;
}  // namespace fn

// The largest sheet of both formats: a SUMIF sum range may reach beyond its criteria range.
constexpr uint32_t kLastRow = 1048575, kLastColumn = 16383;

Value error(uint8_t code) { return Value::of(CellValue::error(code)); }
Value number(double v) {
    if (!std::isfinite(v)) return error(error_code::Num);
    return Value::of(CellValue::number(v));
}
Value boolean(bool b) { return Value::of(CellValue::boolean(b)); }

// Functions of single values do not spread over arrays here.
CellValue single(const Value& v, const Evaluator& ev) {
    if (ev.inArrayFormula() && (v.kind == Value::Kind::Array ||
                                (v.kind == Value::Kind::Reference &&
                                 (v.areas.size() != 1 || v.areas.front().rows() * v.areas.front().columns() > 1)))) {
        throw Unsupported("a function of one value given an array in an array formula");
    }
    return ev.scalar(v);
}

// The numbers of SUM, AVERAGE, MIN and MAX: from references and arrays only numbers count;
// a value given directly counts when it converts to a number. The first error wins.
struct Numbers {
    std::vector<double> values;
    std::optional<uint8_t> error;
};
Numbers collectNumbers(const std::vector<Value>& args, const Evaluator& ev) {
    Numbers out;
    for (const Value& a : args) {
        ev.forEachItem(a, [&](const CellValue& c, bool direct) {
            if (out.error) return;
            if (c.kind() == CellKind::Error) {
                out.error = c.errorCode();
                return;
            }
            if (c.kind() == CellKind::Number || c.kind() == CellKind::Date) {
                out.values.push_back(c.numberValue());
            } else if (direct) {
                const NumberOrError n = toNumber(c);
                if (n.error) {
                    out.error = n.error;
                } else {
                    out.values.push_back(n.number);
                }
            }
        });
        if (out.error) break;
    }
    return out;
}

// A sum with the rounding error of each addition carried along.
double accurateSum(const std::vector<double>& values) {
    CompensatedSum sum;
    for (double v : values) sum.add(v);
    return sum.value();
}

enum class Rounding : uint8_t { Nearest, Up, Down };

// `x` rounded to `digits` decimals on its 15 significant decimal digits, as the
// application's decimal rounding does (2.675 rounds to 2.68); halves away from zero.
double roundDecimal(double x, double digitsArgument, Rounding mode) {
    if (x == 0.0 || !std::isfinite(x)) return x;
    const double truncated = std::trunc(digitsArgument);
    if (truncated > 308 || truncated < -308) return mode == Rounding::Down || truncated > 0 ? x : 0.0;
    const int digits = static_cast<int>(truncated);
    // d.dddddddddddddde+XX, by to_chars: printf would follow the C locale's decimal separator.
    char buffer[40];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x), std::chars_format::scientific, 14).ptr;
    std::string mantissa;
    const char* p = buffer;
    for (; p != end && *p != 'e'; ++p) {
        if (*p != '.') mantissa.push_back(*p);
    }
    int exponent = 0;
    if (p != end) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    const int keep = exponent + 1 + digits;  // significant digits that stay
    if (keep >= static_cast<int>(mantissa.size())) return x;
    long long kept = 0;
    bool roundAway = false;
    if (keep >= 0) {
        for (int i = 0; i < keep; ++i) kept = kept * 10 + (mantissa[static_cast<size_t>(i)] - '0');
        const std::string rest = mantissa.substr(static_cast<size_t>(keep));
        switch (mode) {
            case Rounding::Nearest: roundAway = rest[0] >= '5'; break;
            case Rounding::Up: roundAway = rest.find_first_not_of('0') != std::string::npos; break;
            case Rounding::Down: break;
        }
    } else {
        roundAway = mode == Rounding::Up;  // every digit is discarded and none of them is zero
    }
    if (roundAway) ++kept;
    const std::string text = std::to_string(kept) + "e" + std::to_string(-digits);
    double magnitude = 0;
    std::from_chars(text.data(), text.data() + text.size(), magnitude);
    return x < 0 ? -magnitude : magnitude;
}

Value roundFunction(const std::vector<Value>& args, const Evaluator& ev, Rounding mode) {
    const NumberOrError x = toNumber(single(args[0], ev));
    if (x.error) return error(*x.error);
    const NumberOrError d = toNumber(single(args[1], ev));
    if (d.error) return error(*d.error);
    return number(roundDecimal(x.number, d.number, mode));
}

Value oneNumber(const std::vector<Value>& args, const Evaluator& ev, double (*f)(double)) {
    const NumberOrError x = toNumber(single(args[0], ev));
    if (x.error) return error(*x.error);
    return number(f(x.number));
}

Value logical(const std::vector<Value>& args, const Evaluator& ev, bool isAnd) {
    bool any = false;
    bool result = isAnd;
    std::optional<uint8_t> failure;
    for (const Value& a : args) {
        ev.forEachItem(a, [&](const CellValue& c, bool direct) {
            if (failure) return;
            if (c.kind() == CellKind::Error) {
                failure = c.errorCode();
                return;
            }
            bool b = false;
            if (c.kind() == CellKind::Number || c.kind() == CellKind::Date || c.kind() == CellKind::Boolean) {
                b = c.numberValue() != 0.0;
            } else if (direct) {
                uint8_t code = error_code::Value;
                const auto converted = toBoolean(c, code);
                if (!converted) {
                    failure = code;
                    return;
                }
                b = *converted;
            } else {
                return;  // text and empty cells of a reference do not count
            }
            any = true;
            result = isAnd ? (result && b) : (result || b);
        });
        if (failure) return error(*failure);
    }
    if (!any) return error(error_code::Value);
    return boolean(result);
}

// One condition of SUMIF and COUNTIF: an operator and a value, text with wildcards.
class Criterion {
public:
    explicit Criterion(const CellValue& c) {
        if (c.kind() != CellKind::Text) {
            operand_ = c.isEmpty() ? CellValue::number(0.0) : c;
            return;
        }
        std::string_view text = c.textValue();
        static const std::pair<const char*, char> ops[] = {{"<=", 'l'}, {">=", 'g'}, {"<>", 'n'},
                                                           {"<", '<'},  {">", '>'},  {"=", '='}};
        for (const auto& [prefix, op] : ops) {
            if (text.starts_with(prefix)) {
                op_ = op;
                text.remove_prefix(std::char_traits<char>::length(prefix));
                break;
            }
        }
        if (text.empty()) {
            operand_ = CellValue();
            return;
        }
        const NumberOrError n = toNumber(CellValue::text(std::string(text)));
        if (!n.error) {
            operand_ = CellValue::number(n.number);
        } else if (lowerAscii(text) == "true" || lowerAscii(text) == "false") {
            operand_ = CellValue::boolean(lowerAscii(text) == "true");
        } else {
            operand_ = CellValue::text(lowerAscii(text));
        }
    }

    bool matchesEmpty() const { return matches(CellValue()); }

    bool matches(const CellValue& cell) const {
        if (operand_.isEmpty()) {
            const bool blank = cell.isEmpty() || (cell.kind() == CellKind::Text && cell.textValue().empty());
            return op_ == 'n' ? !cell.isEmpty() : (op_ == '=' ? blank : false);
        }
        if (cell.kind() == CellKind::Error) return op_ == 'n';
        int order = 0;
        switch (operand_.kind()) {
            case CellKind::Number: {
                double v = 0.0;
                if (cell.kind() == CellKind::Number || cell.kind() == CellKind::Date) {
                    v = cell.numberValue();
                } else if (cell.kind() == CellKind::Text && op_ == '=') {
                    const NumberOrError n = toNumber(cell);
                    if (n.error) return false;
                    v = n.number;
                } else {
                    return op_ == 'n';
                }
                order = nearlyEqual(v, operand_.numberValue()) ? 0 : (v < operand_.numberValue() ? -1 : 1);
                break;
            }
            case CellKind::Boolean:
                if (cell.kind() != CellKind::Boolean) return op_ == 'n';
                order = compareValues(cell, operand_);
                break;
            default: {
                if (cell.kind() != CellKind::Text) return op_ == 'n';
                if (op_ == '=' || op_ == 'n') return wildcardMatch(lowerAscii(cell.textValue()), operand_.textValue()) == (op_ == '=');
                const int c = lowerAscii(cell.textValue()).compare(operand_.textValue());
                order = c < 0 ? -1 : c > 0 ? 1 : 0;
                break;
            }
        }
        switch (op_) {
            case '=': return order == 0;
            case 'n': return order != 0;
            case '<': return order < 0;
            case 'l': return order <= 0;
            case '>': return order > 0;
            default: return order >= 0;
        }
    }

private:
    static std::u32string codePoints(std::string_view s) {
        std::u32string out;
        for (size_t i = 0; i < s.size();) {
            const auto b = static_cast<unsigned char>(s[i]);
            const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            char32_t cp = n == 1 ? b : (b & (0xFF >> (n + 1)));
            for (size_t k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
            out.push_back(cp);
            i += n;
        }
        return out;
    }
    // '*' any run, '?' one character, '~' takes the next character as it is.
    static bool wildcardMatch(std::string_view textUtf8, std::string_view patternUtf8) {
        const std::u32string text = codePoints(textUtf8);
        const std::u32string pattern = codePoints(patternUtf8);
        size_t t = 0, p = 0, starP = std::u32string::npos, starT = 0;
        while (t < text.size()) {
            if (p < pattern.size() && pattern[p] == U'*') {
                starP = p++;
                starT = t;
            } else if (p < pattern.size() && pattern[p] == U'~' && p + 1 < pattern.size() && pattern[p + 1] == text[t]) {
                p += 2;
                ++t;
            } else if (p < pattern.size() && pattern[p] != U'~' && (pattern[p] == U'?' || pattern[p] == text[t])) {
                ++p;
                ++t;
            } else if (starP != std::u32string::npos) {
                p = starP + 1;
                t = ++starT;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == U'*') ++p;
        return p == pattern.size();
    }

    char op_ = '=';
    CellValue operand_;
};

// SUMIF and COUNTIF: visits the offset of each cell of the range that meets the criterion.
void forEachMatch(const Value& range, const Criterion& criterion, const Evaluator& ev,
                  const std::function<void(uint32_t row, uint32_t column)>& visit) {
    if (range.kind == Value::Kind::Reference && range.areas.size() == 1 &&
        range.areas.front().firstSheet == range.areas.front().lastSheet && !criterion.matchesEmpty()) {
        const Area& a = range.areas.front();
        ev.cells().forEach(a.firstSheet, a, [&](uint32_t row, uint32_t column, const CellValue& c) {
            if (criterion.matches(c)) visit(row - a.firstRow, column - a.firstColumn);
        });
        return;
    }
    const Matrix m = ev.matrix(range);
    for (uint32_t r = 0; r < m.rows; ++r) {
        for (uint32_t c = 0; c < m.columns; ++c) {
            if (criterion.matches(m.at(r, c))) visit(r, c);
        }
    }
}

Value sumIf(const std::vector<Value>& args, const Evaluator& ev) {
    const CellValue condition = single(args[1], ev);
    if (condition.kind() == CellKind::Error) return error(condition.errorCode());
    const Criterion criterion(condition);
    const Value& sumRange = args.size() == 3 && args[2].kind != Value::Kind::Missing ? args[2] : args[0];
    std::vector<double> values;
    std::optional<uint8_t> failure;
    if (sumRange.kind == Value::Kind::Reference) {
        if (sumRange.areas.size() != 1) return error(error_code::Value);
        const Area& s = sumRange.areas.front();
        forEachMatch(args[0], criterion, ev, [&](uint32_t r, uint32_t c) {
            if (failure || s.firstRow + r > kLastRow || s.firstColumn + c > kLastColumn) return;
            const CellValue v = ev.cells().value(s.firstSheet, s.firstRow + r, s.firstColumn + c);
            if (v.kind() == CellKind::Error) failure = v.errorCode();
            if (v.kind() == CellKind::Number || v.kind() == CellKind::Date) values.push_back(v.numberValue());
        });
    } else {
        const Matrix m = ev.matrix(sumRange);
        forEachMatch(args[0], criterion, ev, [&](uint32_t r, uint32_t c) {
            if (failure || r >= m.rows || c >= m.columns) return;
            const CellValue& v = m.at(r, c);
            if (v.kind() == CellKind::Error) failure = v.errorCode();
            if (v.kind() == CellKind::Number || v.kind() == CellKind::Date) values.push_back(v.numberValue());
        });
    }
    if (failure) return error(*failure);
    return number(accurateSum(values));
}

Value countIf(const std::vector<Value>& args, const Evaluator& ev) {
    const CellValue condition = single(args[1], ev);
    if (condition.kind() == CellKind::Error) return error(condition.errorCode());
    double count = 0;
    forEachMatch(args[0], Criterion(condition), ev, [&](uint32_t, uint32_t) { ++count; });
    return number(count);
}

Value sumProduct(const std::vector<Value>& args, const Evaluator& ev) {
    if (args.empty()) throw Unsupported("SUMPRODUCT without arguments");
    std::vector<Matrix> arrays;
    for (const Value& a : args) {
        if (a.kind == Value::Kind::Scalar && a.scalar.kind() == CellKind::Error) return a;
        arrays.push_back(ev.matrix(a));
        if (arrays.back().rows != arrays.front().rows || arrays.back().columns != arrays.front().columns) {
            return error(error_code::Value);
        }
    }
    std::vector<double> products;
    const size_t count = arrays.front().cells.size();
    for (size_t i = 0; i < count; ++i) {
        double product = 1.0;
        for (const Matrix& m : arrays) {
            const CellValue& c = m.cells[i];
            if (c.kind() == CellKind::Error) return error(c.errorCode());
            product *= (c.kind() == CellKind::Number || c.kind() == CellKind::Date) ? c.numberValue() : 0.0;
        }
        products.push_back(product);
    }
    return number(accurateSum(products));
}

Value countFunction(const std::vector<Value>& args, const Evaluator& ev, bool all) {
    double count = 0;
    for (const Value& a : args) {  // a missing argument counts, as a 0 given directly
        ev.forEachItem(a, [&](const CellValue& c, bool direct) {
            if (all) {
                if (!c.isEmpty() || direct) ++count;
            } else if (c.kind() == CellKind::Number || c.kind() == CellKind::Date) {
                ++count;
            } else if (direct && c.kind() != CellKind::Error && !toNumber(c).error) {
                ++count;
            }
        });
    }
    return number(count);
}

Value ifFunction(const std::vector<Value>& args, const Evaluator& ev) {
    const CellValue condition = single(args[0], ev);
    uint8_t code = error_code::Value;
    const auto chosen = toBoolean(condition, code);
    if (!chosen) return error(code);
    if (*chosen) {
        if (args.size() < 2) return boolean(true);
        return args[1].kind == Value::Kind::Missing ? number(0.0) : args[1];
    }
    if (args.size() < 3) return boolean(false);
    return args[2].kind == Value::Kind::Missing ? number(0.0) : args[2];
}

Value isFunction(const std::vector<Value>& args, const Evaluator& ev, uint16_t which) {
    const CellValue v = single(args[0], ev);
    switch (which) {
        case fn::IsError: return boolean(v.kind() == CellKind::Error);
        case fn::IsNa: return boolean(v.kind() == CellKind::Error && v.errorCode() == error_code::NA);
        case fn::IsNumber: return boolean(v.kind() == CellKind::Number || v.kind() == CellKind::Date);
        case fn::IsText: return boolean(v.kind() == CellKind::Text);
        default: return boolean(v.isEmpty() && args[0].kind == Value::Kind::Reference);
    }
}

using Evaluate = Value (*)(const std::vector<Value>&, const Evaluator&);

// One line per worksheet function known by its BIFF number: its name, the argument counts
// the evaluator accepts (a fixed count for the ptgFunc form when least == most), and how it
// is computed (nullptr: known by name only, never computed here).
struct FunctionInfo {
    uint16_t number;
    std::string_view name;
    uint8_t leastArguments;
    uint8_t mostArguments;
    Evaluate evaluate;
};

constexpr uint8_t kAny = 255;

constexpr FunctionInfo named(uint16_t number, std::string_view name) { return {number, name, 0, 0, nullptr}; }

Value sumFunction(const std::vector<Value>& args, const Evaluator& ev) {
    const Numbers n = collectNumbers(args, ev);
    if (n.error) return error(*n.error);
    return number(accurateSum(n.values));
}

Value averageFunction(const std::vector<Value>& args, const Evaluator& ev) {
    const Numbers n = collectNumbers(args, ev);
    if (n.error) return error(*n.error);
    if (n.values.empty()) return error(error_code::Div0);
    return number(accurateSum(n.values) / static_cast<double>(n.values.size()));
}

template <bool isMin>
Value extremeFunction(const std::vector<Value>& args, const Evaluator& ev) {
    const Numbers n = collectNumbers(args, ev);
    if (n.error) return error(*n.error);
    if (n.values.empty()) return number(0.0);
    double best = n.values.front();
    for (double v : n.values) best = isMin ? std::min(best, v) : std::max(best, v);
    return number(best);
}

Value notFunction(const std::vector<Value>& args, const Evaluator& ev) {
    uint8_t code = error_code::Value;
    const auto b = toBoolean(single(args[0], ev), code);
    return b ? boolean(!*b) : error(code);
}

template <uint16_t which>
Value isOf(const std::vector<Value>& args, const Evaluator& ev) { return isFunction(args, ev, which); }

constexpr FunctionInfo kFunctions[] = {
    // Computed.
    {fn::Count, "COUNT", 0, kAny, [](const auto& a, const auto& ev) { return countFunction(a, ev, false); }},
    {fn::If, "IF", 1, 3, ifFunction},
    {fn::IsNa, "ISNA", 1, 1, isOf<fn::IsNa>},
    {fn::IsError, "ISERROR", 1, 1, isOf<fn::IsError>},
    {fn::Sum, "SUM", 0, kAny, sumFunction},
    {fn::Average, "AVERAGE", 0, kAny, averageFunction},
    {fn::Min, "MIN", 0, kAny, extremeFunction<true>},
    {fn::Max, "MAX", 0, kAny, extremeFunction<false>},
    {fn::Na, "NA", 0, 0, [](const auto&, const auto&) { return error(error_code::NA); }},
    {fn::Abs, "ABS", 1, 1, [](const auto& a, const auto& ev) { return oneNumber(a, ev, [](double x) { return std::fabs(x); }); }},
    {fn::Int, "INT", 1, 1, [](const auto& a, const auto& ev) { return oneNumber(a, ev, [](double x) { return std::floor(x); }); }},
    {fn::Round, "ROUND", 2, 2, [](const auto& a, const auto& ev) { return roundFunction(a, ev, Rounding::Nearest); }},
    {fn::True, "TRUE", 0, 0, [](const auto&, const auto&) { return boolean(true); }},
    {fn::False, "FALSE", 0, 0, [](const auto&, const auto&) { return boolean(false); }},
    {fn::And, "AND", 0, kAny, [](const auto& a, const auto& ev) { return logical(a, ev, true); }},
    {fn::Or, "OR", 0, kAny, [](const auto& a, const auto& ev) { return logical(a, ev, false); }},
    {fn::Not, "NOT", 1, 1, notFunction},
    {fn::IsText, "ISTEXT", 1, 1, isOf<fn::IsText>},
    {fn::IsNumber, "ISNUMBER", 1, 1, isOf<fn::IsNumber>},
    {fn::IsBlank, "ISBLANK", 1, 1, isOf<fn::IsBlank>},
    {fn::CountA, "COUNTA", 0, kAny, [](const auto& a, const auto& ev) { return countFunction(a, ev, true); }},
    {fn::RoundUp, "ROUNDUP", 2, 2, [](const auto& a, const auto& ev) { return roundFunction(a, ev, Rounding::Up); }},
    {fn::RoundDown, "ROUNDDOWN", 2, 2, [](const auto& a, const auto& ev) { return roundFunction(a, ev, Rounding::Down); }},
    {fn::SumProduct, "SUMPRODUCT", 0, kAny, sumProduct},
    {fn::SumIf, "SUMIF", 2, 3, sumIf},
    {fn::CountIf, "COUNTIF", 2, 2, countIf},
    // Known by name, so that a message can say which function a formula needs.
    named(8, "ROW"), named(9, "COLUMN"), named(11, "NPV"), named(12, "STDEV"), named(13, "DOLLAR"), named(14,
    "FIXED"), named(15, "SIN"), named(16, "COS"), named(17, "TAN"), named(18, "ATAN"), named(19, "PI"), named(20,
    "SQRT"), named(21, "EXP"), named(22, "LN"), named(23, "LOG10"), named(26, "SIGN"), named(28, "LOOKUP"),
    named(29, "INDEX"), named(30, "REPT"), named(31, "MID"), named(32, "LEN"), named(33, "VALUE"), named(39, "MOD"),
    named(48, "TEXT"), named(63, "RAND"), named(64, "MATCH"), named(65, "DATE"), named(66, "TIME"), named(67,
    "DAY"), named(68, "MONTH"), named(69, "YEAR"), named(70, "WEEKDAY"), named(74, "NOW"), named(77, "ROWS"),
    named(78, "COLUMNS"), named(82, "SEARCH"), named(83, "TRANSPOSE"), named(86, "TYPE"), named(100, "CHOOSE"),
    named(101, "HLOOKUP"), named(102, "VLOOKUP"), named(109, "LOG"), named(111, "CHAR"), named(112, "LOWER"),
    named(113, "UPPER"), named(114, "PROPER"), named(115, "LEFT"), named(116, "RIGHT"), named(117, "EXACT"),
    named(118, "TRIM"), named(119, "REPLACE"), named(120, "SUBSTITUTE"), named(121, "CODE"), named(124, "FIND"),
    named(125, "CELL"), named(130, "T"), named(131, "N"), named(140, "DATEVALUE"), named(141, "TIMEVALUE"),
    named(148, "INDIRECT"), named(162, "CLEAN"), named(165, "MMULT"), named(183, "PRODUCT"), named(184, "FACT"),
    named(190, "ISNONTEXT"), named(197, "TRUNC"), named(198, "ISLOGICAL"), named(216, "RANK"), named(219,
    "ADDRESS"), named(220, "DAYS360"), named(221, "TODAY"), named(227, "MEDIAN"), named(285, "FLOOR"), named(288,
    "CEILING"), named(336, "CONCATENATE"), named(337, "POWER"), named(344, "SUBTOTAL"), named(347, "COUNTBLANK"),
    named(361, "AVERAGEA"), named(362, "MAXA"), named(363, "MINA"),
};

const FunctionInfo* findFunction(uint16_t number) {
    for (const FunctionInfo& info : kFunctions) {
        if (info.number == number) return &info;
    }
    return nullptr;
}

const FunctionInfo* findComputed(uint16_t number) {
    const FunctionInfo* info = findFunction(number);
    return info != nullptr && info->evaluate != nullptr ? info : nullptr;
}

}  // namespace

std::optional<uint8_t> fixedArgumentCount(uint16_t function) {
    const FunctionInfo* info = findComputed(function);
    if (info == nullptr || info->leastArguments != info->mostArguments) return std::nullopt;
    return info->leastArguments;
}

Value callFunction(uint16_t function, const std::vector<Value>& args, const Evaluator& ev) {
    const FunctionInfo* info = findComputed(function);
    if (info == nullptr) throw Unsupported(functionName(function) + " is not computed here");
    if (args.size() < info->leastArguments || (info->mostArguments != kAny && args.size() > info->mostArguments)) {
        throw Unsupported(std::string(info->name) + " with " + std::to_string(args.size()) + " arguments");
    }
    return info->evaluate(args, ev);
}

std::optional<uint16_t> computedFunctionNumber(std::string_view name) {
    for (const FunctionInfo& info : kFunctions) {
        if (info.evaluate != nullptr && info.name == name) return info.number;
    }
    return std::nullopt;
}

std::string_view knownFunctionName(uint16_t function) {
    const FunctionInfo* info = findFunction(function);
    return info != nullptr ? info->name : std::string_view();
}

std::string functionName(uint16_t function) {
    const std::string_view name = knownFunctionName(function);
    if (!name.empty()) return "the function " + std::string(name);
    return "function number " + std::to_string(function);
}

}  // namespace sbx::xls::formula
