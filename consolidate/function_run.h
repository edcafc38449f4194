#pragma once
// The function mode: every cell of every selected pool file is read and added up in memory,
// and every total is written into the summary workbook one cell at a time. Strict until its
// first cell write (a failing step ends the run through the failure diagnosis), lenient
// after it (a failing step is skipped and told in one message at the end).
#include "consolidate/run_setup.h"

namespace sbx {

// The confirmation before the run (Yes and No). False: the hint is set back and nothing
// else changes; the caller closes the mode window.
bool confirmFunctionMode(StatusView& status, DialogsPort& dialogs);

// The run after a Yes. Hiding and closing the mode window is the caller's.
RunSummary runFunctionMode(const RunSetup& setup);

}  // namespace sbx
