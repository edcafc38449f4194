#include "consolidate/run_record.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>

#include "consolidate/file_digest.h"
#include "consolidate/number_text.h"
#include "spreadsheet/atomic_file.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

namespace fs = std::filesystem;

void appendString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += kHex[(c >> 4) & 15];
                    out += kHex[c & 15];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void appendNumber(std::string& out, double x) {
    char text[kNumberTextSize];
    out.append(text, writeNumber(text, x));
}

// Numbers and texts as themselves, dates, errors and booleans tagged so that a script tells
// them apart: {"date": 45292}, {"error": "#DIV/0!"}, true.
void appendValue(std::string& out, const CellValue& v) {
    switch (v.kind()) {
        case CellKind::Empty: out += "null"; break;
        case CellKind::Number: appendNumber(out, v.numberValue()); break;
        case CellKind::Text: appendString(out, v.textValue()); break;
        case CellKind::Boolean: out += v.booleanValue() ? "true" : "false"; break;
        case CellKind::Date:
            out += "{\"date\": ";
            appendNumber(out, v.numberValue());
            out += '}';
            break;
        case CellKind::Error:
            out += "{\"error\": ";
            appendString(out, errorText(v.errorCode()));
            out += '}';
            break;
    }
}

void appendField(std::string& out, std::string_view name, std::string_view value, bool first = false) {
    if (!first) out += ", ";
    appendString(out, name);
    out += ": ";
    appendString(out, value);
}

std::string utcText(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &t);
#else
    gmtime_r(&t, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string_view outcomeName(CheckOutcome o) {
    switch (o) {
        case CheckOutcome::NothingFlagged: return "nothing flagged";
        case CheckOutcome::IncludedAll: return "flagged files included";
        case CheckOutcome::LeftOut: return "flagged files left out";
        case CheckOutcome::Allowed: return "findings allowed";
    }
    return {};
}

std::string_view skippedName(Skipped::Kind k) {
    switch (k) {
        case Skipped::Kind::WorksheetMissing: return "WORKSHEET_MISSING";
        case Skipped::Kind::SourceUnreadable: return "SOURCE_UNREADABLE";
        case Skipped::Kind::CellRefused: return "CELL_REFUSED";
        case Skipped::Kind::AddsNothing: return "ADDS_NOTHING";
    }
    return {};
}

void appendFinding(std::string& out, const Finding& f, const CheckReport& check) {
    out += "{";
    appendField(out, "kind", findingName(f.kind), true);
    if (!f.worksheet.empty()) appendField(out, "worksheet", f.worksheet);
    switch (f.kind) {
        case FindingKind::Unreadable:
        case FindingKind::MissingWorksheet: appendField(out, "reason", f.reason); break;
        case FindingKind::Layout:
            appendField(out, "cell", cellName(f.cell));
            appendField(out, "template", f.templateValue);
            appendField(out, "source", f.sourceValue);
            break;
        case FindingKind::Duplicate:
            appendField(out, "of", utf8String(check.sources[*f.duplicateOf].file));
            appendField(out, "same", f.sameBytes ? "bytes" : "values");
            break;
        case FindingKind::NotANumber: {
            appendField(out, "cell", cellName(f.cell));
            appendField(out, "source", f.sourceValue);
            out += ", \"count\": " + std::to_string(f.count) + ", \"cells\": [";
            for (size_t i = 0; i < f.cells.size(); ++i) {
                if (i) out += ", ";
                appendString(out, cellName(f.cells[i]));
            }
            out += "]";
            break;
        }
    }
    out += "}";
}

// The check hashes only the files it compares; empty when the file cannot be read.
std::string digestOf(const fs::path& file) {
    try {
        return sha256OfFile(file);
    } catch (const WorkbookError&) {
        return {};
    }
}

void appendSources(std::string& out, const RunRecordInput& in) {
    std::unordered_map<fs::path, size_t> ran;
    for (size_t i = 0; i < in.request.sources.size(); ++i) ran.emplace(in.request.sources[i], i);
    out += "  \"sources\": [\n";
    for (size_t i = 0; i < in.check.sources.size(); ++i) {
        const SourceCheck& s = in.check.sources[i];
        out += "    {";
        appendField(out, "file", utf8String(s.file), true);
        out += ", \"size\": " + std::to_string(s.size);
        appendField(out, "sha256", s.sha256.empty() ? digestOf(s.file) : s.sha256);
        const bool left = !ran.contains(s.file);
        appendField(out, "done", left ? "left out" : s.findings.empty() ? "added" : "added with its findings");
        out += ", \"findings\": [";
        for (size_t f = 0; f < s.findings.size(); ++f) {
            if (f) out += ", ";
            appendFinding(out, s.findings[f], in.check);
        }
        out += i + 1 < in.check.sources.size() ? "]},\n" : "]}\n";
    }
    out += "  ],\n";
}

void appendSkipped(std::string& out, const RunReport& report) {
    out += "  \"skipped\": [";
    for (size_t i = 0; i < report.skipped.size(); ++i) {
        const Skipped& s = report.skipped[i];
        out += i ? ",\n    {" : "\n    {";
        appendField(out, "kind", skippedName(s.kind), true);
        appendField(out, "file", utf8String(s.file));
        if (!s.worksheet.empty()) appendField(out, "worksheet", s.worksheet);
        if (s.cell.row > 0) appendField(out, "cell", cellName(s.cell));
        appendField(out, "reason", s.reason);
        out += "}";
    }
    out += report.skipped.empty() ? "],\n" : "\n  ],\n";
}

// Whether the run left `file` out of `worksheet`.
bool leftOutOf(const RunReport& report, const fs::path& file, const std::string& worksheet) {
    for (const Skipped& s : report.skipped) {
        if ((s.kind == Skipped::Kind::WorksheetMissing || s.kind == Skipped::Kind::SourceUnreadable) && s.file == file &&
            (s.worksheet.empty() || s.worksheet == worksheet)) {
            return true;
        }
    }
    return false;
}

// One value of a source at a summary cell; values other than numbers are kept aside.
struct RecordedValue {
    uint32_t source;
    uint32_t other;  // kNumber, or the index of the value in `others`
    double number;
};
constexpr uint32_t kNumber = ~0u;

// One summary cell: its total so far and the values behind it.
struct CellSlot {
    CellTotal total;
    std::vector<RecordedValue> from;
};

// The slots of an area's cells that some source holds a value at, found by position: a
// direct index for areas of up to a million cells, a map beyond (a whole sheet as the range).
class CellSlots {
public:
    CellSlots(const CellArea& area, size_t sources) : area_(area), sources_(sources) {
        if (area.cellCount() <= kDirectLimit) direct_.assign(static_cast<size_t>(area.cellCount()), kNone);
    }
    CellSlot& at(int row, int column) {
        const long long position = static_cast<long long>(row - area_.firstRow) * area_.columns() + (column - area_.firstColumn);
        uint32_t* index = nullptr;
        if (!direct_.empty()) {
            index = &direct_[static_cast<size_t>(position)];
        } else {
            index = &sparse_.try_emplace(position, kNone).first->second;
        }
        if (*index == kNone) {
            *index = static_cast<uint32_t>(slots_.size());
            slots_.emplace_back().from.reserve(sources_);
            positions_.push_back(position);
        }
        return slots_[*index];
    }
    // Visits the slots row by row.
    template <typename Visit>
    void forEach(Visit visit) const {
        std::vector<uint32_t> order(slots_.size());
        for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return positions_[a] < positions_[b]; });
        for (const uint32_t i : order) {
            const long long p = positions_[i];
            visit(CellAddress{area_.firstRow + static_cast<int>(p / area_.columns()),
                              area_.firstColumn + static_cast<int>(p % area_.columns())},
                  slots_[i]);
        }
    }

