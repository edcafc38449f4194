#pragma once
// Worksheet names compare as spreadsheet applications compare them: letter case does not
// matter (Latin, Greek, Cyrillic and full-width Latin letters), everything else must be
// equal. Every lookup of a worksheet by name, in every mode and front end, uses this rule.
#include <string_view>

namespace sbx {

bool sameWorksheetName(std::string_view a, std::string_view b);

}  // namespace sbx
