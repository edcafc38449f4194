#pragma once
// What the mode window and the steps after a run need from the program: the main window
// (whose status panel, lists and buttons they drive), the job, the dialogs, the workspace and
// the spreadsheet engine.
#include <QDesktopServices>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "consolidate/desktop/run_setup.h"
#include "ui/main_window_controls.h"

namespace sbx {

struct RunWindowContext {
    QWidget* mainWindow;                  // the parent of the mode window
    const MainWindowControls& controls;   // what the run shows and changes there
    JobDefinition& job;
    DialogsPort& dialogs;
    WorkspacePaths paths;
    HostFactory makeHost = makeNativeHost;
    // Opens a folder in the desktop's file manager (replaced in tests).
    std::function<bool(const QUrl&)> openUrl = QDesktopServices::openUrl;
};

}  // namespace sbx
