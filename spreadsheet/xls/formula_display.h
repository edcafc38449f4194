#pragma once
// A decoded formula as a person reads it in a spreadsheet application's formula bar:
// "=SUM(B3:B9)", "=B10+B19", "=IF(C5=0,0,B5/C5)". References are shown without their
// worksheet (the formulas shown are those of one worksheet) and without $ signs.
#include <string>
#include <vector>

#include "spreadsheet/xls/formula_tokens.h"

namespace sbx::xls::formula {

std::string formulaDisplayText(const std::vector<Token>& tokens);

}  // namespace sbx::xls::formula
