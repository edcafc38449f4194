#pragma once
// The one consolidation run of both modes and every front end.
#include "consolidate/run/run_request.h"
#include "consolidate/run/source_cache.h"

namespace sbx {

// Reads the sources through `host`, writes the totals into a copy of the template opened
// through `host`, and saves it to request.summary. Sources are never written. Failures are
// reported in the returned report, never thrown (only programming errors escape).
RunReport run(const RunRequest& request, SpreadsheetHost& host, RunEvents& events, RunDecisions& decisions);

// The same, reading the sources through `sources` (opened through the same host), whose
// workbooks a check before the run may have opened already.
RunReport run(const RunRequest& request, SpreadsheetHost& host, RunEvents& events, RunDecisions& decisions,
              SourceCache& sources);

// The failure a run ends with, before it reads or writes anything, when a range of the job
// reaches beyond `grid`, the summary's worksheets (an .xls summary ends at iv65536).
std::optional<Failure> rangeBeyondSummary(const RunRequest& request, SheetGrid grid);

}  // namespace sbx
