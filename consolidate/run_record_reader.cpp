#include "consolidate/run_record_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "consolidate/json_value.h"
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

}  // namespace

std::optional<CellContributions> contributionsFromRecord(const std::filesystem::path& record, std::string_view worksheet,
                                                         CellAddress cell) {
    std::ifstream in(record, std::ios::binary);
    if (!in) throw std::runtime_error(utf8String(record) + ": the run record cannot be opened");
    std::ostringstream text;
    text << in.rdbuf();
    JsonValue root;
    try {
        root = JsonValue::parse(text.str());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(utf8String(record) + ": " + e.what());
    }
    if (root["format"].string() != "shubuxing run record") {
        throw std::runtime_error(utf8String(record) + ": not a run record of this program");
    }
    const std::string name = cellName(cell);
    for (const JsonValue& c : root["cells"].array()) {
        if (c["cell"].string() != name || !sameName(c["worksheet"].string(), worksheet)) continue;
        CellContributions found{c["worksheet"].string(), cell, shown(c["total"]), c["refused"].boolean(), {}};
        const auto& sources = root["sources"].array();
        for (const JsonValue& pair : c["from"].array()) {
            if (pair.array().size() != 2) continue;
            const auto index = static_cast<size_t>(pair.array()[0].number());
            const std::string file = index < sources.size() ? sources[index]["file"].string() : "?";
            CellTotal rules;
            const bool nothing = rules.add(cellValueOf(pair.array()[1])) == Contribution::AddsNothing;
            found.from.push_back({file, shown(pair.array()[1]), nothing});
        }
        return found;
    }
    return std::nullopt;
}

}  // namespace sbx
