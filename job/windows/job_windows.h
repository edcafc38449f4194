#pragma once
// The job windows as the main window uses them: its "环 境 设 定" reads the
// worksheets of the summary workbook, fills sheetNames, and opens the worksheet
// selection window checkfrm, which opens the range entry window hjxx when a selection is
// accepted. Both disable the main window while they are open.
#include "job/windows/job_window_context.h"

namespace sbx {

// The whole of 环境设定's click after its status-panel housekeeping: read the summary
// workbook's worksheet names, fill sheetNames, open checkfrm.
void startJobSetup(const JobWindowContext& context);

}  // namespace sbx
