#include "spreadsheet/area_values.h"

#include <algorithm>

namespace sbx {

AreaValues::AreaValues(const Worksheet& sheet, const CellArea& area, bool dates1904) : area_(area), dates1904_(dates1904) {
    // Most areas are full: room for all of them, up to a limit for whole sheets as areas.
    values_.reserve(static_cast<size_t>(std::min<long long>(area.cellCount(), 1 << 12)));
    sheet.readValues(area, *this);
    if (values_.capacity() > 2 * values_.size() + 64) values_.shrink_to_fit();
}

void AreaValues::addValue(int row, int column, const CellValue& v) {
    if (v.kind() == CellKind::Number) return addNumber(row, column, v.numberValue());
    addWhole(row, column, v);
}

void AreaValues::addWhole(int row, int column, const CellValue& v) {
    values_.push_back({static_cast<double>(wholes_.size()), area_.positionOf(row, column) | kWhole});
    wholes_.push_back(v);
}

void Worksheet::readValues(const CellArea& area, AreaValues& into) const {
    forEachValue(area, [&](int row, int column, const CellValue& v) { into.addValue(row, column, v); });
}

size_t AreaValues::bytes() const {
    size_t total = sizeof *this + values_.capacity() * sizeof(Held) + wholes_.capacity() * sizeof(CellValue);
    for (const CellValue& v : wholes_) total += v.textValue().capacity() > 15 ? v.textValue().capacity() : 0;
    return total;
}

}  // namespace sbx
