#include "job/windows/job_windows.h"

#include <QWidget>
#include <exception>

#include "job/sheet_names.h"
#include "job/windows/remembered_job.h"
#include "job/windows/sheet_selection_window.h"
#include "ui/window_placement.h"
#include "workspace/summary_template.h"
#include "workspace/workbook_error_text.h"

namespace sbx {
namespace {

// The summary workbook's worksheet names, read on a host of their own.
void readSheetNames(const JobWindowContext& context) {
    auto host = context.makeHost();
    Workbook& book = host->open(context.paths.summaryWorkbook());
    JobDefinition& job = context.job;
    job.sheetNames.clear();
    for (int k = 1; k <= book.worksheetCount(); ++k) job.sheetNames.push_back(book.worksheet(k).name());
    host->close(book, true);
    host->quit();
}

}  // namespace

void startJobSetup(const JobWindowContext& context) {
    try {
        readSheetNames(context);
    } catch (const std::exception& error) {
        // The summary is a unit's copy: the message names that unit's file too.
        context.dialogs.message(errorTextForUser(error) + summaryMadeFromText(context.paths));
        return;
    }
    offerRememberedJob(context);
    if (context.jobSetupButton != nullptr) context.jobSetupButton->setEnabled(false);
    // A selection window left open after the limit message is shown again as it is.
    SheetSelectionWindow* window = SheetSelectionWindow::findOpen();
    if (window == nullptr) {
        window = new SheetSelectionWindow(context);
        placeOver(*window, context.mainWindow);
    }
    window->show();
    window->raise();
    window->activateWindow();
    if (context.setHint) context.setHint("请根据需要选择所需汇总合并的工作表!");
}

}  // namespace sbx
