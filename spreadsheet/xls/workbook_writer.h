#pragma once
// Saves a workbook read by WorkbookReader with the cells written since it was opened.
#include <cstdint>
#include <filesystem>
#include <map>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/workbook_reader.h"

namespace sbx::xls {

// The cells written into one worksheet, by cellKey(row0, column0); an empty CellValue
// clears the cell's value.
using SheetEdits = std::map<uint32_t, CellValue>;
// By worksheet index (into WorkbookReader::worksheets()).
using WorkbookEdits = std::map<size_t, SheetEdits>;

// Writes the workbook of `reader` with `edits` applied to `target`: a new file beside it,
// swapped in with one rename, so `target` is either the old file or the complete new one.
// Throws WorkbookError naming `target` when it cannot be written.
void saveWorkbook(const WorkbookReader& reader, const WorkbookEdits& edits, const std::filesystem::path& target);

}  // namespace sbx::xls
