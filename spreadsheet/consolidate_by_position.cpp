// Consolidation by position. Everything that can fail is checked before the first write:
// the references, the protection of the target area, the source files and worksheets,
// then the cells are read and summed, and only then is the target written.
//
// What counts is what the spreadsheet application adds: the numbers as the workbooks store
// them. A date of a 1904-system workbook therefore adds its 1904 serial (the reader hands
// dates over as 1900 serials; the difference of 1462 days is taken off again, which gives
// whole days back exactly and a time of day to within the last binary digit).
//
// A source in the target's own file is read from the file as it stands, like any other
// source; the target's cells written earlier in the same session and not yet saved are
// not seen.
#include "spreadsheet/consolidate_by_position.h"

#include <map>
#include <system_error>

#include "spreadsheet/compensated_sum.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/source_reference.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

[[noreturn]] void failReference(const std::string& reference, const std::string& what) {
    throw WorkbookError(WorkbookErrorKind::BadReference, {}, "source reference \"" + reference + "\": " + what);
}

std::string describeArea(const CellArea& a) {
    return "R" + std::to_string(a.firstRow) + "C" + std::to_string(a.firstColumn) + ":R" + std::to_string(a.lastRow) +
           "C" + std::to_string(a.lastColumn) + " (" + std::to_string(a.rows()) + " x " + std::to_string(a.columns()) +
           ")";
}

// The same file under different spellings (./, ../, links) is one file.
std::string fileKey(const std::filesystem::path& file) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(file, error);
    return utf8String(error ? file.lexically_normal() : canonical);
}

// The source workbooks of one call, each opened once; all closed, unsaved, when the call
// ends, however it ends.
class OpenSources {
public:
    explicit OpenSources(SpreadsheetHost& host) : host_(host) {}
    OpenSources(const OpenSources&) = delete;
    OpenSources& operator=(const OpenSources&) = delete;
    ~OpenSources() {
        for (auto it = books_.rbegin(); it != books_.rend(); ++it) {
            try {
                host_.close(*it->second, false);
            } catch (...) {
                // Closing without saving writes nothing; the outcome of the call stands.
            }
        }
    }

    Workbook& open(const SourceReference& reference) {
        const std::string key = fileKey(reference.file());
        const auto known = books_.find(key);
        if (known != books_.end()) return *known->second;
        try {
            Workbook& book = host_.open(reference.file());
            books_.emplace(key, &book);
            return book;
        } catch (const WorkbookError& e) {
            throw WorkbookError(e.kind(), e.file(), "source reference \"" + reference.text + "\": " + e.reason());
        }
    }

private:
    SpreadsheetHost& host_;
    std::map<std::string, Workbook*> books_;
};

Worksheet& findWorksheet(Workbook& book, const SourceReference& reference) {
    for (int i = 1; i <= book.worksheetCount(); ++i) {
        Worksheet& sheet = book.worksheet(i);
        if (sameWorksheetName(sheet.name(), reference.sheetName)) return sheet;
    }
    failReference(reference.text, "the workbook has no worksheet named \"" + reference.sheetName + "\"");
}

bool uses1904Dates(const Workbook& book) {
    const auto* native = dynamic_cast<const NativeWorkbook*>(&book);
    return native && native->reader().uses1904Dates();
}

struct Source {
    const std::string* reference;
    const Worksheet* sheet;
    CellArea area;
    bool dates1904;
};

// Position inside the area: row offset times 256 plus column offset.
uint32_t offsetKey(const CellArea& area, int row, int column) {
    return static_cast<uint32_t>(row - area.firstRow) * 256u + static_cast<uint32_t>(column - area.firstColumn);
}

void checkWritable(const Worksheet& target, const CellArea& area) {
    if (!target.isProtected()) return;
    for (int row = area.firstRow; row <= area.lastRow; ++row) {
        for (int column = area.firstColumn; column <= area.lastColumn; ++column) {
            if (!target.isCellLocked(row, column)) continue;
            throw WorkbookError(WorkbookErrorKind::CellLocked, {},
                                "worksheet \"" + target.name() + "\" is protected and its cell at row " +
                                    std::to_string(row) + ", column " + std::to_string(column) +
                                    " is locked, so the area " + describeArea(area) + " cannot be consolidated");
        }
    }
}

