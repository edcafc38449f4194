#pragma once
// Brings the cached results of an .xlsx workbook's formulas up to date after cells were
// written: every formula that depends on a written cell, directly or through other formulas
// (across worksheets), is read from its text and computed again by the formula evaluator,
// against the workbook's values with the written cells over them. What cannot be computed
// keeps its old result and is listed as stale.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xls/formula_cells.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

namespace sbx::xlsx {

struct XlsxRecalculation {
    // New results by worksheet index and cellKey: numbers, texts, booleans or errors.
    std::map<size_t, std::map<uint64_t, CellValue>> results;
    std::vector<StaleFormula> stale;  // in sheet and cell order
};

// Throws WorkbookError only where reading the workbook's cells would.
XlsxRecalculation recalculateFormulas(const XlsxWorkbook& book);

// The results of the formulas stored without one (as programs that write formulas without
// computing them leave them: <f> without <v>), computed as a spreadsheet application does on
// opening such a file: `results` for those computed (and the formulas that read them), by
// worksheet index and cellKey, and why the others are not computed. Throws WorkbookError only
// where reading the workbook's cells would.
struct XlsxOpeningResults {
    std::map<size_t, std::map<uint64_t, CellValue>> results;
    std::map<std::pair<size_t, uint64_t>, std::string> unresolved;
};
XlsxOpeningResults computeOnOpening(const XlsxWorkbook& book);

// Every formula of the workbook as the evaluator takes it, but those of written cells (they
// are no longer formulas) and what-if tables (they hold no text).
std::vector<xls::formula::FormulaCell> formulaCells(const XlsxWorkbook& book);

}  // namespace sbx::xlsx
