#pragma once
// One consolidation run as a value: what it takes (RunRequest), what it tells while it works
// (RunEvents), the questions it may ask (RunDecisions) and what it gives back (RunReport).
// The desktop windows, the command-line tool and the tests each drive the same run() with
// these; nothing here knows of windows.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "job/job.h"
#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

enum class Mode {
    Efficiency,  // one consolidation per worksheet, all or nothing
    Function,    // cell by cell: protected cells are left as they are and reported
};

enum class Saving {
    AfterEachWorksheet,  // the desktop's summary: each worksheet's totals reach the file as it is done
    OnceAtEnd,           // a new summary file: written only when every worksheet is done
};

struct RunRequest {
    std::vector<std::filesystem::path> sources;  // read in this order
    std::filesystem::path templateFile;          // the workbook whose copy receives the totals
    std::filesystem::path summary;               // where it is saved; may be the template itself
    Job job;
    Mode mode = Mode::Efficiency;
    Saving saving = Saving::AfterEachWorksheet;
};

// Something the run left out, and why.
struct Skipped {
    enum class Kind {
        WorksheetMissing,  // a source lacks the worksheet
        SourceUnreadable,  // a source could not be opened or read
        CellRefused,       // a summary cell did not take its total (protected, part of an array, ...)
        AddsNothing,       // a label, an error value or a boolean where the other sources hold amounts
    };
    Kind kind;
    std::filesystem::path file;  // the source, or the summary for refused cells
    std::string worksheet;
    CellAddress cell{};          // refused and ignored cells
    std::string reason;          // what the engine said, or the value that adds nothing
};

struct Failure {
    enum class Kind {
        NoSources,         // nothing to consolidate
        WorksheetMissing,  // a source lacks a worksheet and the run could not go on without it
        SourceUnreadable,  // a source could not be read and the run could not go on without it
        SummaryUnusable,   // the template could not be opened, lacks a worksheet, or refused the totals
        SummaryNotSaved,   // the summary could not be saved
        TotalNotFinite,    // a total added up beyond the largest number a spreadsheet holds
        RangeBeyondSummary,  // a range reaches beyond the summary's worksheets (an .xls one ends at iv65536)
        Cancelled,
    };
    Kind kind;
    std::filesystem::path file;
    std::string worksheet;
    std::string reason;
    std::optional<WorkbookError> error;  // the engine's error behind it, when there is one
    CellAddress cell = {};                        // TotalNotFinite: the summary cell
    std::vector<std::filesystem::path> sources = {};  // TotalNotFinite: the sources adding up to it
    CellArea area = {};                           // RangeBeyondSummary: the range
};

// A formula of the summary inside a chosen range: kept, and computed from the totals when the
// summary is saved, or given the sum of the units' results like the cells around it, and why.
struct RangeFormula {
    std::string worksheet;
    CellAddress cell;
    bool kept = false;
    std::string reason;  // not kept: why
};

struct WorksheetOutcome {
    std::string worksheet;
    long long cellsWritten = 0;
    bool saved = false;  // its totals are in the summary file
    CellArea area{};     // the area that received the totals (refused cells are in `skipped`)
};

struct RunReport {
    std::vector<std::filesystem::path> consolidated;  // sources that went into a total, in request order
    std::vector<WorksheetOutcome> worksheets;         // the worksheets the run reached, in job order
    std::vector<Skipped> skipped;                     // of values that add nothing, the first few hundred
    long long ignoredValues = 0;                      // all source values that added nothing
    long long misplacedValues = 0;                    // of them, those where the total is an amount
    long long refusedCells = 0;
    long long cellsRead = 0;                          // cell positions read from sources
    long long cellsWritten = 0;
    std::vector<StaleFormula> staleFormulas;          // left to the spreadsheet application
    std::vector<RangeFormula> rangeFormulas;          // the summary's formulas inside the ranges
    std::optional<Failure> failure;                   // set: the run did not do what was asked
    bool summarySaved = false;                        // the summary file holds every total of the run
    std::string summarySha256;                        // of the bytes of the run's last save of the summary

    bool succeeded() const { return !failure && summarySaved; }
    int worksheetsSaved() const;
    long long skippedOf(Skipped::Kind kind) const;  // items listed in `skipped`
};

// Progress as meaning. Calls come per cell in function mode, so an implementation keeps the
// latest values and paints at its own pace.
class RunEvents {
public:
    virtual ~RunEvents() = default;
    // Worksheet `index` (from 1) of `count`.
    virtual void worksheetStarted(int /*index*/, int /*count*/, const SheetJob& /*sheet*/) {}
    // Source `index` (from 1) of `count` of the current worksheet.
    virtual void fileStarted(int /*index*/, int /*count*/, const std::filesystem::path& /*file*/) {}
    virtual void fileDone(int /*index*/, int /*count*/, const std::filesystem::path& /*file*/, bool /*contributed*/) {}
    // Function mode: a value of the current source was read; `done` positions of `total`.
    virtual void cellRead(CellAddress /*cell*/, long long /*done*/, long long /*total*/) {}
    // Function mode: a total was written; `done` positions of `total` of the area.
    virtual void cellWritten(CellAddress /*cell*/, long long /*done*/, long long /*total*/) {}
    virtual void worksheetFinished(int /*index*/, int /*count*/, const WorksheetOutcome& /*outcome*/) {}
    // Asked between files: true ends the run (Failure::Kind::Cancelled).
    virtual bool cancelled() const { return false; }
};

// The questions a run may ask on its way.
class RunDecisions {
public:
    virtual ~RunDecisions() = default;
    // A source could not give its part, or a summary cell refused its total. True: leave it out,
    // report it, and go on; false: the run fails with it. `cellsWritten`: whether the summary
    // has taken a total in this run already.
    virtual bool goOnWithout(const Skipped& item, bool cellsWritten) = 0;
};

// Never goes on: any missing part fails the run (the command line's rule).
class StrictDecisions final : public RunDecisions {
public:
    bool goOnWithout(const Skipped&, bool) override { return false; }
};

}  // namespace sbx
