#include "spreadsheet/native_host.h"

#include <algorithm>

#include "spreadsheet/consolidate_by_position.h"
#include "spreadsheet/typed_number.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/formula_recalc.h"
#include "spreadsheet/xlsx/xlsx_saver.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

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

NativeWorksheet::NativeWorksheet(NativeWorkbook& owner, size_t index)
    : owner_(owner), book_(owner.reader()), index_(index) {}

const xls::SheetEdits* NativeWorksheet::edits() const {
    const auto it = owner_.edits().find(index_);
    return it == owner_.edits().end() ? nullptr : &it->second;
}

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
    if (const auto* written = edits()) {
        const auto it = written->find(xls::cellKey(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1)));
        if (it != written->end()) return it->second;
    }
    const auto& sheet = cells();
    const auto* stored = sheet.find(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1));
    return stored ? book_.valueOf(sheet, *stored) : CellValue();
}

void NativeWorksheet::forEachValue(const CellArea& area,
                                   const std::function<void(int, int, const CellValue&)>& visit) const {
    // Stored cells and written cells, merged in position order; a written cell wins.
    const auto& sheet = cells();
    const auto all = sheet.cells();
    static const xls::SheetEdits none;
    const xls::SheetEdits& written = edits() ? *edits() : none;
    const uint32_t firstKey = xls::cellKey(static_cast<uint32_t>(std::max(area.firstRow, 1) - 1), 0);
    auto stored = std::lower_bound(all.begin(), all.end(), firstKey,
                                   [](const xls::StoredCell& c, uint32_t k) { return c.key < k; });
    auto edit = written.lower_bound(firstKey);
    const uint32_t endKey = xls::cellKey(static_cast<uint32_t>(std::min(area.lastRow, 65536)), 0);
    auto offer = [&](uint32_t key, const CellValue& v) {
        const int row = static_cast<int>(key >> 8) + 1;
        const int column = static_cast<int>(key & 0xFF) + 1;
        if (column < area.firstColumn || column > area.lastColumn || v.isEmpty()) return;
        visit(row, column, v);
    };
    while (true) {
        const bool haveStored = stored != all.end() && stored->key < endKey;
        const bool haveEdit = edit != written.end() && edit->first < endKey;
        if (!haveStored && !haveEdit) break;
        if (haveEdit && (!haveStored || edit->first <= stored->key)) {
            if (haveStored && stored->key == edit->first) ++stored;
            offer(edit->first, edit->second);
            ++edit;
        } else {
            if (stored->kind != xls::StoredKind::Blank) offer(stored->key, book_.valueOf(sheet, *stored));
            ++stored;
        }
    }
}

std::pair<int, int> NativeWorksheet::lastValueCell() const {
    int lastRow = 0;
    int lastColumn = 0;
    forEachValue(CellArea{}, [&](int row, int column, const CellValue&) {
        lastRow = std::max(lastRow, row);
        lastColumn = std::max(lastColumn, column);
    });
    return {lastRow, lastColumn};
}

bool NativeWorksheet::isProtected() const { return cells().isProtected(); }

bool NativeWorksheet::isCellLocked(int row, int column) const {
    checkPosition(row, column);
    const uint16_t xf = cells().formatAt(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1));
    return book_.format(xf).locked;
}

void NativeWorksheet::setCell(int row, int column, const CellValue& value) {
    checkPosition(row, column);
    if (book_.version() != xls::BiffVersion::Biff8) {
        throw WorkbookError(WorkbookErrorKind::WriteUnsupported, book_.file(),
                            "this is an Excel 95 (BIFF5) workbook; only Excel 97-2003 workbooks are "
                            "written. Save it as an Excel 97-2003 workbook first");
    }
    if (isProtected() && isCellLocked(row, column)) {
        throw WorkbookError(WorkbookErrorKind::CellLocked, book_.file(),
                            "worksheet \"" + name() + "\" is protected and the cell at row " + std::to_string(row) +
                                ", column " + std::to_string(column) + " is locked");
    }
    const auto row0 = static_cast<uint32_t>(row - 1);
    const auto column0 = static_cast<uint32_t>(column - 1);
    CellValue stored = value;
    // Text that reads as a number becomes the number, as typing it would, unless the cell
    // is formatted as text.
    if (value.kind() == CellKind::Text && !book_.format(cells().formatAt(row0, column0)).isText) {
        if (const auto number = parseTypedNumber(value.textValue())) stored = CellValue::number(*number);
    }
    owner_.edits()[index_][xls::cellKey(row0, column0)] = std::move(stored);
}

