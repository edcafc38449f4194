#include "spreadsheet/formula_block.h"

namespace sbx {

namespace {
std::string a1(int row, int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}
}  // namespace

std::string describeFormulaBlock(const FormulaBlock& block) {
    const CellArea& a = block.area;
    return std::string(block.dataTable ? "the data table in " : "the array formula in ") +
           a1(a.firstRow, a.firstColumn) + ":" + a1(a.lastRow, a.lastColumn);
}

}  // namespace sbx
