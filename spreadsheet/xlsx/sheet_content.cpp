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

bool parseArea(std::string_view text, Area& area) {
    const size_t colon = text.find(':');
    const auto first = parseCellAddress(text.substr(0, colon), AddressForm::DollarsAllowed);
    const auto last = colon == std::string_view::npos ? first : parseCellAddress(text.substr(colon + 1), AddressForm::DollarsAllowed);
    if (!first || !last) return false;
    area = {std::min(first->row, last->row), std::min(first->column, last->column), std::max(first->row, last->row),
            std::max(first->column, last->column)};
    return true;
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
