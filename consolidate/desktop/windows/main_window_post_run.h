#pragma once
// The steps after a finished run on the main window: archiving the run's files (and the
// reset of the lists, counts and buttons for a new job), the export offer, and the export
// behind 导出文件.
#include <string>
#include <vector>

#include "consolidate/desktop/post_run_steps.h"
#include "consolidate/run/run_request.h"
#include "consolidate/desktop/windows/run_window_context.h"

namespace sbx {

class MainWindowPostRun final : public PostRunSteps {
public:
    // `dialogs` is the run's; the mode decides when the selected count is reset.
    MainWindowPostRun(const MainWindowControls& controls, const WorkspacePaths& paths, DialogsPort& dialogs, Mode mode)
        : c_(controls), paths_(paths), dialogs_(dialogs), mode_(mode) {}

    void archive(const std::vector<std::string>& runList) override;
    void offerExport() override;

private:
    void resetForNewJob(const std::vector<std::string>& stillInPool);

    const MainWindowControls& c_;
    WorkspacePaths paths_;
    DialogsPort& dialogs_;
    Mode mode_;
};

// After a run: the entries of the pool list whose files have left the pool meanwhile (the run has
// named them as missing) are taken off, so that the list shows only files that are there.
void forgetVanishedPoolFiles(const MainWindowControls& controls, const WorkspacePaths& paths);

// The click on 导出文件: the export (of a summary a failed run left incomplete, after a
// question saying so), then the focus on 退出系统 and the welcome hint.
void exportFromMainWindow(const MainWindowControls& controls, const WorkspacePaths& paths, DialogsPort& dialogs,
                          const JobDefinition& job);

}  // namespace sbx
