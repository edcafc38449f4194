#include "spreadsheet/formula_block.h"

namespace sbx {

std::string describeFormulaBlock(const FormulaBlock& block) {
    const CellArea& a = block.area;
    return std::string(block.dataTable ? "the data table in " : "the array formula in ") +
           cellName(a.first(), LetterCase::Upper) + ":" + cellName(a.last(), LetterCase::Upper);
}

}  // namespace sbx