void NativeWorksheet::activate() { owner_.host().setActive(this); }

NativeWorkbook::NativeWorkbook(NativeHost& host, xls::WorkbookReader reader) : host_(host), reader_(std::move(reader)) {
    for (size_t i = 0; i < reader_.worksheets().size(); ++i) {
        sheets_.push_back(std::make_unique<NativeWorksheet>(*this, i));
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

std::vector<StaleFormula> NativeWorkbook::staleFormulas() const {
    std::vector<StaleFormula> out;
    for (const auto& note : xls::formula::recalculate(reader_, edits_).notes) {
        out.push_back({reader_.worksheets()[note.sheet].name, note.row + 1, note.column + 1, note.reason});
    }
    return out;
}

Workbook& NativeHost::open(const std::filesystem::path& file) {
    if (xlsx::isZipPackage(file)) {
        open_.push_back(xlsx::XlsxWorkbook::open(file, [this](Worksheet& sheet) { setActive(&sheet); }));
        return *open_.back();
    }
    return adopt(xls::WorkbookReader::open(file));
}

NativeWorkbook& NativeHost::adopt(xls::WorkbookReader reader) {
    auto book = std::make_unique<NativeWorkbook>(*this, std::move(reader));
    NativeWorkbook& adopted = *book;
    open_.push_back(std::move(book));
    return adopted;
}

bool NativeHost::owns(const Worksheet* sheet) const {
    for (const auto& book : open_) {
        for (int i = 1; i <= book->worksheetCount(); ++i) {
            if (&book->worksheet(i) == sheet) return true;
        }
    }
    return false;
}

void NativeHost::close(Workbook& workbook, bool save) {
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& b) { return b.get() == &workbook; });
    if (it == open_.end()) return;
    std::unique_ptr<Workbook> book = std::move(*it);
    open_.erase(it);
    if (active_ && !owns(active_)) {
        active_ = nullptr;
        hasSelection_ = false;
    }
    if (!save || !book->isModified()) return;
    if (const auto* xlsxBook = dynamic_cast<const xlsx::XlsxWorkbook*>(book.get())) {
        xlsx::saveXlsxWorkbook(*xlsxBook, book->path(), writeSteps_);
    } else {
        const auto& xlsBook = static_cast<const NativeWorkbook&>(*book);
        xls::saveWorkbook(xlsBook.reader(), xlsBook.edits(), book->path(), writeSteps_);
    }
}

void NativeHost::quit() {
    open_.clear();
    active_ = nullptr;
    hasSelection_ = false;
}

void NativeHost::selectRange(std::string_view range) {
    if (!active_) {
        throw WorkbookError(WorkbookErrorKind::NoActiveSheet, {}, "no worksheet is active to select a range on");
    }
    const auto area = parseCellRange(range);
    if (!area) {
        throw WorkbookError(WorkbookErrorKind::BadReference, {},
                            "\"" + std::string(range) + "\" is not a cell range such as a3:h20");
    }
    selection_ = *area;
    hasSelection_ = true;
}

void NativeHost::consolidateSelection(const std::vector<std::string>& sources) {
    if (!active_ || !hasSelection_) {
        throw WorkbookError(WorkbookErrorKind::NoActiveSheet, {}, "no range is selected to consolidate into");
    }
    consolidateByPosition(*this, *active_, selection_, sources);
}

std::unique_ptr<SpreadsheetHost> makeNativeHost() { return std::make_unique<NativeHost>(); }

}  // namespace sbx