private:
    static constexpr long long kDirectLimit = 1 << 20;
    static constexpr uint32_t kNone = ~0u;
    CellArea area_;
    size_t sources_;
    std::vector<uint32_t> direct_;
    std::map<long long, uint32_t> sparse_;
    std::vector<CellSlot> slots_;
    std::vector<long long> positions_;
};

// The values of every source behind every cell of the job, read source by source (so that
// a workbook the cache does not keep is parsed once for all its worksheets).
struct SheetCells {
    CellSlots cells;
    std::vector<CellValue> others;  // the values other than numbers
};

std::vector<SheetCells> readCells(const RunRecordInput& in, SourceCache& cache) {
    std::vector<SheetCells> sheets;
    for (const SheetJob& sheet : in.request.job) sheets.push_back({CellSlots(sheet.area, in.request.sources.size()), {}});
    std::unordered_map<fs::path, size_t> indexOf;
    for (size_t i = 0; i < in.check.sources.size(); ++i) indexOf.emplace(in.check.sources[i].file, i);
    for (const fs::path& file : in.request.sources) {
        const auto known = indexOf.find(file);
        const auto source = static_cast<uint32_t>(known == indexOf.end() ? 0 : known->second);
        std::optional<SourceArea> opened;
        for (size_t j = 0; j < in.request.job.size(); ++j) {
            const SheetJob& sheet = in.request.job[j];
            if (leftOutOf(in.report, file, sheet.worksheet)) continue;
            const SourceArea where{file, sheet.worksheet, sheet.area};
            try {
                const OpenedSource book = cache.open(where);
                opened = where;
                SheetCells& into = sheets[j];
                book.sheet.forEachValue(sheet.area, [&](int row, int column, const CellValue& v) {
                    CellSlot& slot = into.cells.at(row, column);
                    slot.total.add(v, book.dates1904);
                    if (v.kind() == CellKind::Number) {
                        slot.from.push_back({source, kNumber, v.numberValue()});
                    } else {
                        slot.from.push_back({source, static_cast<uint32_t>(into.others.size()), 0.0});
                        into.others.push_back(v);
                    }
                });
            } catch (const WorkbookError&) {
                // The run read this source; a source that fails now (changed meanwhile) has no part here.
            }
        }
        if (opened) cache.release(*opened);
    }
    return sheets;
}

