#pragma once
// Reads the text of an OOXML formula (the <f> element: no leading '=', English function
// names, A1 references) into the evaluator's tokens, in evaluation order with every
// reference resolved to worksheet indices. What the evaluator cannot compute (functions it
// does not know, defined names, table references, other workbooks) becomes an Unknown token,
// so the formula is reported rather than computed; the references around it stay known.
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/xls/formula_tokens.h"

namespace sbx::xlsx {

// Where a formula stands (1-based row and column), and where its text was written: shared
// formulas move their relative references by the distance between the two.
struct FormulaTextSite {
    uint32_t sheet = 0;  // worksheet index
    int row = 1, column = 1;
    int textRow = 1, textColumn = 1;
};

// Never throws: a text that cannot be read gives one Unknown token that hides references
// (it may read any cell).
std::vector<xls::formula::Token> parseFormulaText(std::string_view text, const FormulaTextSite& site,
                                                  const std::vector<std::string>& sheetNames);

}  // namespace sbx::xlsx
