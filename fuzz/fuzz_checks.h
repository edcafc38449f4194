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

#include "job/range_rules.h"
#include "spreadsheet/cell_address.h"
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

// Any bytes as the two cell texts of a range entry (split at the first newline) and as a
// range argument of the command line: the range entry accepts a text exactly when the
// engine's one parser reads it (blanks around it aside), a range that parses lies on the
// sheet and runs forwards, and column letters and rows read back as written.
inline void checkCellTexts(std::span<const uint8_t> bytes) {
    const std::string_view input(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t cut = input.find('\n');
    const std::string_view first = input.substr(0, cut);
    const std::string_view last = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
    for (const std::string_view text : {first, last}) {
        const auto accepted = acceptedCell(text);
        const bool lowerCase = trimBlanks(text).find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string_view::npos;
        const auto parsed = parseCellAddress(trimBlanks(text));
        require(accepted.has_value() == (parsed.has_value() && lowerCase), "the range entry and the parser disagree");
        if (accepted) require(*accepted == *parsed, "the range entry reads another cell than the parser");
        require(accepted.has_value() == (checkCellText(text) == CellTextVerdict::Accepted), "a verdict and its cell disagree");
    }

    if (bytes.size() >= 3) {
        const int column = 1 + (bytes[0] | bytes[1] << 8) % kSheetColumns;
        const int row = 1 + (bytes[1] | bytes[2] << 8 | (bytes[0] & 0x1F) << 16) % kSheetRows;
        const std::string name = cellName({row, column});
        const auto address = parseCellAddress(name);
        require(address && address->column == column && address->row == row, "an A1 address does not read back");
    }

    if (const auto area = parseCellRange(input)) {
        require(area->valid(), "a parsed range is off the sheet or runs backwards");
        require(parseCellRange(areaName(*area)) == area, "a range does not read back as written");
    }
}

}  // namespace sbx::fuzz
