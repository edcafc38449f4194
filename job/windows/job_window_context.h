#pragma once
// What the job windows need from the program: the job, the dialogs, the workspace, the main
// window's controls they touch, and the engine.
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
    QWidget* jobSetupButton = nullptr;                    // the main window's 环境设定
    QWidget* poolList = nullptr;                          // the main window's pool list
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost;  // one host per command
    std::function<void(const std::string&)> setHint;    // writes the hint box
    std::function<void()> jobChanged;                    // jobReady may have changed: re-check 开始汇表
};

}  // namespace sbx
