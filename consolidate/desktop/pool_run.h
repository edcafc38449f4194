#pragma once
// A run from the desktop: the selected pool files through the one run core, with its
// progress shown on the status panel, its outcome told in the windows' messages, and the
// questions after a finished run (archiving, export).
//
// The two modes differ here only in what the user sees: their panels, their hints, their
// failure messages, and what a source lacking a worksheet means (efficiency mode stops the
// run; function mode fails before its first write and leaves the source out after it).
#include "consolidate/desktop/run_setup.h"

namespace sbx {

// The confirmation before a function-mode run (Yes and No). False: the hint is set back and
// nothing else changes; the caller closes the mode window.
bool confirmFunctionMode(StatusView& status, DialogsPort& dialogs);

// The run after the mode window's button (and, for function mode, a Yes). Hiding and
// closing the mode window is the caller's.
RunSummary runFromPool(const RunSetup& setup, Mode mode);

}  // namespace sbx
