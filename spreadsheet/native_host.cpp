#include "spreadsheet/native_host.h"

#include <algorithm>

#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {
constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;

// Worksheet names compare without regard to letter case, as the spreadsheet application
// does for the Latin letters.
bool sameSheetName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}
}  // namespace

std::string NativeWorksheet::name() const { return book_.worksheets()[index_].name; }

void NativeWorksheet::checkPosition(int row, int column) const {
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        throw WorkbookError(WorkbookErrorKind::CellOutOfRange, book_.file(),
                            "worksheet \"" + name() + "\": there is no cell at row " + std::to_string(row) +
                                ", column " + std::to_string(column));
    }
}

CellValue NativeWorksheet::cell(int row, int column) const {
    checkPosition(row, column);
    const auto& sheet = cells();
    const auto* stored = sheet.find(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1));
    return stored ? book_.valueOf(sheet, *stored) : CellValue();
}

void NativeWorksheet::forEachValue(const CellArea& area,
                                   const std::function<void(int, int, const CellValue&)>& visit) const {
    const auto& sheet = cells();
    const auto all = sheet.cells();
    const uint32_t firstKey = xls::cellKey(static_cast<uint32_t>(std::max(area.firstRow, 1) - 1), 0);
    auto it = std::lower_bound(all.begin(), all.end(), firstKey,
                               [](const xls::StoredCell& c, uint32_t k) { return c.key < k; });
    for (; it != all.end(); ++it) {
        const int row = static_cast<int>(it->row()) + 1;
        const int column = static_cast<int>(it->column()) + 1;
        if (row > area.lastRow) break;
        if (column < area.firstColumn || column > area.lastColumn || it->kind == xls::StoredKind::Blank) continue;
        visit(row, column, book_.valueOf(sheet, *it));
    }
}

std::pair<int, int> NativeWorksheet::lastValueCell() const {
    int lastRow = 0;
    int lastColumn = 0;
    for (const auto& c : cells().cells()) {
        if (c.kind == xls::StoredKind::Blank) continue;
        lastRow = std::max(lastRow, static_cast<int>(c.row()) + 1);
        lastColumn = std::max(lastColumn, static_cast<int>(c.column()) + 1);
    }
    return {lastRow, lastColumn};
}

bool NativeWorksheet::isProtected() const { return cells().isProtected(); }

bool NativeWorksheet::isCellLocked(int row, int column) const {
    checkPosition(row, column);
    const uint16_t xf = cells().formatAt(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1));
    return book_.format(xf).locked;
}

NativeWorkbook::NativeWorkbook(xls::WorkbookReader reader) : reader_(std::move(reader)) {
    for (size_t i = 0; i < reader_.worksheets().size(); ++i) {
        sheets_.push_back(std::make_unique<NativeWorksheet>(reader_, i));
    }
}

Worksheet& NativeWorkbook::worksheet(int position) {
    if (position < 1 || position > worksheetCount()) {
        throw WorkbookError(WorkbookErrorKind::SheetNotFound, path(),
                            "the workbook has no worksheet number " + std::to_string(position) + " (it has " +
                                std::to_string(worksheetCount()) + ")");
    }
    return *sheets_[static_cast<size_t>(position - 1)];
}

Worksheet& NativeWorkbook::worksheet(std::string_view name) {
    for (auto& sheet : sheets_) {
        if (sameSheetName(sheet->name(), name)) return *sheet;
    }
    throw WorkbookError(WorkbookErrorKind::SheetNotFound, path(),
                        "the workbook has no worksheet named \"" + std::string(name) + "\"");
}

Workbook& NativeHost::open(const std::filesystem::path& file) {
    open_.push_back(std::make_unique<NativeWorkbook>(xls::WorkbookReader::open(file)));
    return *open_.back();
}

void NativeHost::close(Workbook& workbook) {
    std::erase_if(open_, [&](const auto& b) { return b.get() == &workbook; });
}

std::unique_ptr<SpreadsheetHost> makeNativeHost() { return std::make_unique<NativeHost>(); }

}  // namespace sbx
