#include "consolidate/record/run_record_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "consolidate/run/file_digest.h"
#include "consolidate/record/json_value.h"
#include "consolidate/record/run_record.h"
#include "consolidate/record/record_json_text.h"
#include "spreadsheet/ascii_case.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/utf8_path.h"

namespace sbx {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

std::string numberText(double x) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// The record's value as the check and the command line show values.
std::string shown(const JsonValue& v) {
    switch (v.type()) {
        case JsonValue::Type::Null: return "(empty)";
        case JsonValue::Type::Boolean: return v.boolean() ? "TRUE" : "FALSE";
        case JsonValue::Type::Number: return numberText(v.number());
        case JsonValue::Type::String: return "“" + v.string() + "”";
        case JsonValue::Type::Object:
            if (!v["error"].isNull()) return v["error"].string();
            if (!v["date"].isNull()) return numberText(v["date"].number());
            if (!v["number"].isNull()) return v["number"].string();
            return "?";
        case JsonValue::Type::Array: return "?";
    }
    return "?";
}

// The recorded value as a cell value, for the run's rules of what adds up.
CellValue cellValueOf(const JsonValue& v) {
    switch (v.type()) {
        case JsonValue::Type::Boolean: return CellValue::boolean(v.boolean());
        case JsonValue::Type::Number: return CellValue::number(v.number());
        case JsonValue::Type::String: return CellValue::text(v.string());
        case JsonValue::Type::Object:
            if (!v["error"].isNull()) return CellValue::error(error_code::Value);
            if (!v["date"].isNull()) return CellValue::date(v["date"].number());
            if (!v["number"].isNull()) return CellValue::number(std::nan(""));  // adds nothing
            return {};
        default: return {};
    }
}

// Throws RecordOutOfDate unless the record's digest of the summary is the summary's now.
void checkDescribes(const JsonValue& root, const std::filesystem::path& record, const std::filesystem::path& summary) {
    const JsonValue& kept = root["summary sha256"];
    if (kept.type() != JsonValue::Type::String || kept.string().empty()) {
        throw RecordOutOfDate(RecordOutOfDate::Why::NoDigest,
                              utf8String(record) + ": the record keeps no digest of the summary (version " +
                                  numberText(root["version"].isNull() ? 1 : root["version"].number()) +
                                  "), so it may describe another summary than " + utf8String(summary));
    }
    const std::string now = sha256OfFile(summary);  // WorkbookError naming the summary when it cannot be read
    if (now != kept.string()) {
        throw RecordOutOfDate(RecordOutOfDate::Why::SummaryChanged,
                              utf8String(record) + ": describes a summary of SHA-256 " + kept.string() + ", but " +
                                  utf8String(summary) + " is now " + now + " (changed after the record was written)");
    }
}

// A file name the record wrote: its bytes when it kept them beside the text (a name that is
// not UTF-8 text), else the text.
std::string recordedName(const JsonValue& object, const std::string& field) {
    if (const auto bytes = fileNameBytes(object[field + "_bytes"].string())) {
        if (!bytes->empty()) return *bytes;
    }
    return object[field].string();
}

// The source's own cell behind `cell` of the summary when the record says it was aligned by
// its labels and the cell is another; empty when it stood where it was added.
std::string alignedCell(const JsonValue& source, std::string_view worksheet, CellAddress cell) {
    for (const JsonValue& range : source["aligned"].array()) {
        const auto area = parseCellRange(range["range"].string());
        if (!area || !area->contains(cell.row, cell.column) || !sameName(range["worksheet"].string(), worksheet)) continue;
        int row = 0, column = 0;
        for (const JsonValue& pair : range["rows"].array()) {
            if (pair.array().size() == 2 && static_cast<int>(pair.array()[1].number()) == cell.row) {
                row = static_cast<int>(pair.array()[0].number());
            }
        }
        const std::string letters = columnLetters(cell.column);
        for (const JsonValue& pair : range["columns"].array()) {
            if (pair.array().size() == 2 && pair.array()[1].string() == letters) {
                column = columnOfLetters(pair.array()[0].string()).value_or(0);
            }
        }
        return row && column && CellAddress{row, column} != cell ? cellName({row, column}) : std::string();
    }
    return {};
}

}  // namespace

RunRecordError::RunRecordError(Kind kind, const std::filesystem::path& record, const std::string& reason)
    : std::runtime_error(utf8String(record) + ": " + reason), kind_(kind), file_(record) {}

std::optional<CellContributions> contributionsFromRecord(const std::filesystem::path& summary, std::string_view worksheet,
                                                         CellAddress cell) {
    const std::filesystem::path record = runRecordPath(summary);
    std::ifstream in(record, std::ios::binary);
    if (!in) throw RunRecordError(RunRecordError::Kind::CannotOpen, record, "the run record cannot be opened");
    std::ostringstream text;
    text << in.rdbuf();
    JsonValue root;
    try {
        root = JsonValue::parse(text.str());
    } catch (const std::runtime_error& e) {
        throw RunRecordError(RunRecordError::Kind::Damaged, record, e.what());
    }
    if (root["format"].string() != "shubuxing run record") {
        throw RunRecordError(RunRecordError::Kind::NotARecord, record, "not a run record of this program");
    }
    checkDescribes(root, record, summary);
    const std::string name = cellName(cell);
    for (const JsonValue& c : root["cells"].array()) {
        if (c["cell"].string() != name || !sameName(c["worksheet"].string(), worksheet)) continue;
        CellContributions found{c["worksheet"].string(), cell, shown(c["total"]), c["refused"].boolean(), {}};
        const auto& sources = root["sources"].array();
        for (const JsonValue& pair : c["from"].array()) {
            if (pair.array().size() != 2) continue;
            const auto index = static_cast<size_t>(pair.array()[0].number());
            const std::string file = index < sources.size() ? recordedName(sources[index], "file") : "?";
            CellTotal rules;
            const bool nothing = rules.add(cellValueOf(pair.array()[1])) == Contribution::AddsNothing;
            const std::string own = index < sources.size() ? alignedCell(sources[index], worksheet, cell) : std::string();
            found.from.push_back({file, shown(pair.array()[1]), nothing, own});
        }
        return found;
    }
    return std::nullopt;
}

}  // namespace sbx
