#pragma once
// What the mode window and the steps after a run need from the program: the main window
// (whose status panel, lists and buttons they drive), the job, the dialogs, the workspace and
// the spreadsheet engine.
#include <QWidget>

#include "consolidate/run_setup.h"

namespace sbx {

struct RunWindowContext {
    QWidget* mainWindow;
    JobDefinition& job;
    DialogsPort& dialogs;
    WorkspacePaths paths;
    HostFactory makeHost = makeNativeHost;
};

}  // namespace sbx
