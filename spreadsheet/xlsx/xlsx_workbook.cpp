#include "spreadsheet/xlsx/xlsx_workbook.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "spreadsheet/formula_readings.h"
#include "spreadsheet/stored_result.h"
#include "spreadsheet/worksheet_lookup.h"
#include "spreadsheet/worksheet_name.h"
#include "spreadsheet/typed_number.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/shared_strings.h"
#include "spreadsheet/xlsx/formula_recalc.h"

namespace sbx::xlsx {

using xls::FormatError;

std::vector<uint8_t> readFileBytes(const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec || !std::filesystem::exists(status)) {
        throw WorkbookError(WorkbookErrorKind::FileNotFound, file, "the file does not exist");
    }
    if (std::filesystem::is_directory(status)) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, "this is a folder, not a file");
    }
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, std::string("the file cannot be opened: ") + std::strerror(errno));
    }
    const std::streamoff size = in.tellg();
    std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
    in.seekg(0);
    if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, std::string("the file cannot be read: ") + std::strerror(errno));
    }
    return bytes;
}

// ---- XlsxWorksheet

std::string XlsxWorksheet::name() const { return owner_.layout().worksheets[index_].name; }

void XlsxWorksheet::checkPosition(int row, int column) const {
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        throw WorkbookError(WorkbookErrorKind::CellOutOfRange, owner_.path(),
                            "worksheet \"" + name() + "\": there is no cell at row " + std::to_string(row) +
                                ", column " + std::to_string(column));
    }
}

const SheetEdits* XlsxWorksheet::edits() const {
    const WorkbookEdits& all = std::as_const(owner_).edits();  // reading keeps the recalculation
    const auto it = all.find(index_);
    return it == all.end() ? nullptr : &it->second;
}

CellValue XlsxWorksheet::cell(int row, int column) const {
    checkPosition(row, column);
    if (const auto* written = edits()) {
        const auto it = written->find(cellKey(row, column));
        if (it != written->end()) return it->second;
    }
    const auto& sheet = owner_.content(index_);
    const auto* stored = sheet.find(row, column);
    return stored ? owner_.valueOf(sheet, *stored) : CellValue();
}

void XlsxWorksheet::forEachValue(const CellArea& area,
                                 const std::function<void(int, int, const CellValue&)>& visit) const {
    // Stored cells and written cells, merged in position order; a written cell wins.
    const auto& sheet = owner_.content(index_);
    static const SheetEdits none;
    const SheetEdits& written = edits() ? *edits() : none;
    const int firstRow = std::max(area.firstRow, 1);
    const int lastRow = std::min(area.lastRow, kMaxRows);
    if (lastRow < firstRow) return;
    const uint64_t firstKey = cellKey(firstRow, 1);
    const uint64_t endKey = cellKey(lastRow + 1, 1);
    auto stored = std::lower_bound(sheet.cells.begin(), sheet.cells.end(), firstKey,
                                   [](const StoredCell& c, uint64_t k) { return c.key < k; });
    auto edit = written.lower_bound(firstKey);
    auto offer = [&](uint64_t key, const CellValue& v) {
        const int column = keyColumn(key);
        if (column < area.firstColumn || column > area.lastColumn || v.isEmpty()) return;
        visit(keyRow(key), column, v);
    };
    while (true) {
        const bool haveStored = stored != sheet.cells.end() && stored->key < endKey;
        const bool haveEdit = edit != written.end() && edit->first < endKey;
        if (!haveStored && !haveEdit) break;
        if (haveEdit && (!haveStored || edit->first <= stored->key)) {
            if (haveStored && stored->key == edit->first) ++stored;
            offer(edit->first, edit->second);
            ++edit;
        } else {
            if (stored->kind != StoredKind::Blank) offer(stored->key, owner_.valueOf(sheet, *stored));
            ++stored;
        }
    }
}

std::pair<int, int> XlsxWorksheet::lastValueCell() const {
    int lastRow = 0;
    int lastColumn = 0;
    forEachValue(CellArea{1, 1, kMaxRows, kMaxColumns}, [&](int row, int column, const CellValue&) {
        lastRow = std::max(lastRow, row);
        lastColumn = std::max(lastColumn, column);
    });
    return {lastRow, lastColumn};
}

std::vector<FormulaWithoutResult> XlsxWorksheet::formulasWithoutResult(const CellArea& area) const {
    std::vector<FormulaWithoutResult> out;
    const auto& sheet = owner_.content(index_);
    if (!owner_.holdsFormulasWithoutResult()) return out;  // most workbooks: no need to look
    auto stored = std::lower_bound(sheet.cells.begin(), sheet.cells.end(), cellKey(std::max(area.firstRow, 1), 1),
                                   [](const StoredCell& c, uint64_t k) { return c.key < k; });
    for (; stored != sheet.cells.end() && keyRow(stored->key) <= area.lastRow; ++stored) {
        const int column = keyColumn(stored->key);
        if (!stored->formula || stored->kind != StoredKind::Blank || column < area.firstColumn || column > area.lastColumn) continue;
        out.push_back({{keyRow(stored->key), column}, owner_.withoutResultReason(index_, stored->key)});
    }
    return out;
}

