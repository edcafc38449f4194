#include "spreadsheet/xls/sheet_cells.h"

#include <algorithm>

#include "spreadsheet/stored_result.h"
#include "spreadsheet/xls/byte_reader.h"

namespace sbx::xls {

void SheetCells::add(uint32_t row0, uint32_t col0, uint16_t xf, StoredKind kind, double number) {
    StoredCell c;
    c.key = cellKey(row0, col0);
    c.kind = kind;
    c.withoutResult = false;
    c.xf = xf;
    c.number = number;
    if (!cells_.empty() && cells_.back().key >= c.key) sorted_ = false;
    cells_.push_back(c);
}

void SheetCells::addNumber(uint32_t row0, uint32_t col0, uint16_t xf, double value, bool isDate) {
    add(row0, col0, xf, isDate ? StoredKind::Date : StoredKind::Number, value);
}

void SheetCells::addSharedText(uint32_t row0, uint32_t col0, uint16_t xf, uint32_t index) {
    add(row0, col0, xf, StoredKind::SharedText, 0.0);
    cells_.back().index = index;
}

void SheetCells::addLocalText(uint32_t row0, uint32_t col0, uint16_t xf, std::string text) {
    add(row0, col0, xf, StoredKind::LocalText, 0.0);
    cells_.back().index = static_cast<uint32_t>(localTexts_.size());
    localTexts_.push_back(std::move(text));
}

void SheetCells::addBoolean(uint32_t row0, uint32_t col0, uint16_t xf, bool value) {
    add(row0, col0, xf, StoredKind::Boolean, value ? 1.0 : 0.0);
}

void SheetCells::addError(uint32_t row0, uint32_t col0, uint16_t xf, uint8_t code) {
    add(row0, col0, xf, StoredKind::Error, code);
}

void SheetCells::addBlank(uint32_t row0, uint32_t col0, uint16_t xf) {
    add(row0, col0, xf, StoredKind::Blank, 0.0);
}

bool SheetCells::addFormulaResult(uint32_t row0, uint32_t col0, uint16_t xf, const uint8_t* result, bool isDate) {
    // 0xFFFF in the last two bytes marks a result that is not a number; the first says which.
    if (result[6] != 0xFF || result[7] != 0xFF) {
        addNumber(row0, col0, xf, loadF64(result), isDate);
        return false;
    }
    switch (result[0]) {
        case 0:
            // Without a result until its STRING record comes, which a writer may have left out.
            addBlank(row0, col0, xf);
            cells_.back().withoutResult = true;
            ++withoutResult_;
            return true;
        case 1: addBoolean(row0, col0, xf, result[2] != 0); break;
        case 2: addError(row0, col0, xf, result[2]); break;
        case 3:
            // An empty text: a formula's result, or what a program that writes formulas without
            // computing them stores (xlwt): computed again on opening to tell.
            addLocalText(row0, col0, xf, std::string());
            cells_.back().withoutResult = true;
            ++withoutResult_;
            break;
        default: addBlank(row0, col0, xf); break;
    }
    return false;
}

void SheetCells::addFormulaText(uint32_t row0, uint32_t col0, uint16_t xf, std::string text) {
    if (!cells_.empty() && cells_.back().key == cellKey(row0, col0) && cells_.back().withoutResult) {
        cells_.back().withoutResult = false;
        --withoutResult_;
        cells_.pop_back();
    }
    addLocalText(row0, col0, xf, std::move(text));
}

void SheetCells::setFormulaResult(uint32_t row0, uint32_t col0, const CellValue& value, bool isDate) {
    const auto it = std::lower_bound(cells_.begin(), cells_.end(), cellKey(row0, col0),
                                     [](const StoredCell& c, uint32_t k) { return c.key < k; });
    if (it == cells_.end() || it->key != cellKey(row0, col0)) return;  // no record of its own
    if (value.isEmpty()) return;  // a formula's result never is
    if (it->withoutResult) --withoutResult_;
    it->withoutResult = false;
    storeFormulaResult(*it, value, isDate, 0.0, StoredKind::LocalText, &StoredCell::index, localTexts_);
}

void SheetCells::finish() {
    if (sorted_) return;
    std::stable_sort(cells_.begin(), cells_.end(),
                     [](const StoredCell& a, const StoredCell& b) { return a.key < b.key; });
    // Keep the last record of each position.
    auto out = cells_.begin();
    for (auto it = cells_.begin(); it != cells_.end(); ++it) {
        if (std::next(it) != cells_.end() && std::next(it)->key == it->key) continue;
        *out++ = *it;
    }
    cells_.erase(out, cells_.end());
    sorted_ = true;
    withoutResult_ = static_cast<size_t>(
        std::count_if(cells_.begin(), cells_.end(), [](const StoredCell& c) { return c.withoutResult; }));
}

const StoredCell* SheetCells::find(uint32_t row0, uint32_t col0) const {
    const uint32_t key = cellKey(row0, col0);
    // Reading goes mostly row by row: look next to the last hit before searching.
    if (lastHit_ < cells_.size() && cells_[lastHit_].key < key) {
        if (lastHit_ + 1 == cells_.size() || cells_[lastHit_ + 1].key > key) return nullptr;
        if (cells_[lastHit_ + 1].key == key) return &cells_[++lastHit_];
    }
    auto it = std::lower_bound(cells_.begin(), cells_.end(), key,
                               [](const StoredCell& c, uint32_t k) { return c.key < k; });
    const auto at = static_cast<size_t>(it - cells_.begin());
    if (it == cells_.end() || it->key != key) {
        if (at > 0) lastHit_ = at - 1;  // the next position asked for is likely further on
        return nullptr;
    }
    lastHit_ = at;
    return &*it;
}

const StoredBlock* SheetCells::blockOverlapping(uint32_t firstRow, uint32_t lastRow, uint32_t firstColumn,
                                                uint32_t lastColumn) const {
    for (const StoredBlock& b : blocks_) {
        if (b.firstRow <= lastRow && firstRow <= b.lastRow && b.firstColumn <= lastColumn && firstColumn <= b.lastColumn) {
            return &b;
        }
    }
    return nullptr;
}

uint16_t SheetCells::formatAt(uint32_t row0, uint32_t col0) const {
    if (const StoredCell* c = find(row0, col0)) return c->xf;
    for (auto it = rowFormats_.rbegin(); it != rowFormats_.rend(); ++it) {
        if (row0 >= it->first && row0 <= it->last) return it->xf;
    }
    for (auto it = columnFormats_.rbegin(); it != columnFormats_.rend(); ++it) {
        if (col0 >= it->first && col0 <= it->last) return it->xf;
    }
    return 15;
}

}  // namespace sbx::xls
