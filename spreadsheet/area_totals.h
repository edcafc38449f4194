#pragma once
// The running totals of one cell area, one CellTotal per position. Memory follows the cells
// that received something, not the area: a1:xfd1048576 over sparse sources holds only those.
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/cell_total.h"

namespace sbx {

class AreaTotals {
public:
    // Areas up to this many cells keep their totals in one block; larger ones in a table of
    // the cells that hold a total.
    static constexpr long long kDenseLimit = 1 << 16;

    explicit AreaTotals(const CellArea& area);

    const CellArea& area() const { return area_; }

    // Adds `v` into the total at (row, column), a cell of the area.
    Contribution add(int row, int column, const CellValue& v, bool dates1904 = false) {
        return at(row, column).add(v, dates1904);
    }
    // The total at (row, column), a cell of the area, to add into.
    CellTotal& at(int row, int column);
    // The same by position in the area (CellArea::positionOf).
    CellTotal& atPosition(uint64_t position);
    // What the total at (row, column) writes; empty where nothing was added or outside.
    CellValue written(int row, int column) const;
    // Cells that received something (even if only blanks), in no particular order.
    void forEachTouched(const std::function<void(int row, int column, const CellValue& written)>& visit) const;
    // The first cell, row by row, whose total added up beyond the largest number (see
    // CellTotal::finite), if any.
    std::optional<CellAddress> firstNotFinite() const;
    size_t heldCells() const { return dense_ ? touchedCount_ : sparse_.size(); }

private:
    size_t denseIndex(int row, int column) const;

    CellArea area_;
    bool dense_;
    std::vector<CellTotal> cells_;
    std::vector<bool> touched_;
    size_t touchedCount_ = 0;
    std::unordered_map<uint64_t, CellTotal> sparse_;  // by position
};

}  // namespace sbx
