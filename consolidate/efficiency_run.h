#pragma once
// The efficiency mode: for each chosen worksheet, one list of source references (one per
// selected pool file) and one consolidate call that writes the sums into the summary
// workbook. Every selected file must hold the worksheet under the same name and the summary
// range must be writable; any other failure ends the run through the failure diagnosis and
// blocks this mode for the rest of the program.
#include "consolidate/run_setup.h"

namespace sbx {

// The run from the mode window's "效率型" button. Hiding and closing the mode window is the
// caller's; everything else it shows goes through setup.status and setup.dialogs.
RunSummary runEfficiencyMode(const RunSetup& setup);

// The area suffix of a source reference: !R3C1:R20C8.
std::string areaSuffix(int firstRow, int firstColumn, int lastRow, int lastColumn);

}  // namespace sbx
