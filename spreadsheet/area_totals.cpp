#include "spreadsheet/area_totals.h"

#include <tuple>

namespace sbx {

AreaTotals::AreaTotals(const CellArea& area)
    : area_(area), dense_(area.valid() && area.cellCount() <= kDenseLimit) {
    if (dense_) {
        cells_.resize(static_cast<size_t>(area.cellCount()));
        touched_.resize(cells_.size());
    }
}

size_t AreaTotals::denseIndex(int row, int column) const { return static_cast<size_t>(area_.positionOf(row, column)); }

CellTotal& AreaTotals::at(int row, int column) {
    if (!dense_) return sparse_[area_.positionOf(row, column)];
    const size_t i = denseIndex(row, column);
    if (!touched_[i]) {
        touched_[i] = true;
        ++touchedCount_;
    }
    return cells_[i];
}

CellTotal& AreaTotals::atPosition(uint64_t position) {
    if (!dense_) return sparse_[position];
    if (!touched_[position]) {
        touched_[position] = true;
        ++touchedCount_;
    }
    return cells_[position];
}

CellValue AreaTotals::written(int row, int column) const {
    if (!area_.valid() || !area_.contains(row, column)) return CellValue();
    if (dense_) return cells_[denseIndex(row, column)].written();
    const auto it = sparse_.find(area_.positionOf(row, column));
    return it == sparse_.end() ? CellValue() : it->second.written();
}

std::optional<CellAddress> AreaTotals::firstNotFinite() const {
    std::optional<CellAddress> first;
    auto note = [&](CellAddress cell, const CellTotal& total) {
        if (total.finite()) return;
        if (!first || std::tie(cell.row, cell.column) < std::tie(first->row, first->column)) first = cell;
    };
    if (dense_) {
        for (size_t i = 0; i < cells_.size() && !first; ++i) {
            if (touched_[i]) note(area_.cellAt(i), cells_[i]);
        }
        return first;
    }
    for (const auto& [position, total] : sparse_) note(area_.cellAt(position), total);
    return first;
}

void AreaTotals::forEachTouched(const std::function<void(int, int, const CellValue&)>& visit) const {
    auto offer = [&](uint64_t position, const CellTotal& total) {
        const CellAddress cell = area_.cellAt(position);
        visit(cell.row, cell.column, total.written());
    };
    if (dense_) {
        for (size_t i = 0; i < cells_.size(); ++i) {
            if (touched_[i]) offer(i, cells_[i]);
        }
        return;
    }
    for (const auto& [position, total] : sparse_) offer(position, total);
}

}  // namespace sbx
