#pragma once
// Who has reported, as the main window shows it between runs: the pool's files matched to
// the roster the working folder keeps (应报名单.txt), and that roster made from the pool with
// one click the first time, to be edited by hand later.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "consolidate/check/roster.h"
#include "job/job.h"
#include "spreadsheet/spreadsheet_host.h"
#include "workspace/workspace_paths.h"

namespace sbx {

struct PoolRoster {
    bool kept = false;               // the working folder keeps a roster
    std::string count;               // "已报 3 / 应报 5"
    std::vector<std::string> lines;  // who is missing, who is unknown, which unit reported twice
    std::string error;               // why a kept roster cannot be read
};

// <working folder>/应报名单.txt
std::filesystem::path rosterFileOf(const WorkspacePaths& paths);

// The unit of each pool file (bare names, in list order): its name without the ending, or
// the text of its unit cell ("" when the file cannot be read or the cell holds no text).
std::vector<std::string> poolUnitKeys(const WorkspacePaths& paths, const std::vector<std::string>& pool,
                                      const std::optional<UnitCell>& unitCell, SpreadsheetHost& host);

// The pool against the kept roster; nothing kept gives `kept` false.
PoolRoster poolRoster(const WorkspacePaths& paths, const std::vector<std::string>& pool,
                      const std::optional<UnitCell>& unitCell, SpreadsheetHost& host);

// Writes the roster of the pool's units, each once, in list order (UTF-8, one a line), and
// returns how many; none written when no file names a unit. Throws WorkbookError when it
// cannot be written.
size_t makeRosterFromPool(const WorkspacePaths& paths, const std::vector<std::string>& pool,
                          const std::optional<UnitCell>& unitCell, SpreadsheetHost& host);

}  // namespace sbx
