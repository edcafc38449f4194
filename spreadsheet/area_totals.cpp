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

size_t AreaTotals::denseIndex(int row, int column) const {
    return static_cast<size_t>(row - area_.firstRow) * static_cast<size_t>(area_.columns()) +
           static_cast<size_t>(column - area_.firstColumn);
}

CellTotal& AreaTotals::at(int row, int column) {
    if (!dense_) return sparse_[sparseKey(row, column)];
    const size_t i = denseIndex(row, column);
    if (!touched_[i]) {
        touched_[i] = true;
        ++touchedCount_;
    }
    return cells_[i];
}

CellTotal& AreaTotals::atPosition(uint32_t position) {
    if (!dense_) {
        const auto columns = static_cast<uint32_t>(area_.columns());
        return at(area_.firstRow + static_cast<int>(position / columns), area_.firstColumn + static_cast<int>(position % columns));
    }
    if (!touched_[position]) {
        touched_[position] = true;
        ++touchedCount_;
    }
    return cells_[position];
}

CellValue AreaTotals::written(int row, int column) const {
    if (!area_.valid() || !area_.contains(row, column)) return CellValue();
    if (dense_) return cells_[denseIndex(row, column)].written();
    const auto it = sparse_.find(sparseKey(row, column));
    return it == sparse_.end() ? CellValue() : it->second.written();
}

std::optional<CellAddress> AreaTotals::firstNotFinite() const {
    std::optional<CellAddress> first;
    auto note = [&](int row, int column, const CellTotal& total) {
        if (total.finite()) return;
        if (!first || std::tie(row, column) < std::tie(first->row, first->column)) first = CellAddress{row, column};
    };
    if (dense_) {
        const auto columns = static_cast<size_t>(area_.columns());
        for (size_t i = 0; i < cells_.size() && !first; ++i) {
            if (touched_[i]) note(area_.firstRow + static_cast<int>(i / columns), area_.firstColumn + static_cast<int>(i % columns), cells_[i]);
        }
        return first;
    }
    for (const auto& [key, total] : sparse_) note(static_cast<int>(key & 0xFFFFF), static_cast<int>(key >> 20), total);
    return first;
}

void AreaTotals::forEachTouched(const std::function<void(int, int, const CellValue&)>& visit) const {
    if (dense_) {
        const auto columns = static_cast<size_t>(area_.columns());
        for (size_t i = 0; i < cells_.size(); ++i) {
            if (!touched_[i]) continue;
            visit(area_.firstRow + static_cast<int>(i / columns), area_.firstColumn + static_cast<int>(i % columns),
                  cells_[i].written());
        }
        return;
    }
    for (const auto& [key, total] : sparse_) {
        visit(static_cast<int>(key & 0xFFFFF), static_cast<int>(key >> 20), total.written());
    }
}

}  // namespace sbx
