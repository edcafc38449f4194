#pragma once
// Who has reported: the units expected this period (a roster), and which report belongs to
// which unit. A clerk who collects one report from each of forty units needs to know who is
// missing before handing in the total, and that no unit was counted twice.
//
// A roster is a UTF-8 text file, one unit a line (blank lines and blanks around a name are
// ignored), or a workbook whose first worksheet lists the units in its first column. A report
// belongs to a unit when the unit's name is part of its file name (the longest name wins:
// 东城区二街道 before 东城区), or, when the job names a cell that holds the unit's name (the
// cell next to 填报单位), when that cell's text is the unit's name.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

// The roster the desktop program reads from its working folder.
inline constexpr const char* kRosterFileName = "应报名单.txt";

struct Roster {
    std::vector<std::string> units;  // in the roster's order, each once
};

// Throws WorkbookError (naming the file and why) when the roster cannot be read or lists no unit.
Roster readRoster(const std::filesystem::path& file, SpreadsheetHost& host);

// The text a roster file made from reports holds: their units as `unitOfFile` names them.
std::string rosterText(const std::vector<std::string>& units);

struct RosterStatus {
    size_t expected = 0;                 // units on the roster
    std::vector<std::string> reported;   // units with a report, in the roster's order
    std::vector<std::string> missing;    // units without one, in the roster's order
    std::vector<size_t> unknown;         // reports of no unit on the roster, by index
    std::vector<std::string> unitOf;     // each report's unit, by index ("" for unknown)
};

// `keys`: for each report, what names its unit (its file name, or its unit cell's text).
RosterStatus matchRoster(const Roster& roster, const std::vector<std::string>& keys, bool keysAreCells);

// "已报 38 / 应报 40"
std::string reportedCountText(const RosterStatus& status);
// "未报：东城区、西城区" and "不在名单中：总表副本.xls", one line each; empty lines left out.
std::vector<std::string> rosterLines(const RosterStatus& status, const std::vector<std::filesystem::path>& reports);

}  // namespace sbx