std::vector<FormulaReading> XlsxWorksheet::formulasIn(const CellArea& area) const {
    std::vector<std::string> names;
    for (const auto& w : owner_.layout().worksheets) names.push_back(w.name);
    try {
        return formulaReadings(formulaCells(owner_), static_cast<uint32_t>(index_), area, names);
    } catch (const xls::FormatError& e) {
        throw WorkbookError(e.kind(), owner_.path(), e.what());
    }
}

bool XlsxWorksheet::isProtected() const { return owner_.content(index_).isProtected; }

bool XlsxWorksheet::isCellLocked(int row, int column) const {
    checkPosition(row, column);
    return owner_.styles().at(owner_.content(index_).styleAt(row, column)).locked;
}

std::string XlsxWorksheet::numberFormat(int row, int column) const {
    checkPosition(row, column);
    return owner_.styles().at(owner_.content(index_).styleAt(row, column)).code;
}

void XlsxWorksheet::setCell(int row, int column, const CellValue& value) {
    checkPosition(row, column);
    const auto& sheet = owner_.content(index_);
    const std::string where = "worksheet \"" + name() + "\", cell " + cellName({row, column}, LetterCase::Upper);
    if (sheet.isProtected && isCellLocked(row, column)) {
        throw WorkbookError(WorkbookErrorKind::CellLocked, owner_.path(),
                            "worksheet \"" + name() + "\" is protected and the cell at row " + std::to_string(row) +
                                ", column " + std::to_string(column) + " is locked");
    }
    for (const auto& area : sheet.arrayAreas) {
        if (area.contains(row, column)) {
            throw WorkbookError(WorkbookErrorKind::CellLocked, owner_.path(),
                                where + " belongs to the array formula or data table " +
                                    cellName({area.firstRow, area.firstColumn}, LetterCase::Upper) + ":" +
                                    cellName({area.lastRow, area.lastColumn}, LetterCase::Upper) +
                                    ", whose cells change only all together");
        }
    }
    if (std::find(sheet.sharedFormulaMasters.begin(), sheet.sharedFormulaMasters.end(), cellKey(row, column)) !=
        sheet.sharedFormulaMasters.end()) {
        throw WorkbookError(WorkbookErrorKind::CellLocked, owner_.path(),
                            where + " holds a formula that other cells share; write to an empty cell instead");
    }
    CellValue stored = value;
    // Text that reads as a number becomes the number, as typing it would, unless the cell
    // is formatted as text.
    if (value.kind() == CellKind::Text && !owner_.styles().at(sheet.styleAt(row, column)).text) {
        if (const auto number = parseTypedNumber(value.textValue())) stored = CellValue::number(*number);
    }
    owner_.edits()[index_][cellKey(row, column)] = std::move(stored);
}


// ---- XlsxWorkbook

XlsxWorkbook::XlsxWorkbook(std::filesystem::path file, ZipPackage package)
    : file_(std::move(file)), package_(std::move(package)) {}

void XlsxWorkbook::rethrow(const std::exception& e) const {
    if (const auto* format = dynamic_cast<const FormatError*>(&e)) throw WorkbookError(format->kind(), file_, format->what());
    if (const auto* workbook = dynamic_cast<const WorkbookError*>(&e)) throw *workbook;
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        throw WorkbookError(WorkbookErrorKind::Corrupt, file_, "the workbook needs more memory than there is");
    }
    throw WorkbookError(WorkbookErrorKind::Corrupt, file_, e.what());
}

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::open(const std::filesystem::path& file) {
    return fromBytes(readFileBytes(file), file);
}

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::fromBytes(std::vector<uint8_t> bytes, const std::filesystem::path& file) {
    try {
        if (bytes.empty()) throw FormatError(WorkbookErrorKind::Truncated, "the file is empty (0 bytes)");
        std::unique_ptr<XlsxWorkbook> book(new XlsxWorkbook(file, ZipPackage(std::move(bytes))));
        if (book->package_.has("mimetype") && !book->package_.has("[Content_Types].xml")) {
            throw FormatError(WorkbookErrorKind::WrongFormat, "an OpenDocument file (such as .ods), not an .xlsx workbook");
        }
        book->layout_ = readPackageLayout(book->package_);
        if (!book->layout_.stylesPart.empty()) {
            book->styles_ = CellStyles::parse(book->package_.read(book->layout_.stylesPart, kSmallPartLimits),
                                              book->layout_.stylesPart);
        }
        for (size_t i = 0; i < book->layout_.worksheets.size(); ++i) {
            book->sheets_.push_back(std::make_unique<XlsxWorksheet>(*book, i));
        }
        book->contents_.resize(book->layout_.worksheets.size());
        return book;
    } catch (const FormatError& e) {
        throw WorkbookError(e.kind(), file, e.what());
    } catch (const std::bad_alloc&) {
        throw WorkbookError(WorkbookErrorKind::Corrupt, file, "the workbook needs more memory than there is");
    }
}

Worksheet& XlsxWorkbook::worksheet(int position) { return worksheetAt(sheets_, position, file_); }

