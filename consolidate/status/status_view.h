#pragma once
// What a run shows while it works: the main window's status panel, hint box, run list and
// counts, the progress caption, and a few buttons. The desktop windows, the
// command-line tool and the tests each implement it.
//
// Calls come per cell (hundreds of thousands a second), so they carry numbers, not texts:
// an implementation stores the latest values and turns them into texts (status_texts.h)
// only when it repaints, at most about every 50 ms. A window that repaints on every call
// makes the run as slow as its painting.
#include <optional>
#include <string>

namespace sbx {

// How far a run is and how long it still needs, as shown above the status panel's bars.
struct RunTimeProgress {
    long long filesDone = 0;  // files taken in over the whole run (a file counts once per worksheet)
    long long files = 0;      // of files x worksheets
    int worksheet = 0;        // the worksheet being done, from 1
    int worksheets = 0;
    long long elapsedSeconds = 0;
    std::optional<long long> secondsLeft;  // nothing until there is enough to go by
};

class StatusView {
public:
    virtual ~StatusView() = default;

    // The hint box.
    virtual void setHint(const std::string& text) = 0;

    // Efficiency mode's panel in place of the logo: the worksheet and the file being taken
    // in and the bar of files taken in, all cleared, the share "0%"; the progress caption
    // shown, empty.
    virtual void openEfficiencyPanel() = 0;
    // After its worksheets: the logo again. The progress caption stays.
    virtual void closeEfficiencyPanel() = 0;
    // The worksheet and the file being taken in.
    virtual void showConsolidating(const std::string& worksheet, const std::string& file) = 0;
    // The bar = progressBar(done, total), its share = percentText(done, total).
    virtual void showConsolidationProgress(long long done, long long total) = 0;

    // Function mode's panel in place of the logo: the worksheet, the file and the cell being
    // read, the cell being written, and the three bars (cells read for the worksheet, cells
    // read from the file, cells written), all cleared, each share "0%"; the progress caption,
    // empty, and the thin bar under it shown.
    virtual void openFunctionPanel() = 0;
    // After its worksheets: the logo again, the thin bar hidden. The progress caption stays.
    virtual void closeFunctionPanel() = 0;
    // The worksheet and the file of the source being read.
    virtual void showReading(const std::string& worksheet, const std::string& file) = 0;
    // paddedProgressBar and percentText: cells read for this worksheet over all files.
    virtual void showOverallReadProgress(long long done, long long total) = 0;
    // progressBar and percentText: cells read from the current file.
    virtual void showFileReadProgress(long long done, long long total) = 0;
    // cellText(column, row, last): the cell being read.
    virtual void showReadCell(int column, int row, bool last) = 0;
    // The write bar cleared, its share "0%": a new worksheet's writing has not started.
    virtual void resetWriteProgress() = 0;
    // progressBar and percentText: cells written for this worksheet.
    virtual void showWriteProgress(long long done, long long total) = 0;
    // cellText(column, row, last): the cell being written.
    virtual void showWrittenCell(int column, int row, bool last) = 0;

    // The files done of the run, its elapsed time and the time left (runTimeText). Comes with
    // the other progress calls; an implementation paints it at its own pace.
    virtual void showRunTime(const RunTimeProgress& /*progress*/) {}
    // Asked between files: whether the user asked to cancel the run. A window lets its input
    // through here.
    virtual bool cancelRequested() { return false; }

    // The progress caption under the panel (progressCaption).
    virtual void setProgressCaption(const std::string& text) = 0;

    // After a failed run: hide the whole status panel (every line of both modes), the export
    // button, the thin bar and the progress caption; show the logo.
    virtual void hideStatusPanel() = 0;

    // Appends a file name to the run list.
    virtual void addToRunList(const std::string& name) = 0;
    // The entries of the pool list and of the run list, with one leading blank.
    virtual void showListCounts(int poolEntries, int runEntries) = 0;

    // Focus moves and button states the runs set.
    virtual void focusExitButton() = 0;       // "退出系统"
    virtual void focusStartButton() = 0;      // "开 始 汇 表"
    virtual void disableJobButtons() = 0;     // 环境设定, 开始汇表, 添加文件
    virtual void disableAddFilesButton() = 0; // 添加文件
};

}  // namespace sbx
