#include "spreadsheet/typed_number.h"

#include <charconv>
#include <cmath>
#include <string>

namespace sbx {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::optional<double> parseTypedNumber(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    std::string plain;  // sign, digits, point and exponent, separators gone
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    // The integer part: plain digits, or groups of three after a first group of one to three.
    size_t digits = 0;
    size_t groupLength = 0;
    bool grouped = false;
    for (; i < text.size() && (isDigit(text[i]) || text[i] == ','); ++i) {
        if (text[i] == ',') {
            if (digits == 0 || (grouped ? groupLength != 3 : groupLength > 3)) return std::nullopt;
            grouped = true;
            groupLength = 0;
            continue;
        }
        plain += text[i];
        ++digits;
        ++groupLength;
    }
    if (grouped && groupLength != 3) return std::nullopt;
    if (i < text.size() && text[i] == '.') {
        plain += '.';
        for (++i; i < text.size() && isDigit(text[i]); ++i) {
            plain += text[i];
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        size_t exponentDigits = 0;
        for (; i < text.size() && isDigit(text[i]); ++i, ++exponentDigits) plain += text[i];
        if (exponentDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace sbx