// The spreadsheet application refuses to change part of an array formula or a data table.
void checkNoFormulaBlock(const Worksheet& target, const CellArea& area) {
    const auto block = target.formulaBlockIn(area);
    if (!block) return;
    throw WorkbookError(WorkbookErrorKind::CellInArray, {},
                        "worksheet \"" + target.name() + "\": the area " + describeArea(area) + " overlaps " +
                            describeFormulaBlock(*block) + ", which can only be changed as a whole, so the area " +
                            "cannot be consolidated");
}

// The sums by offsetKey, added in the order of the sources.
std::map<uint32_t, double> sumByPosition(const std::vector<Source>& sources) {
    std::map<uint32_t, CompensatedSum> running;
    for (const Source& source : sources) {
        auto add = [&](int row, int column, const CellValue& value) {
            double number = 0.0;
            if (value.kind() == CellKind::Number) {
                number = value.numberValue();
            } else if (value.kind() == CellKind::Date) {
                number = source.dates1904 ? value.numberValue() - kDate1904Offset : value.numberValue();
            } else {
                return;
            }
            running[offsetKey(source.area, row, column)].add(number);
        };
        try {
            source.sheet->forEachValue(source.area, add);
        } catch (const WorkbookError& e) {
            throw WorkbookError(e.kind(), e.file(), "source reference \"" + *source.reference + "\": " + e.reason());
        }
    }
    std::map<uint32_t, double> sums;
    for (const auto& [key, sum] : running) sums.emplace_hint(sums.end(), key, sum.value());
    return sums;
}

// Writes the area: the sums, and empty where the area held a value but no source a number.
// Should a write fail part way, the cells written so far get their old values back.
void writeArea(Worksheet& target, const CellArea& area, const std::map<uint32_t, double>& sums) {
    std::map<uint32_t, CellValue> previous;
    target.forEachValue(area, [&](int row, int column, const CellValue& value) {
        previous.emplace(offsetKey(area, row, column), value);
    });
    std::map<uint32_t, CellValue> writes;
    for (const auto& [key, value] : previous) writes.emplace(key, CellValue());
    for (const auto& [key, sum] : sums) writes.insert_or_assign(key, CellValue::number(sum));

    auto rowOf = [&](uint32_t key) { return area.firstRow + static_cast<int>(key / 256); };
    auto columnOf = [&](uint32_t key) { return area.firstColumn + static_cast<int>(key % 256); };
    std::vector<uint32_t> written;
    try {
        for (const auto& [key, value] : writes) {
            target.setCell(rowOf(key), columnOf(key), value);
            written.push_back(key);
        }
    } catch (...) {
        for (const uint32_t key : written) {
            const auto old = previous.find(key);
            try {
                target.setCell(rowOf(key), columnOf(key), old == previous.end() ? CellValue() : old->second);
            } catch (...) {
                // Restoring a cell that was just written cannot be refused; keep going regardless.
            }
        }
        throw;
    }
}

}  // namespace

void consolidateByPosition(SpreadsheetHost& host, Worksheet& target, const CellArea& area,
                           const std::vector<std::string>& sources) {
    if (area.firstRow < 1 || area.firstColumn < 1 || area.lastRow > 65536 || area.lastColumn > 256 ||
        area.rows() < 1 || area.columns() < 1) {
        throw WorkbookError(WorkbookErrorKind::BadReference, {},
                            "the area " + describeArea(area) + " to consolidate into is not an area of the worksheet");
    }
    if (sources.empty()) {
        throw WorkbookError(WorkbookErrorKind::BadReference, {}, "no source references were given to consolidate");
    }

    std::vector<SourceReference> references;
    references.reserve(sources.size());
    for (const std::string& text : sources) {
        SourceReference reference = resolveSourceReference(text, [](const std::filesystem::path& file) {
            std::error_code error;
            return std::filesystem::is_regular_file(file, error);
        });
        if (reference.area.rows() != area.rows() || reference.area.columns() != area.columns()) {
            failReference(reference.text, "its area " + describeArea(reference.area) +
                                              " differs in size from the selected area " + describeArea(area));
        }
        references.push_back(std::move(reference));
    }

    checkWritable(target, area);
    checkNoFormulaBlock(target, area);

    OpenSources open(host);
    std::vector<Source> resolved;
    resolved.reserve(references.size());
    for (const SourceReference& reference : references) {
        Workbook& book = open.open(reference);
        resolved.push_back(Source{&reference.text, &findWorksheet(book, reference), reference.area, uses1904Dates(book)});
    }

    writeArea(target, area, sumByPosition(resolved));
}

}  // namespace sbx
