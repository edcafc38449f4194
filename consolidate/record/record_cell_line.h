#pragma once
// What the two ways of making the run record's cell lines share (the lists laid out while the
// check reads, and the merge after the run): what the run's report says of a job entry, a
// source and a summary cell, and the head of a cell's line.
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "consolidate/run/run_request.h"
#include "consolidate/record/number_text.h"
#include "spreadsheet/area_values.h"
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

// ",[12," for source 12: what leads each of its values in a cell's list.
std::string contributionHead(uint32_t source);

// Room for a number's contribution: its head, the number and "]".
inline constexpr size_t kContributionRoom = 16 + kNumberTextSize;

// One source's value in a cell's list: its head (without the "," when it is the first of the
// list), the value, "]". A number is written into `room` (kContributionRoom characters), any
// other value into `scratch`; the text is in one of them.
std::string_view contributionText(std::string_view head, bool first, const AreaValues& values, const AreaValues::Held& v,
                                  char* room, std::string& scratch);

}  // namespace sbx
