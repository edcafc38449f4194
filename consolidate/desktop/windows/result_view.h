#pragma once
// After a finished run: the main window's "查看结果" opens the summary in the viewer with
// the cells the run wrote marked, and the viewer's "打开所在文件夹" opens the folder that
// holds it.
#include <QWidget>

#include "consolidate/run/run_request.h"
#include "consolidate/desktop/windows/run_window_context.h"

namespace sbx {

// Shows the result button (查看结果) for the finished run's `report`; its click
// looks at the summary workbook.
void offerResultView(const RunWindowContext& context, const RunReport& report);

// Hides the button: a new run makes its marks stale.
void withdrawResultView(const MainWindowControls& controls);

}  // namespace sbx
