#include "consolidate/range_bounds.h"

namespace sbx {

namespace {

constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz";
constexpr int kSheetColumns = 256;
constexpr int kSheetRows = 65536;
// Rows past this are far outside any sheet; stop growing the number there.
constexpr int kRowCeiling = 1'000'000'000;

int letterPosition(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    const auto p = kLetters.find(text[at]);
    return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The whole number at the start of `text`: blanks and a sign may come first; reading stops
// at the first character that cannot continue it.
int leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kRowCeiling) value = kRowCeiling;
    }
    return static_cast<int>(negative ? -value : value);
}

bool secondIsDigit(std::string_view text) { return text.size() >= 2 && isDigit(text[1]); }

}  // namespace

bool RangeBounds::onSheet() const {
    return firstColumn >= 1 && firstRow >= 1 && lastColumn <= kSheetColumns && lastRow <= kSheetRows;
}

CellPosition readRangeCell(std::string_view text) {
    CellPosition p;
    if (secondIsDigit(text)) {
        p.column = letterPosition(text, 0);
        p.row = leadingNumber(text.substr(1));
    } else {
        p.twoLetters = true;
        p.column = 26 * letterPosition(text, 0) + letterPosition(text, 1);
        p.row = leadingNumber(text.size() > 2 ? text.substr(2) : std::string_view());
    }
    return p;
}

ParsedRange parseRange(std::string_view first, std::string_view last) {
    ParsedRange result;
    if (!secondIsDigit(first) && secondIsDigit(last)) return result;
    const CellPosition a = readRangeCell(first);
    const CellPosition b = readRangeCell(last);
    result.bounds = RangeBounds{a.column, a.row, b.column, b.row};
    result.valid = b.column >= a.column && b.row >= a.row;
    return result;
}

std::string columnName(int column) {
    if (column >= 1 && column <= 26) return std::string(1, kLetters[static_cast<size_t>(column - 1)]);
    if (column < 1 || column > 702) return std::string();
    const int q = column / 26;
    const int m = column % 26;
    if (m != 0) return {kLetters[static_cast<size_t>(q - 1)], kLetters[static_cast<size_t>(m - 1)]};
    return {kLetters[static_cast<size_t>(q - 2)], 'z'};
}

}  // namespace sbx
