#include "consolidate/record/record_cell_line.h"

#include <cstring>

#include "consolidate/record/record_json_text.h"

namespace sbx {

bool savedInSummary(const RunReport& report, size_t j) { return j < report.worksheets.size() && report.worksheets[j].saved; }

bool leftOutOf(const RunReport& report, const std::filesystem::path& file, const std::string& worksheet) {
    for (const Skipped& s : report.skipped) {
        if ((s.kind == Skipped::Kind::WorksheetMissing || s.kind == Skipped::Kind::SourceUnreadable) && s.file == file &&
            (s.worksheet.empty() || s.worksheet == worksheet)) {
            return true;
        }
    }
    return false;
}

std::set<std::pair<int, int>> refusedCells(const RunReport& report, const std::string& worksheet) {
    std::set<std::pair<int, int>> refused;
    for (const Skipped& s : report.skipped) {
        if (s.kind == Skipped::Kind::CellRefused && s.worksheet == worksheet) refused.insert({s.cell.row, s.cell.column});
    }
    return refused;
}

std::string cellLineWorksheet(const std::string& worksheet) {
    std::string field;
    appendJsonField(field, "worksheet", worksheet, true);
    return field;
}

void appendCellLineHead(std::string& out, bool firstLine, const std::string& worksheetField, CellAddress at,
                        const CellValue& total, bool refused) {
    out += firstLine ? "\n    {" : ",\n    {";
    out += worksheetField;
    appendJsonField(out, "cell", cellName(at));
    out += ", \"total\": ";
    appendJsonValue(out, total);
    if (refused) out += ", \"refused\": true";
    out += ", \"from\": [";
}

std::string contributionHead(uint32_t source) { return ",[" + std::to_string(source) + ","; }

std::string_view contributionText(std::string_view head, bool first, const AreaValues& values, const AreaValues::Held& v,
                                  char* room, std::string& scratch) {
    if (first) head.remove_prefix(1);
    if (v.numberOnly()) {
        std::memcpy(room, head.data(), head.size());
        char* end = writeNumber(room + head.size(), v.number);
        *end++ = ']';
        return {room, static_cast<size_t>(end - room)};
    }
    scratch.assign(head);
    appendJsonValue(scratch, values.value(v));
    scratch += ']';
    return scratch;
}

}  // namespace sbx
