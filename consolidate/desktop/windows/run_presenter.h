#pragma once
// A run on the desktop: the main window's status panel shows the run's events, its messages
// come after the panel has shown the latest numbers, the steps after a finished run act on
// the main window's lists, and entries whose files left the pool meanwhile are taken off.
// The windows reach the main window only through its typed controls.
#include "consolidate/desktop/pool_run.h"
#include "consolidate/desktop/windows/flushing_dialogs.h"
#include "consolidate/desktop/windows/qt_status_view.h"
#include "consolidate/desktop/windows/run_window_context.h"

namespace sbx {

class RunPresenter {
public:
    explicit RunPresenter(const RunWindowContext& context);

    // Function mode asks first (Yes and No); false: nothing runs.
    bool confirm(Mode mode);
    RunSummary run(Mode mode);

private:
    const RunWindowContext& context_;
    QtStatusView status_;
    FlushingDialogs dialogs_;
};

}  // namespace sbx
