#pragma once
// The check before a run: every source against the template, so that a report with an
// inserted row, last month's file sent again, or a label typed where an amount belongs is
// caught before it is added in silently. The check only reads; a source that cannot be read
// is a finding with the engine's reason.
//
// Rules:
// - Layout: the headings of each chosen range (in the nearest row above it that holds a text
//   in its columns, and in the nearest column left of it that holds a text in its rows, as
//   the template has them) must stand where the template has them. A heading is a text of the
//   template there that at least half of the workbooks (the template and the sources) hold at
//   the same place; a text that most do not hold is a unit's entry (its name beside "单位", a year) and is not
//   compared, nor is a text a source holds where the template has none. Rows further up
//   (titles, "填报单位 东城区"), the corners and notes below the ranges are not compared at all.
// - Not a number: a cell inside a range whose value adds nothing to a total (CellTotal's
//   rule: a text that does not read as a number, an error value, a boolean), unless the
//   template holds the same value there and at least half of the workbooks do (a label
//   column inside the range). A label typed into an amount cell of the template's own unit
//   is thus flagged in that unit's file like in any other.
// - Duplicate: a source with the same bytes as an earlier one, or, failing that, with the
//   same values at the same positions in every chosen range (at least one value).
// - Audit: a cell of a range that the template computes from other cells of the ranges
//   (a 合计 row) holds, in the source, a number its formula does not give on the source's
//   values (see formula_audit.h).
// - Same unit: with a roster, a second report of a unit already reported (roster.h).
// - Unmatched label: with labels aligned (label_alignment.h), a row or column of a report
//   holding values whose label the template lacks, or holds another number of times. Layout
//   is then not compared in place: the labels are matched instead.
// - No result: a formula cell inside a range that its file holds without a result (written by
//   a program that does not compute formulas) and that the engine could not compute either:
//   it adds nothing, though the unit meant it to.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "consolidate/check/label_alignment.h"
#include "consolidate/check/roster.h"
#include "consolidate/run/source_cache.h"
#include "job/job.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

enum class FindingKind : unsigned char {
    Unreadable, MissingWorksheet, Layout, Duplicate, NotANumber, NoResult, Audit, SameUnit, UnmatchedLabel
};
inline constexpr int kFindingKinds = 9;

// "UNREADABLE", "MISSING_WORKSHEET", "LAYOUT", "DUPLICATE", "NOT_A_NUMBER", "NO_RESULT", "AUDIT", "SAME_UNIT",
// "UNMATCHED_LABEL":
// the names of the command line's --allow and of the run record.
std::string_view findingName(FindingKind kind);
std::optional<FindingKind> findingFromName(std::string_view name);  // letter case does not matter

struct Finding {
    FindingKind kind = FindingKind::Unreadable;
    std::string worksheet = {};               // empty for findings about the whole file
    CellAddress cell = {};                    // Layout, NotANumber, NoResult, Audit, UnmatchedLabel: the first cell, row by row
    std::string templateValue = {};           // Layout: what the template holds there, as shown; Audit: the value by the formula
    std::string sourceValue = {};             // Layout, NotANumber, Audit: what the source holds there, as shown;
                                              // UnmatchedLabel: the first label
    std::string reason = {};                  // Unreadable, MissingWorksheet: what the engine said; NoResult: why the first is
                                              // not computed; Audit: the template's formula of the first cell; SameUnit: the unit
    WorkbookErrorKind error = WorkbookErrorKind::Unreadable;  // Unreadable: the engine's kind of fault
    std::optional<size_t> duplicateOf = {};   // Duplicate, SameUnit: the index of the earlier source
    bool sameBytes = false;                   // Duplicate: the files are identical, not only their values
    std::vector<CellAddress> cells = {};      // NotANumber, NoResult, Audit, UnmatchedLabel: the cells, the first kListedCells
    long long count = 0;                      // NotANumber, NoResult, Audit, UnmatchedLabel: how many cells in all
    int labelTimes = 0;                       // UnmatchedLabel: how often the source holds the first label along its line,
    int templateTimes = 0;                    // and the template (0: it lacks it; both 0: a line of values without a label)
};
inline constexpr size_t kListedCells = 50;

// Which kinds of finding may pass (the command line's --allow).
class AllowedFindings {
public:
    void allow(FindingKind kind) { bits_ |= 1u << static_cast<unsigned>(kind); }
    bool allows(FindingKind kind) const { return (bits_ >> static_cast<unsigned>(kind)) & 1u; }

private:
    unsigned bits_ = 0;
};

// A range of an aligned source that does not land in place: which rows and columns went where.
struct AlignedRange {
    std::string worksheet;
    AreaAlignment alignment;
};

struct SourceCheck {
    std::filesystem::path file;
    uintmax_t size = 0;
    // SHA-256 of the files the duplicate check compared (the same values and size); empty for
    // the others (the run record works theirs out) and when the file could not be read.
    std::string sha256;
    std::vector<Finding> findings;
    std::vector<AlignedRange> aligned = {};  // with labels aligned: its ranges not added in place

    // A finding that is not allowed.
    bool flagged(const AllowedFindings& allowed = {}) const;
};

// Where each report names its unit, instead of its file name.
struct CheckRequest {
    std::vector<std::filesystem::path> sources;
    std::filesystem::path templateFile;
    Job job;
    std::optional<Roster> roster = {};      // who should report: matched, and a unit twice flagged
    std::optional<UnitCell> unitCell = {};  // with a roster: the cell that names each report's unit
    bool alignLabels = false;               // rows and columns matched by their labels (按标签对齐汇总)
};

struct CheckReport {
    std::vector<SourceCheck> sources;  // in request order
    std::string templateProblem;       // the template could not be read or lacks a worksheet
    std::optional<RosterStatus> roster = {};  // with a roster: who reported, who did not

    // Sources with a finding that is not allowed, by index.
    std::vector<size_t> flagged(const AllowedFindings& allowed = {}) const;
    // Sources that could not be read at all, by index.
    std::vector<size_t> unreadable() const;
};

// Reads each source once through `sources`, so that a run given the same cache afterwards
// finds the workbooks open (within the cache's budget) instead of parsing them again.
CheckReport checkSources(const CheckRequest& request, SourceCache& sources);

// A value as a person reads it: “合计”, 12.5, #DIV/0!, TRUE, (empty).
std::string shownValue(const CellValue& value);

// One line: `file: LAYOUT 收入明细!a6: the template has “管理费用”, the source “差旅费”`.
std::string describeFinding(const Finding& finding, const CheckReport& report);

}  // namespace sbx
