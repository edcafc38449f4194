#pragma once
// Pieces of the run record's JSON text: strings escaped, numbers as their shortest text, and
// cell values tagged by kind so that a script tells a date or an error from a number.
#include <string>
#include <string_view>

#include "spreadsheet/cell_value.h"

namespace sbx {

void appendJsonString(std::string& out, std::string_view text);
void appendJsonNumber(std::string& out, double x);
// Numbers and texts as themselves, dates, errors and booleans tagged: {"date": 45292},
// {"error": "#DIV/0!"}, true; an empty cell as null. JSON has no NaN or infinity: a source
// cell holding one is {"number": "NaN"}, {"number": "Infinity"} or {"number": "-Infinity"}.
void appendJsonValue(std::string& out, const CellValue& v);
// `"name": "value"`, led by ", " unless it is the first field of its object.
void appendJsonField(std::string& out, std::string_view name, std::string_view value, bool first = false);

}  // namespace sbx
