#pragma once
// Which formulas of a workbook depend on its written cells, directly or through other
// formulas. Saving leaves their results to the spreadsheet application (full calculation on
// load), so each is reported. Formulas whose inputs cannot be told from their text
// (INDIRECT, OFFSET, defined names, table references) count as depending on every cell.
#include <string_view>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xlsx/sheet_content.h"

namespace sbx::xlsx {

class XlsxWorkbook;

struct FormulaInput {
    int sheet = -1;  // worksheet index; -1: the formula's own sheet
    Area area;
};

// The cells a formula reads, for a formula written at (row, column) whose text was written
// for (textRow, textColumn) (shared formulas move their relative references). False when
// the inputs cannot be told from the text.
bool formulaInputs(std::string_view formula, int row, int column, int textRow, int textColumn,
                   const std::vector<std::string>& sheetNames, std::vector<FormulaInput>& inputs);

std::vector<StaleFormula> findStaleFormulas(const XlsxWorkbook& book);

}  // namespace sbx::xlsx
