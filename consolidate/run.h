#pragma once
// The one consolidation run of both modes and every front end.
#include "consolidate/run_request.h"

namespace sbx {

// Reads the sources through `host`, writes the totals into a copy of the template opened
// through `host`, and saves it to request.summary. Sources are never written. Failures are
// reported in the returned report, never thrown (only programming errors escape).
RunReport run(const RunRequest& request, SpreadsheetHost& host, RunEvents& events, RunDecisions& decisions);

}  // namespace sbx
