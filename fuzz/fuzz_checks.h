#pragma once
// What each fuzz target asserts about one input, shared with the regression test that
// replays the inputs of earlier findings (tests/data/fuzz/). A broken rule throws
// BrokenInvariant: the fuzzer reports it as a crash, the test as a failure.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "consolidate/range_bounds.h"
#include "spreadsheet/cell_address.h"
#include "spreadsheet/source_reference.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/compound_file.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "spreadsheet/xls/workbook_writer.h"

namespace sbx::fuzz {

struct BrokenInvariant : std::logic_error {
    using std::logic_error::logic_error;
};

inline void require(bool condition, const char* rule) {
    if (!condition) throw BrokenInvariant(rule);
}

namespace detail {

// The writer orders siblings as the format sorts them; a damaged directory may not have
// been sorted, so children are matched by name.
inline bool sameTree(const xls::CfbNode& a, const xls::CfbNode& b) {
    if (a.type != b.type || a.data != b.data || a.children.size() != b.children.size()) return false;
    for (const auto& child : a.children) {
        const auto* other = b.child(child.name);
        if (!other || other->name != child.name || !sameTree(child, *other)) return false;
    }
    return true;
}

inline std::string areaText(const CellArea& a) {
    return "R" + std::to_string(a.firstRow) + "C" + std::to_string(a.firstColumn) + ":R" + std::to_string(a.lastRow) +
           "C" + std::to_string(a.lastColumn);
}

inline std::string quoted(const std::string& bookPart) {
    std::string out = "'";
    for (const char c : bookPart) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

inline bool sameReadings(const std::vector<SourceReference>& a, const std::vector<SourceReference>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].folder != b[i].folder || a[i].fileName != b[i].fileName || a[i].sheetName != b[i].sheetName ||
            !(a[i].area == b[i].area)) {
            return false;
        }
    }
    return true;
}

inline std::vector<SourceReference> readAgain(const std::string& text) {
    try {
        return readSourceReference(text);
    } catch (const WorkbookError& e) {
        throw BrokenInvariant("a reference written from a reading does not read again: " + text + ": " + e.what());
    }
}

}  // namespace detail

// The container reader ends in a tree or a FormatError, and a tree it read writes out and
// reads back the same.
inline void checkCompoundFile(std::span<const uint8_t> bytes) {
    xls::CompoundFile file;
    try {
        file = xls::CompoundFile::parse(bytes);
    } catch (const xls::FormatError&) {
        return;
    }
    std::vector<uint8_t> written;
    try {
        written = file.serialize();
    } catch (const std::invalid_argument&) {
        return;  // a tree the writer refuses (duplicate names...) is reported, not written
    }
    require(detail::sameTree(file.root(), xls::CompoundFile::parse(written).root()),
            "a container written from a read tree reads back differently");
}

// The workbook reader ends in cells or a WorkbookError, reading every worksheet.
inline void checkWorkbookBytes(std::span<const uint8_t> bytes) {
    try {
        auto book = xls::WorkbookReader::fromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), "fuzz.xls");
        for (size_t i = 0; i < book.worksheets().size(); ++i) {
            const auto& sheet = book.cells(i);
            for (const auto& cell : sheet.cells()) (void)book.valueOf(sheet, cell);
        }
    } catch (const WorkbookError&) {
    }
}

// A workbook that reads, saved with one cell written, is a complete workbook again: it reads,
// with the same worksheets, and holds the written number. Writing may refuse a workbook
// (FormatError, which saving turns into a WorkbookError), never break it.
inline void checkWorkbookSave(std::span<const uint8_t> bytes) {
    std::optional<xls::WorkbookReader> book;
    try {
        book.emplace(xls::WorkbookReader::fromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), "fuzz.xls"));
        if (book->version() != xls::BiffVersion::Biff8 || book->worksheets().empty()) return;
        for (size_t i = 0; i < book->worksheets().size(); ++i) (void)book->cells(i);
    } catch (const WorkbookError&) {
        return;
    }
    const auto row0 = static_cast<uint32_t>(bytes.size() % 300);
    const auto column0 = static_cast<uint32_t>(bytes.size() % 7);
    const size_t sheet = bytes.size() % book->worksheets().size();
    xls::WorkbookEdits edits;
    edits[sheet][xls::cellKey(row0, column0)] = CellValue::number(4242.5);
    std::vector<uint8_t> written;
    try {
        written = xls::buildCheckedWorkbookFile(*book, edits);
    } catch (const xls::FormatError&) {
        return;  // refused with a reason (saveWorkbook names the file)
    }
    try {
        const auto again = xls::WorkbookReader::fromBytes(std::move(written), "saved.xls");
        require(again.worksheets().size() == book->worksheets().size(), "the saved workbook lost or gained worksheets");
        for (size_t i = 0; i < again.worksheets().size(); ++i) {
            require(again.worksheets()[i].name == book->worksheets()[i].name, "a worksheet name changed in saving");
        }
        const auto& cells = again.cells(sheet);
        const auto* cell = cells.find(row0, column0);
        require(cell && again.valueOf(cells, *cell) == CellValue::number(4242.5), "the written number is not there");
    } catch (const WorkbookError& e) {
        throw BrokenInvariant(std::string("the saved workbook does not read: ") + e.what());
    }
}