// One line per cell of the area that a source holds a value at, row by row.
void appendCells(std::string& out, const RunRecordInput& in, const SheetJob& sheet, const SheetCells& read,
                 bool& firstCell) {
    std::map<std::pair<int, int>, bool> refused;
    for (const Skipped& s : in.report.skipped) {
        if (s.kind == Skipped::Kind::CellRefused && s.worksheet == sheet.worksheet) refused[{s.cell.row, s.cell.column}] = true;
    }
    const CellSlots& cells = read.cells;
    const std::vector<CellValue>& others = read.others;
    cells.forEach([&](CellAddress at, const CellSlot& slot) {
        out += firstCell ? "\n    {" : ",\n    {";
        firstCell = false;
        appendField(out, "worksheet", sheet.worksheet, true);
        appendField(out, "cell", cellName(at));
        out += ", \"total\": ";
        appendValue(out, slot.total.written());
        if (refused.contains({at.row, at.column})) out += ", \"refused\": true";
        out += ", \"from\": [";
        char text[16 + kNumberTextSize];
        for (size_t i = 0; i < slot.from.size(); ++i) {
            const RecordedValue& c = slot.from[i];
            char* end = text;
            if (i) *end++ = ',', *end++ = ' ';
            *end++ = '[';
            end = std::to_chars(end, text + sizeof text, c.source).ptr;
            *end++ = ',';
            *end++ = ' ';
            if (c.other == kNumber) {
                end = writeNumber(end, c.number);
                *end++ = ']';
                out.append(text, end);
            } else {
                out.append(text, end);
                appendValue(out, others[c.other]);
                out += ']';
            }
        }
        out += "]}";
    });
}

}  // namespace

fs::path runRecordPath(const fs::path& summary) {
    fs::path record = summary;
    record += ".run.json";
    return record;
}

std::string runRecordText(const RunRecordInput& in, SourceCache& sources) {
    // About 16 bytes a contribution: the text is written once, without moving it as it grows.
    long long cells = 0;
    for (const SheetJob& sheet : in.request.job) cells += std::min<long long>(sheet.area.cellCount(), 1 << 16);
    std::string out;
    out.reserve(static_cast<size_t>(std::min<long long>(cells * static_cast<long long>(in.request.sources.size()) * 16, 64ll << 20)) +
                (64u << 10));
    out += "{\n";
    out += "  \"format\": \"shubuxing run record\", \"version\": 1,\n  ";
    appendField(out, "time", utcText(in.started), true);
    appendField(out, "mode", in.request.mode == Mode::Efficiency ? "efficiency" : "function");
    out += ",\n  ";
    appendField(out, "template", utf8String(in.request.templateFile), true);
    appendField(out, "summary", utf8String(in.request.summary));
    out += ",\n  \"job\": [";
    for (size_t i = 0; i < in.request.job.size(); ++i) {
        out += i ? ", {" : "{";
        appendField(out, "worksheet", in.request.job[i].worksheet, true);
        appendField(out, "range", areaName(in.request.job[i].area));
        out += "}";
    }
    out += "],\n  ";
    appendField(out, "check", outcomeName(in.outcome), true);
    if (!in.check.templateProblem.empty()) appendField(out, "template problem", in.check.templateProblem);
    out += ",\n";
    appendSources(out, in);
    appendSkipped(out, in.report);
    out += "  \"cells\": [";
    bool firstCell = true;
    const std::vector<SheetCells> read = readCells(in, sources);
    for (size_t j = 0; j < in.request.job.size(); ++j) appendCells(out, in, in.request.job[j], read[j], firstCell);
    out += firstCell ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

void writeRunRecord(const RunRecordInput& input, SourceCache& sources) {
    const std::string text = runRecordText(input, sources);
    replaceFileAtomically(runRecordPath(input.request.summary),
                          std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace sbx
