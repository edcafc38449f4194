#include "consolidate/desktop/pool_roster.h"

#include <map>
#include <set>
#include <string_view>

#include "spreadsheet/atomic_file.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

fs::path rosterFileOf(const WorkspacePaths& paths) { return paths.poolDirectory() / utf8Path(kRosterFileName); }

std::vector<std::string> poolUnitKeys(const WorkspacePaths& paths, const std::vector<std::string>& pool,
                                      const std::optional<UnitCell>& unitCell, SpreadsheetHost& host) {
    std::vector<std::string> keys;
    for (const std::string& name : pool) {
        const fs::path file = paths.poolFile(name);
        if (!unitCell) {
            keys.push_back(utf8String(file.stem()));
            continue;
        }
        std::string key;
        try {
            Workbook& book = host.open(file);
            try {
                const CellValue v = book.worksheet(unitCell->worksheet).cell(unitCell->cell.row, unitCell->cell.column);
                if (v.kind() == CellKind::Text) key = v.textValue();
            } catch (const WorkbookError&) {
                // without that worksheet: of no unit
            }
            host.close(book, false);
        } catch (const WorkbookError&) {
            // unreadable: of no unit
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

PoolRoster poolRoster(const WorkspacePaths& paths, const std::vector<std::string>& pool,
                      const std::optional<UnitCell>& unitCell, SpreadsheetHost& host) {
    PoolRoster shown;
    const fs::path file = rosterFileOf(paths);
    std::error_code missing;
    if (!fs::exists(file, missing)) return shown;
    shown.kept = true;
    Roster roster;
    try {
        roster = readRoster(file, host);
    } catch (const WorkbookError& e) {
        shown.error = "应报名单无法读取：" + workbookErrorText(e);
        return shown;
    }
    const RosterStatus status = matchRoster(roster, poolUnitKeys(paths, pool, unitCell, host), unitCell.has_value());
    shown.count = reportedCountText(status);
    std::vector<fs::path> reports;
    for (const std::string& name : pool) reports.push_back(utf8Path(name));
    shown.lines = rosterLines(status, reports);
    // A unit with two reports would be counted twice in the total.
    std::map<std::string, std::vector<std::string>> reportsOf;
    for (size_t i = 0; i < pool.size(); ++i) {
        if (!status.unitOf[i].empty()) reportsOf[status.unitOf[i]].push_back(pool[i]);
    }
    std::string twice;
    for (const std::string& unit : roster.units) {
        const auto it = reportsOf.find(unit);
        if (it == reportsOf.end() || it->second.size() < 2) continue;
        twice += (twice.empty() ? "" : "；") + unit + "（";
        for (size_t i = 0; i < it->second.size(); ++i) twice += (i ? "、" : "") + it->second[i];
        twice += "）";
    }
    if (!twice.empty()) shown.lines.push_back("一个单位多份：" + twice);
    return shown;
}

size_t makeRosterFromPool(const WorkspacePaths& paths, const std::vector<std::string>& pool,
                          const std::optional<UnitCell>& unitCell, SpreadsheetHost& host) {
    std::vector<std::string> units;
    std::set<std::string> seen;
    for (const std::string& key : poolUnitKeys(paths, pool, unitCell, host)) {
        const auto first = key.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        const std::string unit = key.substr(first, key.find_last_not_of(" \t") - first + 1);
        if (seen.insert(unit).second) units.push_back(unit);
    }
    if (units.empty()) return 0;
    const fs::path file = rosterFileOf(paths);
    const std::string text = rosterText(units);
    const std::string_view pieces[] = {text};
    replaceFileAtomically(file, pieces);
    return units.size();
}

}  // namespace sbx
