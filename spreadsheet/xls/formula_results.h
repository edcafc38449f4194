#pragma once
// Writes recomputed results into the FORMULA records of a worksheet substream, with the
// STRING record that follows a text result added, replaced or removed.
#include <cstdint>
#include <span>
#include <vector>

#include "spreadsheet/xls/formula_recalc.h"

namespace sbx::xls::formula {

// The substream (BOF to the byte before the next substream) with `updates` applied; a
// formula that keeps its result is marked to be computed whenever the workbook is. Record
// sizes may change: the cell table's positions must be rebuilt afterwards.
std::vector<uint8_t> writeFormulaResults(std::span<const uint8_t> substream, const SheetFormulaUpdates& updates);

}  // namespace sbx::xls::formula