Worksheet& XlsxWorkbook::worksheet(std::string_view name) {
    for (const UnreadableSheet& left : layout_.unreadable) {
        if (!sameWorksheetName(left.name, name)) continue;
        bool readable = false;  // a readable sheet of the same name is still found
        for (const auto& sheet : sheets_) readable = readable || sameWorksheetName(sheet->name(), name);
        if (readable) break;
        throw WorkbookError(WorkbookErrorKind::SheetNotFound, file_,
                            "the worksheet \"" + std::string(name) + "\" cannot be read (" + left.reason + "), so it was left out");
    }
    return worksheetNamed(sheets_, name, file_);
}

const std::vector<std::string>& XlsxWorkbook::sharedStrings() const {
    if (!sharedStrings_) {
        try {
            sharedStrings_ = layout_.sharedStringsPart.empty()
                                 ? std::vector<std::string>()
                                 : readSharedStrings(package_, layout_.sharedStringsPart);
        } catch (const std::exception& e) {
            rethrow(e);
        }
    }
    return *sharedStrings_;
}

uint32_t XlsxWorkbook::sharedStringCount() const { return static_cast<uint32_t>(sharedStrings().size()); }

const SheetContent& XlsxWorkbook::content(size_t index) const {
    auto& slot = contents_[index];
    if (!slot) {
        const auto& entry = layout_.worksheets[index];
        try {
            WorksheetReadOptions options{&styles_, layout_.date1904, sharedStringCount(), nullptr};
            keep(index, readWorksheet(options, entry.part, [&](const auto& sink) { package_.stream(entry.part, sink); }));
        } catch (const std::exception& e) {
            rethrow(e);
        }
    }
    if (withoutResult_ && !opened_) computeOnOpening();
    return *slot;
}

void XlsxWorkbook::keep(size_t index, SheetContent content) const {
    withoutResult_ = withoutResult_ || std::any_of(content.cells.begin(), content.cells.end(), [](const StoredCell& c) {
                         return c.formula && c.kind == StoredKind::Blank;
                     });
    contents_[index] = std::move(content);
}

void XlsxWorkbook::computeOnOpening() const {
    opened_ = true;
    XlsxOpeningResults opening;
    try {
        opening = xlsx::computeOnOpening(*this);
    } catch (const std::exception& e) {
        rethrow(e);
    }
    for (const auto& [index, results] : opening.results) {
        SheetContent& sheet = *contents_[index];
        for (const auto& [key, value] : results) {
            auto at = std::lower_bound(sheet.cells.begin(), sheet.cells.end(), key,
                                       [](const StoredCell& c, uint64_t k) { return c.key < k; });
            if (at == sheet.cells.end() || at->key != key) {
                StoredCell added;  // a cell of an array formula that the file does not list
                added.key = key;
                added.formula = true;
                at = sheet.cells.insert(at, added);
            }
            at->text = 0;
            storeFormulaResult(*at, value, styles_.at(at->style).date, layout_.date1904 ? kDate1904Offset : 0.0,
                               StoredKind::Text, &StoredCell::text, sheet.texts);
        }
    }
    notComputed_ = std::move(opening.unresolved);
    openingResults_ = std::move(opening.results);
}

std::string XlsxWorkbook::withoutResultReason(size_t index, uint64_t key) const {
    const auto it = notComputed_.find({index, key});
    return it == notComputed_.end() ? std::string("its formula is not read") : it->second;
}

std::vector<FormulaCell> XlsxWorkbook::formulas(size_t index) const {
    const auto& entry = layout_.worksheets[index];
    std::vector<FormulaCell> out;
    try {
        WorksheetReadOptions options{&styles_, layout_.date1904, sharedStringCount(), &out};
        SheetContent content = readWorksheet(options, entry.part, [&](const auto& sink) { package_.stream(entry.part, sink); });
        if (!contents_[index]) keep(index, std::move(content));  // one read serves both
    } catch (const std::exception& e) {
        rethrow(e);
    }
    return out;
}

CellValue XlsxWorkbook::valueOf(const SheetContent& sheet, const StoredCell& cell) const {
    switch (cell.kind) {
        case StoredKind::Blank: return {};
        case StoredKind::Number: return CellValue::number(cell.number);
        case StoredKind::Date: return styles_.at(cell.style).time ? CellValue::time(cell.number) : CellValue::date(cell.number);
        case StoredKind::SharedText: return CellValue::text(sharedStrings()[cell.text]);
        case StoredKind::Text: return CellValue::text(sheet.texts[cell.text]);
        case StoredKind::Boolean: return CellValue::boolean(cell.number != 0);
        case StoredKind::Error: return CellValue::error(static_cast<uint8_t>(cell.number));
    }
    return {};
}

std::vector<StaleFormula> XlsxWorkbook::staleFormulas() const {
    if (edits_.empty()) return {};
    return recalculation().stale;
}

const XlsxRecalculation& XlsxWorkbook::recalculation() const {
    if (!recalculation_) recalculation_ = std::make_shared<const XlsxRecalculation>(recalculateFormulas(*this));
    return *recalculation_;
}

}  // namespace sbx::xlsx
