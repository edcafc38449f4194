#pragma once
// The status panel of the main window during a run. Per-cell calls only store the latest
// numbers; at most every `repaintEvery` they are turned into texts and the window gets to
// repaint. While a panel is open, the window's input gets through too, held to the cancel
// button and Esc (RunInputGuard); otherwise only timers and paint events run.
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include "consolidate/status/status_view.h"
#include "consolidate/desktop/windows/run_input_guard.h"
#include "ui/main_window_controls.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace sbx {

class QtStatusView final : public StatusView {
public:
    explicit QtStatusView(const MainWindowControls& controls,
                          std::chrono::milliseconds repaintEvery = std::chrono::milliseconds(50));
    ~QtStatusView() override;
    QtStatusView(const QtStatusView&) = delete;
    QtStatusView& operator=(const QtStatusView&) = delete;

    // Writes the pending numbers into the fields and lets the window repaint now.
    void flush();
    // How many times the window was given the chance to repaint.
    int repaints() const { return repaints_; }

    void setHint(const std::string& text) override;
    void openEfficiencyPanel() override;
    void closeEfficiencyPanel() override;
    void showConsolidating(const std::string& worksheet, const std::string& file) override;
    void showConsolidationProgress(long long done, long long total) override;
    void openFunctionPanel() override;
    void closeFunctionPanel() override;
    void showReading(const std::string& worksheet, const std::string& file) override;
    void showOverallReadProgress(long long done, long long total) override;
    void showFileReadProgress(long long done, long long total) override;
    void showReadCell(int column, int row, bool last) override;
    void resetWriteProgress() override;
    void showWriteProgress(long long done, long long total) override;
    void showWrittenCell(int column, int row, bool last) override;
    void showRunTime(const RunTimeProgress& progress) override;
    bool cancelRequested() override;
    void setProgressCaption(const std::string& text) override;
    void hideStatusPanel() override;
    void addToRunList(const std::string& name) override;
    void showListCounts(int poolEntries, int runEntries) override;
    void focusExitButton() override;
    void focusStartButton() override;
    void disableJobButtons() override;
    void disableAddFilesButton() override;

private:
    struct Progress {
        long long done = 0;
        long long total = 0;
        bool pending = false;
    };
    struct Cell {
        int column = 0;
        int row = 0;
        bool last = false;
        bool pending = false;
    };

    void dropPending();
    void writePending();
    void repaintIfDue();
    void cellShown();
    // The run's own controls: the time line and the cancel button, with the input guard.
    void showRunControls(bool visible);
    // While the guard holds their clicks off, the window's other controls look disabled too;
    // after the run each gets back its state from before, or the one the run gave it.
    void holdOffControls(bool hold);
    void setEnabledAfterRun(QWidget* control, bool enabled);

    const MainWindowControls& c_;
    std::chrono::milliseconds repaintEvery_;
    QElapsedTimer sinceRepaint_;
    int repaints_ = 0;
    unsigned cellCalls_ = 0;
    Progress consolidation_, overallRead_, fileRead_, write_;
    Cell readCell_, writtenCell_;
    RunTimeProgress runTime_;
    bool runTimePending_ = false;
    bool cancelled_ = false;
    std::unique_ptr<RunInputGuard> guard_;
    std::vector<std::pair<QPointer<QWidget>, bool>> heldOff_;
};

}  // namespace sbx
