#pragma once
// The values of one source's area, read once and kept compact, so that the check before a
// run, the run's totals and the run record share one read of every value instead of asking
// the workbook three times. A number is 16 bytes (itself and its position); texts, dates,
// errors and booleans are kept whole beside it, as they are shown and added by their kind.
#include <cmath>
#include <cstdint>
#include <vector>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

class AreaValues {
public:
    // One value other than empty, in forEachValue's order (row by row).
    struct Held {
        double number;      // a number; 0 for the others
        uint32_t position;  // (row - firstRow) * columns + (column - firstColumn)
        uint32_t whole;     // kNumberOnly, or the index of the value in wholes()
    };
    static constexpr uint32_t kNumberOnly = ~0u;

    AreaValues() = default;
    // Reads the values of `area` of `sheet` (a workbook counting dates from 1904 if `dates1904`).
    AreaValues(const Worksheet& sheet, const CellArea& area, bool dates1904);

    // For Worksheet::readValues: the next value, in forEachValue's order. A NaN or an
    // infinity is kept whole, so that the plain numbers add without a test each.
    void addNumber(int row, int column, double x) {
        if (!std::isfinite(x)) [[unlikely]] return addWhole(row, column, CellValue::number(x));
        values_.push_back({x, positionOf(row, column), kNumberOnly});
    }
    void addValue(int row, int column, const CellValue& v);

    const CellArea& area() const { return area_; }
    bool dates1904() const { return dates1904_; }
    const std::vector<Held>& values() const { return values_; }
    // Memory taken, for a budget.
    size_t bytes() const;

    // Visits every value with its row and column, in order (without a division each).
    template <typename Visit>
    void forEach(Visit visit) const {
        const uint32_t width = columns();
        uint32_t rowStart = 0;
        int row = area_.firstRow;
        for (const Held& v : values_) {
            while (v.position - rowStart >= width) rowStart += width, ++row;
            visit(v, row, area_.firstColumn + static_cast<int>(v.position - rowStart));
        }
    }
    // The value as read.
    CellValue value(const Held& v) const { return v.whole == kNumberOnly ? CellValue::number(v.number) : wholes_[v.whole]; }
    // Adds `v` into `total` by CellTotal's rules, exactly as adding value(v) would.
    Contribution addTo(CellTotal& total, const Held& v) const {
        if (v.whole == kNumberOnly) {
            total.add(v.number);
            return Contribution::Added;
        }
        return total.add(wholes_[v.whole], dates1904_);
    }

private:
    void addWhole(int row, int column, const CellValue& v);
    uint32_t columns() const { return static_cast<uint32_t>(area_.columns()); }
    uint32_t positionOf(int row, int column) const {
        return static_cast<uint32_t>(row - area_.firstRow) * columns() + static_cast<uint32_t>(column - area_.firstColumn);
    }

    CellArea area_;
    bool dates1904_ = false;
    std::vector<Held> values_;
    std::vector<CellValue> wholes_;  // texts, dates, errors and booleans as they were read
};

}  // namespace sbx
