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
    // One value other than empty, in forEachValue's order (row by row). 16 bytes: a position
    // needs more than 32 bits on the full grid, so the mark of a value kept whole shares its
    // word, and such a value's index takes the number's place.
    struct Held {
        double number;   // a number, or the index of a value kept whole
        uint64_t place;  // the position in the area (CellArea::positionOf), kWhole added if kept whole

        uint64_t position() const { return place & ~kWhole; }
        bool numberOnly() const { return (place & kWhole) == 0; }
        size_t whole() const { return static_cast<size_t>(number); }
    };
    static constexpr uint64_t kWhole = uint64_t{1} << 63;
    static_assert(sizeof(Held) == 16);

    AreaValues() = default;
    // None yet: filled by addNumber and addValue, in forEachValue's order.
    AreaValues(const CellArea& area, bool dates1904) : area_(area), dates1904_(dates1904) {}
    // Reads the values of `area` of `sheet` (a workbook counting dates from 1904 if `dates1904`).
    AreaValues(const Worksheet& sheet, const CellArea& area, bool dates1904);

    // For Worksheet::readValues: the next value, in forEachValue's order. A NaN or an
    // infinity is kept whole, so that the plain numbers add without a test each.
    void addNumber(int row, int column, double x) {
        if (!std::isfinite(x)) [[unlikely]] return addWhole(row, column, CellValue::number(x));
        values_.push_back({x, area_.positionOf(row, column)});
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
        const auto width = static_cast<uint64_t>(area_.columns());
        uint64_t rowStart = 0;
        int row = area_.firstRow;
        for (const Held& v : values_) {
            const uint64_t position = v.position();
            if (position - rowStart >= width) {
                row = area_.firstRow + static_cast<int>(position / width);
                rowStart = static_cast<uint64_t>(row - area_.firstRow) * width;
            }
            visit(v, row, area_.firstColumn + static_cast<int>(position - rowStart));
        }
    }
    // The value as read.
    CellValue value(const Held& v) const { return v.numberOnly() ? CellValue::number(v.number) : wholes_[v.whole()]; }
    // Adds `v` into `total` by CellTotal's rules, exactly as adding value(v) would.
    Contribution addTo(CellTotal& total, const Held& v) const {
        if (v.numberOnly()) {
            total.add(v.number);
            return Contribution::Added;
        }
        return total.add(wholes_[v.whole()], dates1904_);
    }

private:
    void addWhole(int row, int column, const CellValue& v);

    CellArea area_;
    bool dates1904_ = false;
    std::vector<Held> values_;
    std::vector<CellValue> wholes_;  // texts, dates, errors and booleans as they were read
};

}  // namespace sbx
