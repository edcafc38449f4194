#include "spreadsheet/native_host.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "spreadsheet/area_values.h"
#include "spreadsheet/formula_readings.h"
#include "spreadsheet/typed_number.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/workbook_file_check.h"
#include "spreadsheet/worksheet_lookup.h"
#include "spreadsheet/xls/formula_recalc.h"
#include "spreadsheet/xls/old_biff_reader.h"
#include "spreadsheet/xlsx/xlsx_saver.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

namespace sbx {

NativeWorksheet::NativeWorksheet(NativeWorkbook& owner, size_t index)
    : owner_(owner), book_(owner.reader()), index_(index) {}

const xls::SheetEdits* NativeWorksheet::edits() const {
    const auto it = owner_.edits().find(index_);
    return it == owner_.edits().end() ? nullptr : &it->second;
}

const xls::SheetCells& NativeWorksheet::cells() const { return owner_.sheetCells(index_); }

std::vector<FormulaWithoutResult> NativeWorksheet::formulasWithoutResult(const CellArea& area) const {
    std::vector<FormulaWithoutResult> out;
    const auto& sheet = cells();
    if (sheet.formulasWithoutResult() == 0 || book_.version() != xls::BiffVersion::Biff8) return out;
    const auto all = sheet.cells();
    const uint32_t firstKey = xls::cellKey(static_cast<uint32_t>(std::max(area.firstRow, 1) - 1), 0);
    auto stored = std::lower_bound(all.begin(), all.end(), firstKey,
                                   [](const xls::StoredCell& c, uint32_t k) { return c.key < k; });
    for (; stored != all.end() && static_cast<int>(stored->row()) < area.lastRow; ++stored) {
        const int column = static_cast<int>(stored->column()) + 1;
        if (!stored->withoutResult || column < area.firstColumn || column > area.lastColumn) continue;
        out.push_back({{static_cast<int>(stored->row()) + 1, column}, owner_.withoutResultReason(index_, stored->key)});
    }
    return out;
}

std::vector<FormulaReading> NativeWorksheet::formulasIn(const CellArea& area) const {
    if (book_.version() != xls::BiffVersion::Biff8) return {};
    std::vector<std::string> names;
    for (const auto& w : book_.worksheets()) names.push_back(w.name);
    auto readings = formulaReadings(xls::formula::readFormulaCells(book_), static_cast<uint32_t>(index_), area, names);
    if (const auto* written = edits()) {
        std::erase_if(readings, [&](const FormulaReading& f) {
            return written->contains(xls::cellKey(static_cast<uint32_t>(f.cell.row - 1), static_cast<uint32_t>(f.cell.column - 1)));
        });
    }
    return readings;
}

std::string NativeWorksheet::name() const { return book_.worksheets()[index_].name; }

void NativeWorksheet::checkPosition(int row, int column) const {
    if (row < 1 || row > kXlsGrid.rows || column < 1 || column > kXlsGrid.columns) {
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
    const uint32_t endKey = xls::cellKey(static_cast<uint32_t>(std::min(area.lastRow, kXlsGrid.rows)), 0);
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
            // The column first: a value (a label's text, say) is only made for cells of the area.
            const int column = static_cast<int>(stored->column()) + 1;
            if (stored->kind != xls::StoredKind::Blank && column >= area.firstColumn && column <= area.lastColumn) {
                offer(stored->key, book_.valueOf(sheet, *stored));
            }
            ++stored;
        }
    }
}

void NativeWorksheet::readValues(const CellArea& area, AreaValues& into) const {
    if (edits()) return Worksheet::readValues(area, into);  // written cells win: the general merge
    const auto& sheet = cells();
    const auto all = sheet.cells();
    const uint32_t firstKey = xls::cellKey(static_cast<uint32_t>(std::max(area.firstRow, 1) - 1), 0);
    const uint32_t endKey = xls::cellKey(static_cast<uint32_t>(std::min(area.lastRow, kXlsGrid.rows)), 0);
    auto stored = std::lower_bound(all.begin(), all.end(), firstKey,
                                   [](const xls::StoredCell& c, uint32_t k) { return c.key < k; });
    for (; stored != all.end() && stored->key < endKey; ++stored) {
        const int column = static_cast<int>(stored->column()) + 1;
        if (column < area.firstColumn || column > area.lastColumn || stored->kind == xls::StoredKind::Blank) continue;
        const int row = static_cast<int>(stored->row()) + 1;
        if (stored->kind == xls::StoredKind::Number) {
            into.addNumber(row, column, stored->number);
        } else {
            into.addValue(row, column, book_.valueOf(sheet, *stored));
        }
    }
}

