#include "spreadsheet/formula_readings.h"

#include <algorithm>
#include <tuple>

namespace sbx {

std::vector<FormulaReading> formulaReadings(const std::vector<xls::formula::FormulaCell>& formulas, uint32_t sheet,
                                            const CellArea& area, const std::vector<std::string>& sheetNames) {
    using xls::formula::TokenKind;
    std::vector<FormulaReading> out;
    for (const auto& f : formulas) {
        const CellAddress at{static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1};
        if (f.sheet != sheet || !area.contains(at.row, at.column)) continue;
        FormulaReading reading{at, {}, !f.undecodable.empty()};
        for (const auto& t : f.tokens) {
            if (t.kind == TokenKind::Unknown) reading.opaque = true;
            if (t.kind != TokenKind::Reference) continue;
            const CellArea cells{static_cast<int>(t.area.firstRow) + 1, static_cast<int>(t.area.firstColumn) + 1,
                                 static_cast<int>(t.area.lastRow) + 1, static_cast<int>(t.area.lastColumn) + 1};
            for (uint32_t s = t.area.firstSheet; s <= t.area.lastSheet && s < sheetNames.size(); ++s) {
                reading.reads.push_back({sheetNames[s], cells});
            }
        }
        reading.sheet = f.sheet;
        if (!reading.opaque) reading.tokens = f.tokens;
        out.push_back(std::move(reading));
    }
    std::sort(out.begin(), out.end(), [](const FormulaReading& a, const FormulaReading& b) {
        return std::tie(a.cell.row, a.cell.column) < std::tie(b.cell.row, b.cell.column);
    });
    return out;
}

}  // namespace sbx
