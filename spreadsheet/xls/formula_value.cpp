#include "spreadsheet/xls/formula_value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "spreadsheet/typed_number.h"

namespace sbx::xls::formula {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

NumberOrError toNumber(const CellValue& v) {
    switch (v.kind()) {
        case CellKind::Empty: return {0.0, std::nullopt};
        case CellKind::Number:
        case CellKind::Date:
        case CellKind::Boolean: return {v.numberValue(), std::nullopt};
        case CellKind::Error: return {0.0, v.errorCode()};
        case CellKind::Text: {
            std::string_view text = v.textValue();
            bool percent = false;
            if (!text.empty() && text.back() == '%') {
                percent = true;
                text.remove_suffix(1);
            }
            if (const auto n = parseTypedNumber(text)) return {percent ? *n / 100.0 : *n, std::nullopt};
            return {0.0, error_code::Value};
        }
    }
    return {0.0, error_code::Value};
}

std::string numberText(double v) {
    if (v == 0.0) return "0";
    // to_chars, not printf: the text must not follow the C locale's decimal separator.
    char buffer[40];
    std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15).ptr);
    for (char& c : text) c = c == 'e' ? 'E' : c;
    // The exponent's leading zeros and sign (1E+020 style) are not the application's.
    const auto e = text.find('E');
    std::string mantissa = e == std::string::npos ? text : text.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    if (e == std::string::npos) return mantissa;
    int exponent = 0;
    const char* digits = text.c_str() + e + 1;
    std::from_chars(digits + (*digits == '+' ? 1 : 0), text.c_str() + text.size(), exponent);
    const int magnitude = std::abs(exponent);
    return mantissa + "E" + (exponent < 0 ? "-" : "+") + (magnitude < 10 ? "0" : "") + std::to_string(magnitude);
}

std::optional<std::string> toText(const CellValue& v) {
    switch (v.kind()) {
        case CellKind::Empty: return std::string();
        case CellKind::Number:
        case CellKind::Date: return numberText(v.numberValue());
        case CellKind::Boolean: return std::string(v.booleanValue() ? "TRUE" : "FALSE");
        case CellKind::Text: return v.textValue();
        case CellKind::Error: return std::nullopt;
    }
    return std::nullopt;
}

std::optional<bool> toBoolean(const CellValue& v, uint8_t& error) {
    switch (v.kind()) {
        case CellKind::Empty: return false;
        case CellKind::Number:
        case CellKind::Date:
        case CellKind::Boolean: return v.numberValue() != 0.0;
        case CellKind::Error: error = v.errorCode(); return std::nullopt;
        case CellKind::Text: {
            const std::string lower = lowerAscii(v.textValue());
            if (lower == "true") return true;
            if (lower == "false") return false;
            error = error_code::Value;
            return std::nullopt;
        }
    }
    error = error_code::Value;
    return std::nullopt;
}

bool nearlyEqual(double a, double b) {
    if (a == b) return true;
    if (a == 0.0 || b == 0.0) return false;
    const double scale = std::max(std::fabs(a), std::fabs(b));
    return std::fabs(a - b) < scale * 0x1p-48;
}

double cancellingAdd(double a, double b) {
    if (((a < 0 && b > 0) || (a > 0 && b < 0)) && nearlyEqual(a, -b)) return 0.0;
    return a + b;
}

namespace {
int rank(CellKind k) {
    switch (k) {
        case CellKind::Text: return 1;
        case CellKind::Boolean: return 2;
        default: return 0;
    }
}
}  // namespace

int compareValues(const CellValue& a, const CellValue& b) {
    CellValue left = a;
    CellValue right = b;
    auto blankLike = [](const CellValue& other) {
        switch (other.kind()) {
            case CellKind::Text: return CellValue::text("");
            case CellKind::Boolean: return CellValue::boolean(false);
            default: return CellValue::number(0.0);
        }
    };
    if (left.isEmpty()) left = blankLike(right);
    if (right.isEmpty()) right = blankLike(left);
    const int ra = rank(left.kind());
    const int rb = rank(right.kind());
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 1) {
        const int c = lowerAscii(left.textValue()).compare(lowerAscii(right.textValue()));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    const double x = left.numberValue();
    const double y = right.numberValue();
    if (ra == 0 && nearlyEqual(x, y)) return 0;
    return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace sbx::xls::formula
