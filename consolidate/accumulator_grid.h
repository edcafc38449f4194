#pragma once
// The running totals of one worksheet's range. Its memory follows the cells that received a
// value, not the range's area: a1:iv65536 over sparse sources holds only what was added.
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "consolidate/accumulation.h"
#include "consolidate/range_bounds.h"
#include "spreadsheet/cell_value.h"

namespace sbx {

class AccumulatorGrid {
public:
    // Ranges up to this many cells keep their totals in one block; larger ones in a table of
    // the cells that hold a total.
    static constexpr long long kDenseLimit = 1 << 16;

    explicit AccumulatorGrid(const RangeBounds& bounds);

    const RangeBounds& bounds() const { return bounds_; }

    // Adds `v` into the total at (column, row), a cell of the range.
    void add(int column, int row, const CellValue& v);
    // The total at (column, row); empty where nothing was added.
    CellValue total(int column, int row) const;
    // Cells that received something, in no particular order.
    void forEachTotal(const std::function<void(int column, int row, const CellValue& total)>& visit) const;
    size_t heldCells() const;

private:
    size_t denseIndex(int column, int row) const;
    uint32_t sparseKey(int column, int row) const;

    RangeBounds bounds_;
    bool dense_;
    std::vector<RunningTotal> cells_;
    std::vector<bool> touched_;
    size_t touchedCount_ = 0;
    std::unordered_map<uint32_t, RunningTotal> sparse_;
};

}  // namespace sbx
