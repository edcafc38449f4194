#include "consolidate/check/roster.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string_view text) {
    // Blanks, tabs, line ends and the ideographic space a Chinese input method types.
    static constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
    bool changed = true;
    while (changed && !text.empty()) {
        changed = false;
        if (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n') {
            text.remove_prefix(1), changed = true;
        } else if (text.starts_with(kIdeographicSpace)) {
            text.remove_prefix(kIdeographicSpace.size()), changed = true;
        }
        if (text.empty()) break;
        if (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n') {
            text.remove_suffix(1), changed = true;
        } else if (text.ends_with(kIdeographicSpace)) {
            text.remove_suffix(kIdeographicSpace.size()), changed = true;
        }
    }
    return std::string(text);
}

void addUnit(Roster& roster, std::set<std::string>& seen, std::string_view line) {
    std::string unit = trimmed(line);
    if (!unit.empty() && seen.insert(unit).second) roster.units.push_back(std::move(unit));
}

bool isWorkbookFile(const fs::path& file) {
    std::string ending = utf8String(file.extension());
    for (char& c : ending) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ending == ".xls" || ending == ".xlsx" || ending == ".xlsm";
}

}  // namespace

Roster readRoster(const fs::path& file, SpreadsheetHost& host) {
    Roster roster;
    std::set<std::string> seen;
    if (isWorkbookFile(file)) {
        Workbook& book = host.open(file);
        const Worksheet& sheet = book.worksheet(1);
        const int lastRow = sheet.lastValueCell().first;
        if (lastRow > 0) {
            sheet.forEachValue(CellArea{1, 1, lastRow, 1}, [&](int, int, const CellValue& v) {
                if (v.kind() == CellKind::Text) addUnit(roster, seen, v.textValue());
            });
        }
        host.close(book, false);
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw WorkbookError(WorkbookErrorKind::Unreadable, file, "the roster cannot be opened");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
        size_t from = 0;
        while (from < text.size()) {
            const size_t end = std::min(text.find('\n', from), text.size());
            addUnit(roster, seen, std::string_view(text).substr(from, end - from));
            from = end + 1;
        }
    }
    if (roster.units.empty()) throw WorkbookError(WorkbookErrorKind::Corrupt, file, "the roster lists no unit");
    return roster;
}

std::string rosterText(const std::vector<std::string>& units) {
    std::string text;
    for (const std::string& unit : units) text += unit + "\n";
    return text;
}

RosterStatus matchRoster(const Roster& roster, const std::vector<std::string>& keys, bool keysAreCells) {
    RosterStatus status;
    status.expected = roster.units.size();
    std::set<std::string> found;
    for (size_t i = 0; i < keys.size(); ++i) {
        std::string unit;
        const std::string key = trimmed(keys[i]);
        for (const std::string& candidate : roster.units) {
            const bool matches = keysAreCells ? key == candidate : key.find(candidate) != std::string::npos;
            if (matches && candidate.size() > unit.size()) unit = candidate;
        }
        if (unit.empty()) {
            status.unknown.push_back(i);
        } else {
            found.insert(unit);
        }
        status.unitOf.push_back(std::move(unit));
    }
    for (const std::string& unit : roster.units) {
        (found.contains(unit) ? status.reported : status.missing).push_back(unit);
    }
    return status;
}

std::string reportedCountText(const RosterStatus& status) {
    return "已报 " + std::to_string(status.reported.size()) + " / 应报 " + std::to_string(status.expected);
}

std::vector<std::string> rosterLines(const RosterStatus& status, const std::vector<fs::path>& reports) {
    std::vector<std::string> lines;
    if (!status.missing.empty()) {
        std::string line = "未报：";
        for (size_t i = 0; i < status.missing.size(); ++i) line += (i ? "、" : "") + status.missing[i];
        lines.push_back(line);
    }
    if (!status.unknown.empty()) {
        std::string line = "不在名单中：";
        for (size_t i = 0; i < status.unknown.size(); ++i) {
            line += (i ? "、" : "") + utf8String(reports[status.unknown[i]].filename());
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace sbx
