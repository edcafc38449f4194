#pragma once
// What the two ways of making the run record's cell lines share (the lists laid out while the
// check reads, and the merge after the run): what the run's report says of a job entry, a
// source and a summary cell, and the head of a cell's line.
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "consolidate/run_request.h"
#include "spreadsheet/cell_address.h"
#include "spreadsheet/cell_value.h"

namespace sbx {

// Whether the totals of job entry `j` are in the summary on disk (a failed run saved those
// before its failure, when it saves after each worksheet).
bool savedInSummary(const RunReport& report, size_t j);

// Whether the run left `file` out of `worksheet`.
bool leftOutOf(const RunReport& report, const std::filesystem::path& file, const std::string& worksheet);

// The summary cells of `worksheet` that did not take their totals, as (row, column).
std::set<std::pair<int, int>> refusedCells(const RunReport& report, const std::string& worksheet);

// `"worksheet": "收入明细"`, the same in every line of a worksheet.
std::string cellLineWorksheet(const std::string& worksheet);

// A cell's line up to its values: `\n    {"worksheet": ..., "cell": "b5", "total": 12.5,
// "from": [`, led by "," unless it is the first line of the record.
void appendCellLineHead(std::string& out, bool firstLine, const std::string& worksheetField, CellAddress at,
                        const CellValue& total, bool refused);

}  // namespace sbx
