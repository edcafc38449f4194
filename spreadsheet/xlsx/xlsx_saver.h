#pragma once
// Saving an .xlsx/.xlsm workbook with its written cells: only the worksheet parts that were
// written are rewritten; the calculation chain is dropped and full calculation on load set
// so that the spreadsheet application computes the formulas again; every other entry of the
// package is copied as it is stored. The file is replaced atomically.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "spreadsheet/atomic_file.h"

namespace sbx::xlsx {

class XlsxWorkbook;

// True for a file that starts as a zip archive does ("PK\3\4", or "PK\5\6" when empty).
bool isZipPackage(const std::filesystem::path& file);

// The new package. Throws xls::FormatError when a part to change cannot be read.
std::vector<uint8_t> buildXlsxFile(const XlsxWorkbook& book);

// buildXlsxFile, read back (every written cell must read as written), then written to
// `target` through a temporary file, put in place as `placement` says. Throws WorkbookError
// naming `target`.
void saveXlsxWorkbook(const XlsxWorkbook& book, const std::filesystem::path& target,
                      const FileWriteSteps& steps = FileWriteSteps::system(), const SavePlacement& placement = {});

}  // namespace sbx::xlsx
