#pragma once
// Pieces of the run record's JSON text: strings escaped, numbers as their shortest text, and
// cell values tagged by kind so that a script tells a date or an error from a number.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "spreadsheet/cell_value.h"

namespace sbx {

// A JSON string; bytes that are not UTF-8 text come out as U+FFFD, so the record stays JSON.
void appendJsonString(std::string& out, std::string_view text);
void appendJsonNumber(std::string& out, double x);
// Numbers and texts as themselves, dates, errors and booleans tagged: {"date": 45292},
// {"error": "#DIV/0!"}, true; an empty cell as null. JSON has no NaN or infinity: a source
// cell holding one is {"number": "NaN"}, {"number": "Infinity"} or {"number": "-Infinity"}.
void appendJsonValue(std::string& out, const CellValue& v);
// `"name": "value"`, led by ", " unless it is the first field of its object.
void appendJsonField(std::string& out, std::string_view name, std::string_view value, bool first = false);

// A file name: `"file": "its text"`, and, only when its bytes are not UTF-8 text (GBK names
// from a shared drive), `"file_bytes": "..."` after it: every byte of the name, those outside
// printable ASCII and "%" itself written %XX, so that the name is read back exactly. The text
// shows each such byte as U+FFFD.
void appendJsonFileField(std::string& out, std::string_view name, const std::filesystem::path& file,
                         bool first = false);
// The name's bytes back from a "..._bytes" field; nullopt when it is not one.
std::optional<std::string> fileNameBytes(std::string_view percentEncoded);

}  // namespace sbx
