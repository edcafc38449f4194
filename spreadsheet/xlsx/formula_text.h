#pragma once
// Reads the text of an OOXML formula (the <f> element: no leading '=', English function
// names, A1 references) into the evaluator's tokens, in evaluation order with every
// reference resolved to worksheet indices. What the evaluator cannot compute (functions it
// does not know, defined names, table references, other workbooks) becomes an Unknown token,
// so the formula is reported rather than computed; the references around it stay known.
#include <optional>
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

// The ends of a reference token that move with the cell the formula stands in (no '$').
struct MovingReference {
    size_t token = 0;
    bool firstRow = false, lastRow = false, firstColumn = false, lastColumn = false;
};

// Tokens with what moves in them: the cells of a shared formula read the text once.
struct ParsedFormula {
    std::vector<xls::formula::Token> tokens;
    std::vector<MovingReference> moving;
    bool movable = true;  // false when a reference already moved off the sheet
};
ParsedFormula parseMovableFormulaText(std::string_view text, const FormulaTextSite& site,
                                      const std::vector<std::string>& sheetNames);

// The tokens of the same formula `rows` and `columns` away; nothing when a reference would
// leave the sheet (the text is then read at that cell).
std::optional<std::vector<xls::formula::Token>> movedTokens(const ParsedFormula& parsed, int rows, int columns);

}  // namespace sbx::xlsx
