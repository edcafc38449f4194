#pragma once
// Saves a workbook read by WorkbookReader with the cells written since it was opened.
#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "spreadsheet/atomic_file.h"
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
// The same with the file operations given, so that tests can make them fail, and the way the
// file is put in place.
void saveWorkbook(const WorkbookReader& reader, const WorkbookEdits& edits, const std::filesystem::path& target,
                  const FileWriteSteps& steps, const SavePlacement& placement = {});

// The new workbook stream (BIFF8 records) and the whole new file (the container with every
// other stream kept). A workbook encrypted with RC4 (always with the default password, the
// only one the reader accepts) is encrypted again the same way; one with XOR obfuscation is
// written in the clear, without FILEPASS.
// Formulas are marked for recalculation when the file is next opened, and those that depend
// on written cells get their results recomputed (formula_recalc.h).
std::vector<uint8_t> buildWorkbookStream(const WorkbookReader& reader, const WorkbookEdits& edits);
std::vector<uint8_t> buildWorkbookFile(const WorkbookReader& reader, const WorkbookEdits& edits);

// buildWorkbookFile, then the new file read back: every worksheet must read and every written
// cell must hold its new value. A damaged workbook that would lose a write is refused with a
// FormatError (Corrupt) instead of being saved without it.
std::vector<uint8_t> buildCheckedWorkbookFile(const WorkbookReader& reader, const WorkbookEdits& edits);

}  // namespace sbx::xls
