#include "consolidate/accumulator_grid.h"

namespace sbx {

AccumulatorGrid::AccumulatorGrid(const RangeBounds& bounds)
    : bounds_(bounds), dense_(bounds.cellCount() > 0 && bounds.cellCount() <= kDenseLimit) {
    if (dense_) {
        cells_.resize(static_cast<size_t>(bounds.cellCount()));
        touched_.resize(cells_.size());
    }
}

size_t AccumulatorGrid::denseIndex(int column, int row) const {
    return static_cast<size_t>(column - bounds_.firstColumn) * static_cast<size_t>(bounds_.rows()) +
           static_cast<size_t>(row - bounds_.firstRow);
}

uint32_t AccumulatorGrid::sparseKey(int column, int row) const {
    return static_cast<uint32_t>(column) << 20 | static_cast<uint32_t>(row);
}

void AccumulatorGrid::add(int column, int row, const CellValue& v) {
    if (dense_) {
        const size_t i = denseIndex(column, row);
        cells_[i].add(v);
        if (!touched_[i]) {
            touched_[i] = true;
            ++touchedCount_;
        }
        return;
    }
    sparse_[sparseKey(column, row)].add(v);
}

CellValue AccumulatorGrid::total(int column, int row) const {
    if (!bounds_.onSheet() || column < bounds_.firstColumn || column > bounds_.lastColumn ||
        row < bounds_.firstRow || row > bounds_.lastRow) {
        return CellValue();
    }
    if (dense_) return cells_[denseIndex(column, row)].value();
    const auto it = sparse_.find(sparseKey(column, row));
    return it == sparse_.end() ? CellValue() : it->second.value();
}

void AccumulatorGrid::forEachTotal(const std::function<void(int, int, const CellValue&)>& visit) const {
    if (dense_) {
        const int rows = bounds_.rows();
        for (size_t i = 0; i < cells_.size(); ++i) {
            if (!touched_[i]) continue;
            const int column = bounds_.firstColumn + static_cast<int>(i / static_cast<size_t>(rows));
            const int row = bounds_.firstRow + static_cast<int>(i % static_cast<size_t>(rows));
            visit(column, row, cells_[i].value());
        }
        return;
    }
    for (const auto& [key, value] : sparse_) {
        visit(static_cast<int>(key >> 20), static_cast<int>(key & 0xFFFFF), value.value());
    }
}

size_t AccumulatorGrid::heldCells() const { return dense_ ? touchedCount_ : sparse_.size(); }

}  // namespace sbx
