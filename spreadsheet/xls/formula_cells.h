#pragma once
// Every formula of a workbook's worksheets, decoded: cell formulas, the cells of shared
// formulas (SHRFMLA) and of array formulas (ARRAY), with the results they hold.
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/formula_tokens.h"
#include "spreadsheet/xls/workbook_reader.h"

namespace sbx::xls::formula {

struct FormulaCell {
    uint32_t sheet = 0;
    uint32_t row = 0;  // zero-based
    uint32_t column = 0;
    std::vector<Token> tokens;
    // Set when the tokens could not be decoded: the formula's references are not known.
    std::string undecodable;
    bool arrayFormula = false;
    Area arrayArea;
    CellValue cached;  // the result stored with the formula ("" for an empty-string result)
};

// The formulas of every worksheet in sheet and cell order; none for an Excel 95 workbook.
// Throws WorkbookError only where reading the workbook's cells would.
std::vector<FormulaCell> readFormulaCells(const WorkbookReader& reader);

// The cached result of a FORMULA record body; `text` is the string of the STRING record
// that follows a text result.
CellValue cachedFormulaResult(std::span<const uint8_t> formulaBody, const std::string& text);

}  // namespace sbx::xls::formula
