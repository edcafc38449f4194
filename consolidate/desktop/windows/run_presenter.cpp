#include "consolidate/desktop/windows/run_presenter.h"

#include <QLabel>
#include <QListWidget>

#include "consolidate/run/run_messages.h"
#include "consolidate/desktop/windows/check_window.h"
#include "consolidate/desktop/windows/main_window_post_run.h"
#include "consolidate/desktop/windows/result_view.h"
#include "ui/pool_name_text.h"

namespace sbx {

namespace {

// The entries of the pool list selected now, in list order.
std::vector<std::string> selectedPoolEntries(const QListWidget* poolList) {
    std::vector<std::string> names;
    for (int row = 0; row < poolList->count(); ++row) {
        if (poolList->item(row)->isSelected()) names.push_back(poolNameBytes(poolList->item(row)->text()));
    }
    return names;
}

}  // namespace

RunPresenter::RunPresenter(const RunWindowContext& context)
    : context_(context), status_(context.controls), dialogs_(context.dialogs, status_) {}

bool RunPresenter::confirm(Mode mode) { return mode != Mode::Function || confirmFunctionMode(status_, dialogs_); }

RunSummary RunPresenter::run(Mode mode) {
    MainWindowPostRun postRun(context_.controls, context_.paths, dialogs_, mode);
    const SystemRunClock clock;
    const QListWidget* poolList = context_.controls.poolList;
    RunSetup setup{context_.job, selectedPoolEntries(poolList), poolList->count(), context_.paths, status_,
                   dialogs_,     postRun,                       clock,            context_.makeHost};
    QWidget* parent = context_.mainWindow;
    setup.reviewCheck = [parent](const CheckReport& report, const Recheck& recheck) {
        return CheckWindow::ask(report, parent, recheck);
    };
    context_.controls.summaryNote->hide();
    RunSummary summary = runFromPool(setup, mode);
    forgetVanishedPoolFiles(context_.controls, context_.paths);
    if (summary.state == RunState::Finished) offerResultView(context_, summary.report);
    if (const IncompleteSummary& incomplete = context_.job.incompleteSummary; incomplete.incomplete()) {
        // What is saved can be looked at, after the question that says what is missing.
        context_.controls.summaryNote->setText(QString::fromStdString(run_text::incompleteSummaryLine(incomplete)));
        context_.controls.summaryNote->show();
        offerResultView(context_, summary.report);
    }
    status_.flush();
    return summary;
}

}  // namespace sbx