std::pair<int, int> NativeWorksheet::lastValueCell() const {
    int lastRow = 0;
    int lastColumn = 0;
    forEachValue(CellArea{1, 1, kXlsGrid.rows, kXlsGrid.columns}, [&](int row, int column, const CellValue&) {
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

std::string NativeWorksheet::numberFormat(int row, int column) const {
    checkPosition(row, column);
    return book_.formatCode(cells().formatAt(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1)));
}

std::optional<FormulaBlock> NativeWorksheet::formulaBlockIn(const CellArea& area) const {
    if (area.lastRow < 1 || area.lastColumn < 1) return std::nullopt;
    const auto* b = cells().blockOverlapping(static_cast<uint32_t>(std::max(area.firstRow, 1) - 1),
                                             static_cast<uint32_t>(area.lastRow - 1),
                                             static_cast<uint32_t>(std::max(area.firstColumn, 1) - 1),
                                             static_cast<uint32_t>(area.lastColumn - 1));
    if (!b) return std::nullopt;
    return FormulaBlock{{static_cast<int>(b->firstRow) + 1, static_cast<int>(b->firstColumn) + 1,
                         static_cast<int>(b->lastRow) + 1, static_cast<int>(b->lastColumn) + 1},
                        b->dataTable};
}

void NativeWorksheet::setCell(int row, int column, const CellValue& value) {
    checkPosition(row, column);
    if (book_.version() != xls::BiffVersion::Biff8) {
        throw WorkbookError(WorkbookErrorKind::WriteUnsupported, book_.file(),
                            book_.version() != xls::BiffVersion::Biff5
                                ? xls::kOldBiffReadOnly
                                : "this is an Excel 95 (BIFF5) workbook; only Excel 97-2003 workbooks are "
                                  "written. Save it as an Excel 97-2003 workbook first");
    }
    if (isProtected() && isCellLocked(row, column)) {
        throw WorkbookError(WorkbookErrorKind::CellLocked, book_.file(),
                            "worksheet \"" + name() + "\" is protected and the cell at row " + std::to_string(row) +
                                ", column " + std::to_string(column) + " is locked");
    }
    if (const auto block = formulaBlockIn({row, column, row, column})) {
        throw WorkbookError(WorkbookErrorKind::CellInArray, book_.file(),
                            "worksheet \"" + name() + "\": the cell at row " + std::to_string(row) + ", column " +
                                std::to_string(column) + " is part of " + describeFormulaBlock(*block) +
                                ", which can only be changed as a whole");
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


NativeWorkbook::NativeWorkbook(NativeHost& host, xls::WorkbookReader reader) : host_(host), reader_(std::move(reader)) {
    for (size_t i = 0; i < reader_.worksheets().size(); ++i) {
        sheets_.push_back(std::make_unique<NativeWorksheet>(*this, i));
    }
}

const xls::SheetCells& NativeWorkbook::sheetCells(size_t index) {
    const xls::SheetCells& cells = reader_.cells(index);
    if (!opened_ && cells.formulasWithoutResult() > 0) computeOnOpening();
    return cells;
}

void NativeWorkbook::computeOnOpening() {
    opened_ = true;
    auto opening = xls::formula::computeOnOpening(reader_);
    for (const auto& [sheet, results] : opening.results) {
        xls::SheetCells& cells = reader_.cellsToFill(sheet);
        for (const auto& [key, value] : results) {
            const uint32_t row0 = key >> 8, column0 = key & 0xFF;
            cells.setFormulaResult(row0, column0, value, reader_.format(cells.formatAt(row0, column0)).isDate);
        }
    }
    for (auto& note : opening.unresolved) {
        notComputed_[{note.sheet, xls::cellKey(note.row, note.column)}] = std::move(note.reason);
    }
}

std::string NativeWorkbook::withoutResultReason(size_t index, uint32_t key) const {
    const auto it = notComputed_.find({index, key});
    return it == notComputed_.end() ? std::string("its formula is not read") : it->second;
}

Worksheet& NativeWorkbook::worksheet(int position) { return worksheetAt(sheets_, position, path()); }

Worksheet& NativeWorkbook::worksheet(std::string_view name) { return worksheetNamed(sheets_, name, path()); }

std::vector<StaleFormula> NativeWorkbook::staleFormulas() const {
    std::vector<StaleFormula> out;
    for (const auto& note : xls::formula::recalculate(reader_, edits_).notes) {
        out.push_back({reader_.worksheets()[note.sheet].name, note.row + 1, note.column + 1, note.reason});
    }
    return out;
}

Workbook& NativeHost::open(const std::filesystem::path& file) {
    checkWorkbookFile(file);
    if (xlsx::isZipPackage(file)) {
        open_.push_back(xlsx::XlsxWorkbook::open(file));
        return *open_.back();
    }
    return adopt(xls::WorkbookReader::open(file));
}

Workbook& NativeHost::openHandingBytes(const std::filesystem::path& file, const FileBytesSink& sink) {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    {
        const WorkbookFileReader in(file);
        bytes = std::make_shared<const std::vector<uint8_t>>(in.readAll());
    }
    sink(bytes);
    const std::span<const uint8_t> content(*bytes);
    if (content.size() >= 4 && content[0] == 'P' && content[1] == 'K' &&
        ((content[2] == 3 && content[3] == 4) || (content[2] == 5 && content[3] == 6))) {
        open_.push_back(xlsx::XlsxWorkbook::fromBytes(std::vector<uint8_t>(content.begin(), content.end()), file));
        return *open_.back();
    }
    return adopt(xls::WorkbookReader::fromSharedBytes(content, file));
}

NativeWorkbook& NativeHost::adopt(xls::WorkbookReader reader) {
    auto book = std::make_unique<NativeWorkbook>(*this, std::move(reader));
    NativeWorkbook& adopted = *book;
    open_.push_back(std::move(book));
    return adopted;
}

void NativeHost::close(Workbook& workbook, bool save) {
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& b) { return b.get() == &workbook; });
    if (it == open_.end()) return;
    std::unique_ptr<Workbook> book = std::move(*it);
    open_.erase(it);
    if (save && book->isModified()) saveAs(*book, book->path());
}

void NativeHost::saveAs(Workbook& workbook, const std::filesystem::path& target) { save(workbook, target, {}); }

void NativeHost::saveAsReplacingLink(Workbook& workbook, const std::filesystem::path& target,
                                     const WrittenBytesSink& written) {
    save(workbook, target, {LinkAtTarget::Replace, written});
}

void NativeHost::save(Workbook& workbook, const std::filesystem::path& target, const SavePlacement& placement) {
    if (const auto* xlsxBook = dynamic_cast<const xlsx::XlsxWorkbook*>(&workbook)) {
        xlsx::saveXlsxWorkbook(*xlsxBook, target, writeSteps_, placement);
        return;
    }
    const auto* book = dynamic_cast<const NativeWorkbook*>(&workbook);
    if (!book) throw std::logic_error("saveAs: the workbook was not opened by this host");
    xls::saveWorkbook(book->reader(), book->edits(), target, writeSteps_, placement);
}

void NativeHost::quit() { open_.clear(); }

void SpreadsheetHost::saveAsReplacingLink(Workbook& workbook, const std::filesystem::path& target,
                                          const WrittenBytesSink& written) {
    saveAs(workbook, target);
    std::ifstream in(target, std::ios::binary);
    if (!in) return;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    written(bytes);
}

std::unique_ptr<SpreadsheetHost> makeNativeHost() { return std::make_unique<NativeHost>(); }

}  // namespace sbx
