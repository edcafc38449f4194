#include "spreadsheet/cell_address.h"

namespace sbx {

std::optional<CellAddress> parseCellAddress(std::string_view text) {
    size_t i = 0;
    int column = 0;
    while (i < text.size() && i < 3) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c < 'a' || c > 'z') break;
        column = column * 26 + (c - 'a' + 1);
        ++i;
    }
    if (i == 0 || column > kSheetColumns || i == text.size()) return std::nullopt;
    long row = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        row = row * 10 + (text[i] - '0');
        if (row > kSheetRows) return std::nullopt;
    }
    if (row < 1) return std::nullopt;
    return CellAddress{static_cast<int>(row), column};
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

std::string columnLetters(int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>('a' + (c - 1) % 26));
    return letters;
}

std::string cellName(CellAddress cell) { return columnLetters(cell.column) + std::to_string(cell.row); }

std::string areaName(const CellArea& area) {
    const std::string first = cellName(area.first());
    return area.first() == area.last() ? first : first + ":" + cellName(area.last());
}

}  // namespace sbx
