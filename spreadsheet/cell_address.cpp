#include "spreadsheet/cell_address.h"

namespace sbx {

namespace {

constexpr size_t kMostColumnLetters = 3;  // xfd
constexpr size_t kMostRowDigits = 7;      // 1048576 (leading zeros aside)

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<int> columnOfLetters(std::string_view letters) {
    if (letters.empty() || letters.size() > kMostColumnLetters) return std::nullopt;
    int column = 0;
    for (const char c : letters) {
        if (!isLetter(c)) return std::nullopt;
        column = column * 26 + ((c | 0x20) - 'a' + 1);
    }
    if (column > kSheetColumns) return std::nullopt;
    return column;
}

std::optional<CellAddress> parseCellAddress(std::string_view text, AddressForm form) {
    const bool dollars = form == AddressForm::DollarsAllowed;
    if (dollars && !text.empty() && text.front() == '$') text.remove_prefix(1);
    size_t letters = 0;
    while (letters < text.size() && isLetter(text[letters])) ++letters;
    const auto column = columnOfLetters(text.substr(0, letters));
    if (!column) return std::nullopt;
    std::string_view digits = text.substr(letters);
    if (dollars && !digits.empty() && digits.front() == '$') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    long row = 0;
    size_t significant = 0;
    for (const char c : digits) {
        if (!isDigit(c)) return std::nullopt;
        row = row * 10 + (c - '0');
        if (row > 0 && ++significant > kMostRowDigits) return std::nullopt;
    }
    if (row < 1 || row > kSheetRows) return std::nullopt;
    return CellAddress{static_cast<int>(row), *column};
}

std::optional<CellArea> parseCellRange(std::string_view text) {
    const size_t colon = text.find(':');
    const auto first = parseCellAddress(text.substr(0, colon));
    const auto last = colon == std::string_view::npos ? first : parseCellAddress(text.substr(colon + 1));
    if (!first || !last) return std::nullopt;
    const CellArea area = CellArea::between(*first, *last);
    if (!area.valid()) return std::nullopt;
    return area;
}

std::string columnLetters(int column, LetterCase letterCase) {
    const char a = letterCase == LetterCase::Upper ? 'A' : 'a';
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>(a + (c - 1) % 26));
    return letters;
}

std::string cellName(CellAddress cell, LetterCase letterCase) {
    return columnLetters(cell.column, letterCase) + std::to_string(cell.row);
}

std::string areaName(const CellArea& area, LetterCase letterCase) {
    const std::string first = cellName(area.first(), letterCase);
    return area.first() == area.last() ? first : first + ":" + cellName(area.last(), letterCase);
}

}  // namespace sbx
