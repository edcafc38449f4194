#pragma once
// Worksheets(position) and Worksheets(name) over a workbook's list of worksheets, the same for
// every engine: positions from 1, names by sameWorksheetName, WorkbookError naming the file.
#include <filesystem>
#include <string>
#include <string_view>

#include "spreadsheet/workbook_error.h"
#include "spreadsheet/worksheet_name.h"

namespace sbx {

// `sheets`: a vector of pointers to the engine's worksheets.
template <typename Sheets>
auto& worksheetAt(Sheets& sheets, int position, const std::filesystem::path& file) {
    const int count = static_cast<int>(sheets.size());
    if (position < 1 || position > count) {
        throw WorkbookError(WorkbookErrorKind::SheetNotFound, file,
                            "the workbook has no worksheet number " + std::to_string(position) + " (it has " +
                                std::to_string(count) + ")");
    }
    return *sheets[static_cast<size_t>(position - 1)];
}

template <typename Sheets>
auto& worksheetNamed(Sheets& sheets, std::string_view name, const std::filesystem::path& file) {
    for (auto& sheet : sheets) {
        if (sameWorksheetName(sheet->name(), name)) return *sheet;
    }
    throw WorkbookError(WorkbookErrorKind::SheetNotFound, file,
                        "the workbook has no worksheet named \"" + std::string(name) + "\"");
}

}  // namespace sbx
