#include "consolidate/desktop/windows/qt_status_view.h"

#include <initializer_list>
#include <vector>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "consolidate/status/status_texts.h"
#include "consolidate/desktop/windows/qt_text.h"

namespace sbx {

namespace {

constexpr const char* kZeroPercent = "0%";

void setVisible(const std::vector<QWidget*>& widgets, bool visible) {
    for (QWidget* widget : widgets) widget->setVisible(visible);
}

// The last line's caption is shared by the two modes' bars: it names the one shown.
void nameLastBar(const StatusPanel& panel, const char* caption, const char* tooltip) {
    panel.write.caption->setText(QString::fromUtf8(caption));
    panel.write.caption->setToolTip(QString::fromUtf8(tooltip));
}

}  // namespace

QtStatusView::QtStatusView(const MainWindowControls& controls, std::chrono::milliseconds repaintEvery)
    : c_(controls), repaintEvery_(repaintEvery),
      guard_(std::make_unique<RunInputGuard>(controls.poolList->window(), controls.cancelRun, [this] {
          cancelled_ = true;
          c_.cancelRun->setEnabled(false);
      })) {
    sinceRepaint_.start();
}

QtStatusView::~QtStatusView() { showRunControls(false); }

void QtStatusView::showRunControls(bool visible) {
    if (visible) {
        cancelled_ = false;
        runTimePending_ = false;
        c_.runTime->clear();
        c_.cancelRun->setEnabled(true);
        c_.cancelRun->raise();
    }
    c_.runTime->setVisible(visible);
    c_.cancelRun->setVisible(visible);
    guard_->setActive(visible);
    holdOffControls(visible);
}

void QtStatusView::holdOffControls(bool hold) {
    if (hold && heldOff_.empty()) {
        for (QWidget* control : std::initializer_list<QWidget*>{c_.exitButton, c_.jobSetupButton, c_.startButton,
                                                                c_.addFilesButton, c_.exportButton, c_.resultButton,
                                                                c_.poolList, c_.runList}) {
            heldOff_.push_back({control, control->isEnabledTo(control->window())});
            control->setEnabled(false);
        }
    } else if (!hold) {
        for (const auto& [control, enabled] : heldOff_) {
            if (control) control->setEnabled(enabled);
        }
        heldOff_.clear();
    }
}

void QtStatusView::setEnabledAfterRun(QWidget* control, bool enabled) {
    for (auto& held : heldOff_) {
        if (held.first == control) {
            held.second = enabled;
            return;
        }
    }
    control->setEnabled(enabled);
}

namespace {

// A name too long for its field: its start and end with "…" between, the whole in the tooltip.
void showName(QLineEdit& field, const std::string& name) {
    const QString whole = qtText(name);
    const QMargins margins = field.textMargins();
    const int room = field.contentsRect().width() - margins.left() - margins.right() - 6;
    const QString shown = room > 0 ? field.fontMetrics().elidedText(whole, Qt::ElideMiddle, room) : whole;
    field.setText(shown);
    field.setToolTip(shown == whole ? QString() : whole);
}

}  // namespace

void QtStatusView::dropPending() {
    consolidation_ = overallRead_ = fileRead_ = write_ = Progress{};
    readCell_ = writtenCell_ = Cell{};
}

void QtStatusView::writePending() {
    const StatusPanel& panel = c_.status;
    auto bar = [&](Progress& p, QLineEdit* field, QLabel* percent, bool padded) {
        if (!p.pending) return;
        field->setText(qtText(padded ? paddedProgressBar(p.done, p.total) : progressBar(p.done, p.total)));
        percent->setText(qtText(percentText(p.done, p.total)));
        p.pending = false;
    };
    auto cell = [&](Cell& c, QLineEdit* field) {
        if (!c.pending) return;
        field->setText(qtText(cellText(c.column, c.row, c.last)));
        c.pending = false;
    };
    bar(consolidation_, panel.consolidationBar, panel.write.percent, false);
    bar(overallRead_, panel.worksheetRead.bar, panel.worksheetRead.percent, true);
    bar(fileRead_, panel.fileRead.bar, panel.fileRead.percent, false);
    bar(write_, panel.write.bar, panel.write.percent, false);
    cell(readCell_, panel.readCell.field);
    cell(writtenCell_, panel.writtenCell.field);
    if (runTimePending_) {
        c_.runTime->setText(qtText(runTimeText(runTime_)));
        runTimePending_ = false;
    }
}

void QtStatusView::flush() {
    writePending();
    // During a run the guard holds the input to the cancel button and Esc; otherwise paint
    // events and timers only.
    QCoreApplication::processEvents(guard_->active() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    ++repaints_;
    sinceRepaint_.restart();
}

void QtStatusView::repaintIfDue() {
    if (sinceRepaint_.elapsed() >= repaintEvery_.count()) flush();
}

void QtStatusView::cellShown() {
    // Cells come many thousands a second: the clock is read on every 64th only.
    if ((++cellCalls_ & 63u) == 0) repaintIfDue();
}

void QtStatusView::setHint(const std::string& text) {
    c_.hintBox->setText(qtText(text));
    repaintIfDue();
}

void QtStatusView::openEfficiencyPanel() {
    dropPending();
    const StatusPanel& panel = c_.status;
    c_.logo->hide();
    setVisible(panel.efficiencyMode(), true);
    for (QLineEdit* field : {panel.consolidationBar, panel.consolidatedWorksheet.field, panel.consolidatedFile.field}) {
        field->clear();
    }
    c_.progressButton->setText(QString());
    c_.progressButton->show();
    panel.write.percent->setText(QString::fromLatin1(kZeroPercent));
    nameLastBar(panel, bar_text::kConsolidation, bar_text::kConsolidationTip);
    showRunControls(true);
    flush();
}

void QtStatusView::closeEfficiencyPanel() {
    writePending();
    c_.logo->show();
    setVisible(c_.status.efficiencyMode(), false);
    showRunControls(false);
    flush();
}

void QtStatusView::showConsolidating(const std::string& worksheet, const std::string& file) {
    showName(*c_.status.consolidatedFile.field, file);
    showName(*c_.status.consolidatedWorksheet.field, worksheet);
    repaintIfDue();
}

void QtStatusView::showConsolidationProgress(long long done, long long total) {
    consolidation_ = Progress{done, total, true};
    repaintIfDue();
}

void QtStatusView::openFunctionPanel() {
    dropPending();
    const StatusPanel& panel = c_.status;
    c_.logo->hide();
    setVisible(panel.functionMode(), true);
    c_.progressButton->show();
    c_.progressButton->setText(QString());
    for (const ProgressLine* line : {&panel.worksheetRead, &panel.fileRead, &panel.write}) {
        line->bar->clear();
        line->percent->setText(QString::fromLatin1(kZeroPercent));
    }
    for (const StatusLine* line : {&panel.readCell, &panel.readWorksheet, &panel.readFile, &panel.writtenCell}) {
        line->field->clear();
    }
    c_.functionBar->show();
    nameLastBar(panel, bar_text::kWrite, bar_text::kWriteTip);
    showRunControls(true);
    flush();
}

void QtStatusView::closeFunctionPanel() {
    writePending();
    c_.logo->show();
    setVisible(c_.status.functionMode(), false);
    c_.functionBar->hide();
    showRunControls(false);
    flush();
}

void QtStatusView::showReading(const std::string& worksheet, const std::string& file) {
    showName(*c_.status.readFile.field, file);
    showName(*c_.status.readWorksheet.field, worksheet);
    repaintIfDue();
}

void QtStatusView::showOverallReadProgress(long long done, long long total) {
    overallRead_ = Progress{done, total, true};
    cellShown();
}

void QtStatusView::showFileReadProgress(long long done, long long total) {
    fileRead_ = Progress{done, total, true};
    cellShown();
}

void QtStatusView::showReadCell(int column, int row, bool last) {
    readCell_ = Cell{column, row, last, true};
    cellShown();
}

void QtStatusView::resetWriteProgress() {
    write_ = Progress{};
    c_.status.write.bar->clear();
    c_.status.write.percent->setText(QString::fromLatin1(kZeroPercent));
    repaintIfDue();
}

void QtStatusView::showWriteProgress(long long done, long long total) {
    write_ = Progress{done, total, true};
    cellShown();
}

void QtStatusView::showWrittenCell(int column, int row, bool last) {
    writtenCell_ = Cell{column, row, last, true};
    cellShown();
}

void QtStatusView::showRunTime(const RunTimeProgress& progress) {
    runTime_ = progress;
    runTimePending_ = true;
    repaintIfDue();
}

bool QtStatusView::cancelRequested() {
    // Asked between files only: the window's input gets through at each of them, while the
    // panel's numbers keep their repaint pace.
    if (guard_->active()) QCoreApplication::processEvents();
    repaintIfDue();
    return cancelled_;
}

void QtStatusView::setProgressCaption(const std::string& text) {
    writePending();
    c_.progressButton->setText(qtText(text));
    flush();
}

void QtStatusView::hideStatusPanel() {
    dropPending();
    setVisible(c_.status.all(), false);
    for (QPushButton* button : {c_.exportButton, c_.functionBar, c_.progressButton}) button->hide();
    c_.logo->show();
    showRunControls(false);
    flush();
}

void QtStatusView::addToRunList(const std::string& name) {
    c_.runList->addItem(qtText(name));
    repaintIfDue();
}

void QtStatusView::showListCounts(int poolEntries, int runEntries) {
    c_.poolCount->setText(signedCount(poolEntries));
    c_.runCount->setText(signedCount(runEntries));
    repaintIfDue();
}

void QtStatusView::focusExitButton() { c_.exitButton->setFocus(); }

void QtStatusView::focusStartButton() { c_.startButton->setFocus(); }

void QtStatusView::disableJobButtons() {
    for (QPushButton* button : {c_.jobSetupButton, c_.startButton, c_.addFilesButton}) setEnabledAfterRun(button, false);
}

void QtStatusView::disableAddFilesButton() { setEnabledAfterRun(c_.addFilesButton, false); }

}  // namespace sbx
