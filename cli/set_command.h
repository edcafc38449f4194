#pragma once
// `shubuxing-cli set FILE SHEET CELL VALUE`: writes one value into a workbook and saves it.
#include <iosfwd>
#include <string>

#include "spreadsheet/cell_value.h"

namespace sbx::cli {

// The value a command-line argument stands for: "" empty, TRUE and FALSE booleans, text
// otherwise (text that reads as a number is stored as the number by the engine).
CellValue valueFromArgument(const std::string& argument);

// Writes VALUE into CELL (such as b4) of worksheet SHEET of FILE and saves the workbook.
// The formulas whose results were left to the spreadsheet application are named on `err`,
// one line each. Returns the exit status: 0, or 2 after writing the reason to `err`.
int setCommand(const std::string& file, const std::string& sheet, const std::string& cell, const std::string& value,
               std::ostream& err);

}  // namespace sbx::cli
