#pragma once
// What the decoded formulas of a worksheet read, as worksheet names and areas (both engines
// decode their formulas into the evaluator's tokens).
#include <string>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xls/formula_cells.h"

namespace sbx {

// The formulas of `formulas` on worksheet `sheet` (an index into `sheetNames`) inside `area`,
// row by row.
std::vector<FormulaReading> formulaReadings(const std::vector<xls::formula::FormulaCell>& formulas, uint32_t sheet,
                                            const CellArea& area, const std::vector<std::string>& sheetNames);

}  // namespace sbx
