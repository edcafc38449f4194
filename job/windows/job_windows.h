#pragma once
// The job windows as the main window uses them: its Command2 ("环 境 设 定") reads the
// worksheets of the summary workbook, fills sht_cut and sheetNames, and opens the worksheet
// selection window checkfrm, which opens the range entry window hjxx when a selection is
// accepted. Both disable the main window while they are open.
#include <functional>
#include <memory>
#include <string>

#include "job/job_definition.h"
#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/workspace_paths.h"

class QWidget;

namespace sbx {

struct JobWindowContext {
    JobDefinition& job;
    DialogsPort& dialogs;
    WorkspacePaths paths;
    QWidget* mainWindow = nullptr;                        // disabled while a job window is open
    QWidget* jobSetupButton = nullptr;                    // the main window's Command2
    QWidget* poolList = nullptr;                          // the main window's List1
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost;  // one host per command
    std::function<void(const std::string&)> setHint;    // writes the hint box Text11
    std::function<void()> jobChanged;                    // jobReady may have changed: re-check Command3
};

// The whole of Command2's click after its status-panel housekeeping: read the summary
// workbook's worksheet names, fill sht_cut and sheetNames, open checkfrm.
void startJobSetup(const JobWindowContext& context);

}  // namespace sbx
