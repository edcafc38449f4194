#pragma once
// Says in plain words what a file is when it is not an .xls compound file, so that the user
// learns "this is an .xlsx file" rather than "bad signature".
#include <cstdint>
#include <span>

#include "spreadsheet/xls/format_error.h"

namespace sbx::xls {

// The error to report for bytes that do not start with the compound file signature.
FormatError describeForeignFile(std::span<const uint8_t> bytes);

}  // namespace sbx::xls
