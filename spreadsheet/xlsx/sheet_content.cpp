#include "spreadsheet/xlsx/sheet_content.h"

#include <algorithm>

namespace sbx::xlsx {

const StoredCell* SheetContent::find(int row, int column) const {
    const uint64_t key = cellKey(row, column);
    const auto it = std::lower_bound(cells.begin(), cells.end(), key,
                                     [](const StoredCell& c, uint64_t k) { return c.key < k; });
    return it != cells.end() && it->key == key ? &*it : nullptr;
}

uint32_t SheetContent::styleAt(int row, int column) const {
    if (const auto* c = find(row, column)) return c->style;
    if (const auto it = rowStyles.find(row); it != rowStyles.end()) return it->second;
    for (const auto& c : columnStyles) {
        if (column >= c.first && column <= c.last) return c.style;
    }
    return 0;
}

bool parseReference(std::string_view text, int& row, int& column) {
    size_t i = 0;
    int c = 0;
    while (i < text.size() && i < 4) {
        char ch = text[i];
        if (ch == '$' && i == 0) {
            text.remove_prefix(1);
            continue;
        }
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        if (ch < 'A' || ch > 'Z') break;
        c = c * 26 + (ch - 'A' + 1);
        ++i;
    }
    if (i == 0 || i > 3) return false;
    if (i < text.size() && text[i] == '$') ++i;
    int r = 0;
    size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
        if (text[i] < '0' || text[i] > '9' || digits > 7) return false;
        r = r * 10 + (text[i] - '0');
    }
    if (digits == 0 || r < 1 || r > kMaxRows || c > kMaxColumns) return false;
    row = r;
    column = c;
    return true;
}

bool parseArea(std::string_view text, Area& area) {
    const size_t colon = text.find(':');
    if (!parseReference(text.substr(0, colon), area.firstRow, area.firstColumn)) return false;
    if (colon == std::string_view::npos) {
        area.lastRow = area.firstRow;
        area.lastColumn = area.firstColumn;
        return true;
    }
    if (!parseReference(text.substr(colon + 1), area.lastRow, area.lastColumn)) return false;
    if (area.lastRow < area.firstRow) std::swap(area.lastRow, area.firstRow);
    if (area.lastColumn < area.firstColumn) std::swap(area.lastColumn, area.firstColumn);
    return true;
}

std::string referenceText(int row, int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

uint8_t errorCodeOf(std::string_view text) {
    struct Known {
        std::string_view text;
        uint8_t code;
    };
    static constexpr Known known[] = {
        {"#NULL!", error_code::Null}, {"#DIV/0!", error_code::Div0}, {"#VALUE!", error_code::Value},
        {"#REF!", error_code::Ref},   {"#NAME?", error_code::Name},  {"#NUM!", error_code::Num},
        {"#N/A", error_code::NA},     {"#GETTING_DATA", error_code::GettingData},
    };
    for (const auto& k : known) {
        if (k.text == text) return k.code;
    }
    return error_code::Value;
}

}  // namespace sbx::xlsx
