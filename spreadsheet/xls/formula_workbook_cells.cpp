#include "spreadsheet/xls/formula_workbook_cells.h"

namespace sbx::xls::formula {

CellValue WorkbookCells::plain(const CellValue& v) const {
    if (v.kind() != CellKind::Date) return v;
    return CellValue::number(reader_.uses1904Dates() ? v.numberValue() - kDate1904Offset : v.numberValue());
}

const std::map<uint32_t, CellValue>& WorkbookCells::sheet(uint32_t index) const {
    static const std::map<uint32_t, CellValue> none;
    if (index >= sheets_.size()) return none;
    auto& cached = sheets_[index];
    if (!cached) {
        std::map<uint32_t, CellValue> cells;
        const SheetCells& stored = reader_.cells(index);
        for (const StoredCell& c : stored.cells()) {
            if (c.kind == StoredKind::Blank) continue;
            cells.emplace_hint(cells.end(), c.key, plain(reader_.valueOf(stored, c)));
        }
        if (auto it = edits_.find(index); it != edits_.end()) {
            for (const auto& [key, v] : it->second) {
                if (v.isEmpty()) {
                    cells.erase(key);
                } else {
                    cells[key] = plain(v);
                }
            }
        }
        cached = std::move(cells);
    }
    return *cached;
}

CellValue WorkbookCells::value(uint32_t index, uint32_t row, uint32_t column) const {
    const auto& cells = sheet(index);
    const auto it = cells.find(cellKey(row, column));
    return it == cells.end() ? CellValue() : it->second;
}

void WorkbookCells::forEach(uint32_t index, const Area& area,
                            const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const {
    const auto& cells = sheet(index);
    auto it = cells.lower_bound(cellKey(area.firstRow, area.firstColumn));
    while (it != cells.end()) {
        const uint32_t r = it->first >> 8;
        const uint32_t c = it->first & 0xFF;
        if (r > area.lastRow) break;
        if (c < area.firstColumn) {
            it = cells.lower_bound(cellKey(r, area.firstColumn));
        } else if (c > area.lastColumn) {
            if (r + 1 > area.lastRow) break;
            it = cells.lower_bound(cellKey(r + 1, area.firstColumn));
        } else {
            visit(r, c, it->second);
            ++it;
        }
    }
}

void WorkbookCells::set(uint32_t index, uint32_t key, const CellValue& value) {
    sheet(index);
    (*sheets_[index])[key] = value;
}

}  // namespace sbx::xls::formula
