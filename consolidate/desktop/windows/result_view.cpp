#include "consolidate/desktop/windows/result_view.h"

#include <memory>

#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

#include "consolidate/run/run_messages.h"
#include "consolidate/desktop/windows/contributions_window.h"
#include "consolidate/run/written_cells.h"
#include "spreadsheet/workbook_error.h"
#include "ui/workbook_viewer.h"
#include "workspace/workbook_error_text.h"

namespace sbx {
namespace {

void lookAtResult(const RunWindowContext& context, const std::shared_ptr<const WrittenCells>& written) {
    if (const IncompleteSummary& incomplete = context.job.incompleteSummary;
        incomplete.incomplete() &&
        !context.dialogs.askYesNo(run_text::incompleteSummaryQuestion(incomplete, "查看"), Risk::Harmless)) {
        return;
    }
    ViewerExtras extras;
    extras.marked = [written](const std::string& sheet, int row, int column) { return written->contains(sheet, row, column); };
    extras.kept = [written](const std::string& sheet, int row, int column) { return written->refused(sheet, row, column); };
    if (!written->empty()) {
        extras.startSheet = written->first().worksheet;
        extras.startCell = written->first().area.first();
    }
    // A written cell tells where its total came from, from the run's record.
    const std::filesystem::path summary = context.paths.summaryWorkbook();
    extras.cellMenu = [written, summary](QMenu& menu, const std::string& sheet, CellAddress cell) {
        if (!written->contains(sheet, cell.row, cell.column)) return;
        QPointer<QWidget> viewer = menu.parentWidget();
        auto* look = qobject_cast<WorkbookViewer*>(viewer.data());
        const std::string format = look != nullptr ? look->numberFormat(sheet, cell) : std::string("General");
        menu.addAction(QString::fromUtf8("查看来源"), [viewer, summary, sheet, cell, format] {
            if (viewer) showContributions(viewer, summary, QString::fromStdString(sheet), cell, format);
        });
    };
    DialogsPort& dialogs = context.dialogs;
    extras.openFolder = [&dialogs, open = context.openUrl](const QUrl& folder) {
        if (!open(folder)) dialogs.message("无法打开文件夹：" + folder.toLocalFile().toStdString());
    };
    try {
        lookAtWorkbook(dialogs, context.makeHost, summary, extras);
    } catch (const WorkbookError& error) {
        dialogs.message(workbookErrorText(error));
    }
}

}  // namespace

void offerResultView(const RunWindowContext& context, const RunReport& report) {
    QPushButton* button = context.controls.resultButton;
    QObject::disconnect(button, &QPushButton::clicked, nullptr, nullptr);
    auto written = std::make_shared<const WrittenCells>(report);
    QObject::connect(button, &QPushButton::clicked, context.mainWindow,
                     [context, written] { lookAtResult(context, written); });
    button->show();
    button->setEnabled(true);
}

void withdrawResultView(const MainWindowControls& controls) { controls.resultButton->hide(); }

}  // namespace sbx
