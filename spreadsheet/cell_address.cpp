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
    if (i == 0 || column > 256 || i == text.size()) return std::nullopt;
    if (text[i] == '0') return std::nullopt;  // no leading zeros
    long row = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        row = row * 10 + (text[i] - '0');
        if (row > 65536) return std::nullopt;
    }
    if (row < 1) return std::nullopt;
    return CellAddress{static_cast<int>(row), column};
}

std::optional<CellArea> parseCellRange(std::string_view text) {
    const size_t colon = text.find(':');
    const auto first = parseCellAddress(text.substr(0, colon));
    const auto last = colon == std::string_view::npos ? first : parseCellAddress(text.substr(colon + 1));
    if (!first || !last || last->row < first->row || last->column < first->column) return std::nullopt;
    return CellArea{first->row, first->column, last->row, last->column};
}

}  // namespace sbx
