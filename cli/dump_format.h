#pragma once
// The text forms of cell values in `shubuxing-cli dump`: numbers in their shortest exact
// form, dates in ISO 8601, texts with tabs and line breaks escaped.
#include <ostream>
#include <string>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/spreadsheet_host.h"

namespace sbx::cli {

// Integral values below 1e15 as integers; others as the shortest text that reads back to
// the same double, fixed notation for exponents -4..15 and scientific otherwise (1e-05,
// 1.5e+16), like the repr of Python's floats.
std::string formatNumber(double v);

// A 1900-system day serial as 2024-01-31, or 2024-01-31T08:30:00 with a time of day.
std::string formatDate(double serial1900);

// Backslash, tab, CR and LF as \\ \t \r \n.
std::string escapeText(const std::string& text);

std::string formatCell(const CellValue& v);

// Writes rows first..last of `area` (clipped to the last cell with a value when the area's
// end is open) as tab-separated lines.
void dumpArea(const Worksheet& sheet, const CellArea& area, bool openEnded, std::ostream& out);

}  // namespace sbx::cli
