#pragma once
// The formats a pool file and the summary workbook come in: Excel 97-2003 (.xls), Office Open
// XML (.xlsx) and its macro-enabled kind (.xlsm). A pool mixes them freely; the summary
// workbook keeps the format of the pool file it was copied from.
#include <filesystem>
#include <optional>
#include <string_view>

#include "spreadsheet/cell_address.h"

namespace sbx {

enum class WorkbookFormat { Xls, Xlsx, Xlsm };

inline constexpr WorkbookFormat kWorkbookFormats[] = {WorkbookFormat::Xls, WorkbookFormat::Xlsx, WorkbookFormat::Xlsm};

// ".xls", ".xlsx" or ".xlsm".
std::string_view formatExtension(WorkbookFormat format);

// The rows and columns of a worksheet in `format`: a1:iv65536 in .xls, a1:xfd1048576 otherwise.
SheetGrid sheetGridOf(WorkbookFormat format);

// The format a pool file's name gives, by its exact lower-case ending (".xls", ".xlsx",
// ".xlsm"); nothing for any other name, "a.XLS" and "a.xls.bak" included.
std::optional<WorkbookFormat> formatOfPoolName(std::string_view name);

// The format of the workbook in `file`, by its content, since the name may lie (an .xlsx
// renamed to .xls): a zip package is .xlsm when its name ends so in any letter case (a
// macro-enabled package must keep that ending to be opened) and .xlsx otherwise; everything
// else is taken for .xls. Never opens a named pipe or a device.
WorkbookFormat workbookFormatOf(const std::filesystem::path& file);

}  // namespace sbx
