#include "consolidate/windows/qt_status_view.h"

#include <initializer_list>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "consolidate/status_texts.h"
#include "consolidate/windows/main_window_access.h"

namespace sbx {

namespace {

constexpr const char* kZeroPercent = "0%";

// The labels and fields of each mode's panel, as the main window names them.
constexpr std::initializer_list<const char*> kEfficiencyPanel = {"Label19", "Label20", "Label21", "Label22",
                                                                  "Label23", "Text6",   "Text8",   "Text9"};
constexpr std::initializer_list<const char*> kFunctionPanel = {
    "Label2",  "Text1",   "Label6",  "Text3",   "Label7",  "Text4", "Label11", "Text2",  "Label15",
    "Label16", "Label17", "Label18", "Label19", "Label20", "Text5", "Text10",  "Text7"};
constexpr std::initializer_list<const char*> kWholePanel = {
    "Label2",  "Label6",  "Label7",  "Label11", "Label15", "Label16", "Label17", "Label18", "Label19",
    "Label20", "Label21", "Label22", "Label23", "Text1",   "Text2",   "Text3",   "Text4",   "Text5",
    "Text6",   "Text7",   "Text8",   "Text9",   "Text10"};

QString controlName(const char* prefix, int number) {
    return QString::fromLatin1(prefix) + QString::number(number);
}

}  // namespace

QtStatusView::QtStatusView(QWidget* mainWindow, std::chrono::milliseconds repaintEvery)
    : main_(mainWindow), repaintEvery_(repaintEvery) {
    // Every control is looked up once here, so a missing one shows before the run starts.
    for (const char* name : kWholePanel) widget(name);
    for (int number : {1, 2, 3, 4, 5, 6, 7}) button(number);
    for (const char* name : {"Image1", "Text11", "List1", "List2", "Label4", "Label10"}) widget(name);
    sinceRepaint_.start();
}

QWidget* QtStatusView::widget(const char* name) const { return mainWindowControl<QWidget>(main_, name); }

QLineEdit* QtStatusView::field(int number) const {
    const QByteArray name = controlName("Text", number).toLatin1();
    return mainWindowControl<QLineEdit>(main_, name.constData());
}

QLabel* QtStatusView::label(int number) const {
    const QByteArray name = controlName("Label", number).toLatin1();
    return mainWindowControl<QLabel>(main_, name.constData());
}

QPushButton* QtStatusView::button(int number) const {
    const QByteArray name = controlName("Command", number).toLatin1();
    return mainWindowControl<QPushButton>(main_, name.constData());
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
}

void QtStatusView::flush() {
    writePending();
    // Paint events and timers only: clicks and keys wait until the run has returned.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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
    field(11)->setText(qtText(text));
    repaintIfDue();
}

void QtStatusView::openEfficiencyPanel() {
    dropPending();
    widget("Image1")->hide();
    for (const char* name : kEfficiencyPanel) widget(name)->show();
    for (int number : {6, 8, 9}) field(number)->clear();
    button(7)->setText(QString());
    button(7)->show();
    label(20)->setText(QString::fromLatin1(kZeroPercent));
    flush();
}

void QtStatusView::closeEfficiencyPanel() {
    writePending();
    widget("Image1")->show();
    for (const char* name : kEfficiencyPanel) widget(name)->hide();
    flush();
}

void QtStatusView::showConsolidating(const std::string& worksheet, const std::string& file) {
    field(9)->setText(qtText(file));
    field(8)->setText(qtText(worksheet));
    repaintIfDue();
}

void QtStatusView::showConsolidationProgress(long long done, long long total) {
    consolidation_ = Progress{done, total, true};
    repaintIfDue();
}

void QtStatusView::openFunctionPanel() {
    dropPending();
    widget("Image1")->hide();
    for (const char* name : kFunctionPanel) widget(name)->show();
    button(7)->show();
    for (int number : {5, 10, 7}) field(number)->clear();
    button(7)->setText(QString());
    for (int number : {1, 2, 3, 4}) field(number)->clear();
    for (int number : {16, 18, 20}) label(number)->setText(QString::fromLatin1(kZeroPercent));
    button(6)->show();
    flush();
}

void QtStatusView::closeFunctionPanel() {
    writePending();
    widget("Image1")->show();
    for (const char* name : kFunctionPanel) widget(name)->hide();
    button(6)->hide();
    flush();
}

void QtStatusView::showReading(const std::string& worksheet, const std::string& file) {
    field(3)->setText(qtText(file));
    field(2)->setText(qtText(worksheet));
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

void QtStatusView::setProgressCaption(const std::string& text) {
    writePending();
    button(7)->setText(qtText(text));
    flush();
}

void QtStatusView::hideStatusPanel() {
    dropPending();
    for (const char* name : kWholePanel) widget(name)->hide();
    for (int number : {5, 6, 7}) button(number)->hide();
    widget("Image1")->show();
    flush();
}

void QtStatusView::addToRunList(const std::string& name) {
    mainWindowControl<QListWidget>(main_, "List2")->addItem(qtText(name));
    repaintIfDue();
}

void QtStatusView::showListCounts(int poolEntries, int runEntries) {
    label(4)->setText(signedCount(poolEntries));
    label(10)->setText(signedCount(runEntries));
    repaintIfDue();
}

void QtStatusView::focusExitButton() { button(1)->setFocus(); }

void QtStatusView::focusStartButton() { button(3)->setFocus(); }

void QtStatusView::disableJobButtons() {
    for (int number : {2, 3, 4}) button(number)->setEnabled(false);
}

void QtStatusView::disableAddFilesButton() { button(4)->setEnabled(false); }

}  // namespace sbx
