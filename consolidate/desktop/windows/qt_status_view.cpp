#include "consolidate/desktop/windows/qt_status_view.h"

#include <initializer_list>

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

// The labels (by number) and fields (by number) of each mode's panel.
struct Panel {
    std::initializer_list<int> labels;
    std::initializer_list<int> fields;
};
constexpr Panel kEfficiencyPanel{{19, 20, 21, 22, 23}, {6, 8, 9}};
constexpr Panel kFunctionPanel{{2, 6, 7, 11, 15, 16, 17, 18, 19, 20}, {1, 3, 4, 2, 5, 10, 7}};
constexpr Panel kWholePanel{{2, 6, 7, 11, 15, 16, 17, 18, 19, 20, 21, 22, 23}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}};

void showPanel(const MainWindowControls& c, const Panel& panel, bool visible) {
    for (int number : panel.labels) c.statusLabels.at(static_cast<size_t>(number))->setVisible(visible);
    for (int number : panel.fields) c.statusFields.at(static_cast<size_t>(number))->setVisible(visible);
}

}  // namespace

QtStatusView::QtStatusView(const MainWindowControls& controls, std::chrono::milliseconds repaintEvery)
    : c_(controls), repaintEvery_(repaintEvery),
      guard_(std::make_unique<RunInputGuard>(controls.list1->window(), controls.cancelRun, [this] {
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

QLineEdit* QtStatusView::field(int number) const { return c_.statusFields.at(static_cast<size_t>(number)); }

QLabel* QtStatusView::label(int number) const { return c_.statusLabels.at(static_cast<size_t>(number)); }

QPushButton* QtStatusView::button(int number) const {
    QPushButton* const buttons[] = {nullptr, c_.command1, c_.command2, c_.command3, c_.command4,
                                    c_.command5, c_.command6, c_.command7};
    return buttons[number];
}

void QtStatusView::dropPending() {
    consolidation_ = overallRead_ = fileRead_ = write_ = Progress{};
    readCell_ = writtenCell_ = Cell{};
}

void QtStatusView::writePending() {
    auto bar = [&](Progress& p, int text, int percent, bool padded) {
        if (!p.pending) return;
        field(text)->setText(qtText(padded ? paddedProgressBar(p.done, p.total) : progressBar(p.done, p.total)));
        label(percent)->setText(qtText(percentText(p.done, p.total)));
        p.pending = false;
    };
    auto cell = [&](Cell& c, int text) {
        if (!c.pending) return;
        field(text)->setText(qtText(cellText(c.column, c.row, c.last)));
        c.pending = false;
    };
    bar(consolidation_, 6, 20, false);
    bar(overallRead_, 5, 16, true);
    bar(fileRead_, 7, 18, false);
    bar(write_, 10, 20, false);
    cell(readCell_, 1);
    cell(writtenCell_, 4);
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
    c_.text11->setText(qtText(text));
    repaintIfDue();
}

void QtStatusView::openEfficiencyPanel() {
    dropPending();
    c_.image1->hide();
    showPanel(c_, kEfficiencyPanel, true);
    for (int number : {6, 8, 9}) field(number)->clear();
    button(7)->setText(QString());
    button(7)->show();
    label(20)->setText(QString::fromLatin1(kZeroPercent));
    showRunControls(true);
    flush();
}

void QtStatusView::closeEfficiencyPanel() {
    writePending();
    c_.image1->show();
    showPanel(c_, kEfficiencyPanel, false);
    showRunControls(false);
    flush();
}

void QtStatusView::showConsolidating(const std::string& worksheet, const std::string& file) {
    showName(*field(9), file);
    showName(*field(8), worksheet);
    repaintIfDue();
}

void QtStatusView::showConsolidationProgress(long long done, long long total) {
    consolidation_ = Progress{done, total, true};
    repaintIfDue();
}

void QtStatusView::openFunctionPanel() {
    dropPending();
    c_.image1->hide();
    showPanel(c_, kFunctionPanel, true);
    button(7)->show();
    for (int number : {5, 10, 7}) field(number)->clear();
    button(7)->setText(QString());
    for (int number : {1, 2, 3, 4}) field(number)->clear();
    for (int number : {16, 18, 20}) label(number)->setText(QString::fromLatin1(kZeroPercent));
    button(6)->show();
    showRunControls(true);
    flush();
}

void QtStatusView::closeFunctionPanel() {
    writePending();
    c_.image1->show();
    showPanel(c_, kFunctionPanel, false);
    button(6)->hide();
    showRunControls(false);
    flush();
}

void QtStatusView::showReading(const std::string& worksheet, const std::string& file) {
    showName(*field(3), file);
    showName(*field(2), worksheet);
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
    field(10)->clear();
    label(20)->setText(QString::fromLatin1(kZeroPercent));
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
    button(7)->setText(qtText(text));
    flush();
}

void QtStatusView::hideStatusPanel() {
    dropPending();
    showPanel(c_, kWholePanel, false);
    for (int number : {5, 6, 7}) button(number)->hide();
    c_.image1->show();
    showRunControls(false);
    flush();
}

void QtStatusView::addToRunList(const std::string& name) {
    c_.list2->addItem(qtText(name));
    repaintIfDue();
}

void QtStatusView::showListCounts(int poolEntries, int runEntries) {
    c_.label4->setText(signedCount(poolEntries));
    c_.label10->setText(signedCount(runEntries));
    repaintIfDue();
}

void QtStatusView::focusExitButton() { button(1)->setFocus(); }

void QtStatusView::focusStartButton() { button(3)->setFocus(); }

void QtStatusView::disableJobButtons() {
    for (int number : {2, 3, 4}) button(number)->setEnabled(false);
}

void QtStatusView::disableAddFilesButton() { button(4)->setEnabled(false); }

}  // namespace sbx
