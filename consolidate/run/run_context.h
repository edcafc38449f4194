#pragma once
// What the two modes share inside one run: the request, the open sources, the report being
// built, and the way a missing part either is left out or ends the run.
#include <functional>
#include <memory>
#include <vector>

#include "consolidate/run/run_request.h"
#include "consolidate/run/source_cache.h"

namespace sbx {

// Thrown inside a run to end it; run() turns it into report.failure.
struct RunStopped {
    Failure failure;
};

class RunContext {
public:
    // `shared`: sources opened before the run (by the check), or null for a cache of the run's own.
    RunContext(const RunRequest& runRequest, SpreadsheetHost& runHost, RunEvents& runEvents, RunDecisions& runDecisions,
               SourceCache* shared = nullptr)
        : request(runRequest), host(runHost), events(runEvents), decisions(runDecisions),
          ownSources(shared ? nullptr : std::make_unique<SourceCache>(runHost)), sources(shared ? *shared : *ownSources),
          contributed(runRequest.sources.size(), false) {}

    const RunRequest& request;
    SpreadsheetHost& host;
    RunEvents& events;
    RunDecisions& decisions;
    std::unique_ptr<SourceCache> ownSources;
    SourceCache& sources;
    RunReport report;
    std::vector<bool> contributed;  // by source index
    bool cellsWritten = false;
    // The current worksheet's formulas inside its range that keep their formula, and the
    // totals they would have received (written should saving not compute them after all).
    std::vector<CellAddress> keptFormulas;
    std::vector<std::pair<CellAddress, CellValue>> keptTotals;

    [[noreturn]] static void stop(Failure failure) { throw RunStopped{std::move(failure)}; }
    // Asks whether to go on without `item`; reports it if so, ends the run with `failure` if not.
    void leaveOutOrStop(Skipped item, Failure::Kind failure, const WorkbookError* cause);
    // The source values of a worksheet that added nothing, by position: all are counted;
    // those at positions whose total is a number or a date (a label where the other reports
    // hold an amount) are reported as such, the first few hundred listed.
    void noteIgnored(const std::string& worksheet, const std::vector<IgnoredValue>& positions,
                     const std::function<bool(CellAddress)>& amongNumbers);
    void checkCancelled() const;
    // Ends the run for a total of `cell` that is not finite, naming the sources (of `indexes`)
    // whose values add up to it.
    [[noreturn]] void stopForNotFinite(const SheetJob& sheet, CellAddress cell, const std::vector<size_t>& indexes);
};

// One worksheet in each mode: reads every source's area and writes the totals into `target`.
// Return the number of summary cells written.
long long consolidateEfficiently(RunContext& run, const SheetJob& sheet, Worksheet& target);
long long consolidateCellByCell(RunContext& run, const SheetJob& sheet, Worksheet& target);

}  // namespace sbx