// A Consolidate source reference: a BadReference error, or readings that hold together (a
// folder, a file and a worksheet name, an area on the sheet) and read back the same when
// written out again, plain and quoted; resolving picks one of them or calls it ambiguous.
inline void checkSourceReference(std::string_view text) {
    std::vector<SourceReference> readings;
    try {
        readings = readSourceReference(text);
    } catch (const WorkbookError& e) {
        require(e.kind() == WorkbookErrorKind::BadReference, "a reference fails with another kind than BadReference");
        return;
    }
    require(!readings.empty(), "a reference reads with no reading");
    for (const auto& r : readings) {
        require(!r.folder.empty() && (r.folder.back() == '/' || r.folder.back() == '\\'), "folder without separator");
        require(!r.fileName.empty() && !r.sheetName.empty(), "empty file or worksheet name");
        const CellArea& a = r.area;
        require(1 <= a.firstRow && a.firstRow <= a.lastRow && a.lastRow <= 65536, "rows off the sheet or backwards");
        require(1 <= a.firstColumn && a.firstColumn <= a.lastColumn && a.lastColumn <= 256,
                "columns off the sheet or backwards");
    }

    const auto& first = readings.front();
    const std::string bookPart = first.folder + "[" + first.fileName + "]" + first.sheetName;
    require(detail::sameReadings(detail::readAgain(detail::quoted(bookPart) + "!" + detail::areaText(first.area)), readings),
            "the quoted form reads differently");
    const char lead = bookPart.front();
    if (lead != '\'' && lead != ' ' && lead != '\t') {
        require(detail::sameReadings(detail::readAgain(bookPart + "!" + detail::areaText(first.area)), readings),
                "the plain form reads differently");
    }

    const auto exists = [&text](const std::filesystem::path& p) { return (p.native().size() + text.size()) % 3 == 0; };
    try {
        const SourceReference chosen = resolveSourceReference(text, exists);
        bool among = false;
        for (const auto& r : readings) among = among || (r.fileName == chosen.fileName && r.sheetName == chosen.sheetName);
        require(among, "resolving chose no reading");
    } catch (const WorkbookError& e) {
        require(e.kind() == WorkbookErrorKind::BadReference && readings.size() > 1, "resolving failed on one reading");
    }
}

// A worksheet's range as the job holds it (first and last cell text, split at the first
// newline) and the same bytes as a Range(...).Select argument: a valid range runs forwards
// without overflow, and column letters and row numbers read back as written.
inline void checkRangeTexts(std::span<const uint8_t> bytes) {
    const std::string_view input(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t cut = input.find('\n');
    const std::string first(trimBlanks(input.substr(0, cut)));
    const std::string last = cut == std::string_view::npos ? std::string() : std::string(trimBlanks(input.substr(cut + 1)));
    require(trimBlanks(first) == first && (first.empty() || (first.front() != ' ' && first.back() != ' ')),
            "trimming is not idempotent");

    const ParsedRange parsed = parseRange(first, last);
    if (parsed.valid) {
        const RangeBounds& b = parsed.bounds;
        require(b.firstColumn <= b.lastColumn && b.firstRow <= b.lastRow, "a valid range runs backwards");
        require(b.columns() >= 1 && b.rows() >= 1 && b.cellCount() >= 1, "a valid range has no cells");
        if (b.onSheet()) require(b.cellCount() <= 256LL * 65536, "a range on the sheet holds more cells than the sheet");
    }
    if (readRangeCell(first).twoLetters && !readRangeCell(last).twoLetters) {
        require(!parsed.valid, "two letters before one passed");
    }

    if (bytes.size() >= 3) {
        const int column = 1 + (bytes[0] | bytes[1] << 8) % 702;
        const int row = 1 + (bytes[1] | bytes[2] << 8) % 65536;
        const std::string name = columnName(column);
        require(name.size() == (column <= 26 ? 1u : 2u), "column letters of the wrong length");
        const CellPosition p = readRangeCell(name + std::to_string(row));
        require(p.column == column && p.row == row, "a cell text does not read back");
        if (column <= 256) {
            const auto address = parseCellAddress(name + std::to_string(row));
            require(address && address->column == column && address->row == row, "an A1 address does not read back");
        }
    }

    if (const auto area = parseCellRange(input)) {
        require(1 <= area->firstRow && area->firstRow <= area->lastRow && area->lastRow <= 65536,
                "a selected range's rows are off the sheet or backwards");
        require(1 <= area->firstColumn && area->firstColumn <= area->lastColumn && area->lastColumn <= 256,
                "a selected range's columns are off the sheet or backwards");
    }
}

}  // namespace sbx::fuzz
