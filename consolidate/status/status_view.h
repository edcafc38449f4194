#pragma once
// What a run shows while it works: the main window's status panel, hint box, run list and
// counts, the progress caption of Command7, and a few buttons. The desktop windows, the
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

    // Text11, the hint box.
    virtual void setHint(const std::string& text) = 0;

    // Efficiency mode's panel: hide Image1; show Label19 to Label23 and the fields Text6,
    // Text8, Text9, all three cleared; show Command7 with an empty caption; Label20 "0%".
    virtual void openEfficiencyPanel() = 0;
    // After its worksheets: show Image1; hide Label19 to Label23, Text6, Text8, Text9.
    // Command7 keeps its caption.
    virtual void closeEfficiencyPanel() = 0;
    // Text8 (worksheet) and Text9 (file) of the file being taken in.
    virtual void showConsolidating(const std::string& worksheet, const std::string& file) = 0;
    // Text6 = progressBar(done, total), Label20 = percentText(done, total).
    virtual void showConsolidationProgress(long long done, long long total) = 0;

    // Function mode's panel: hide Image1; show Label2, Text1, Label6, Text3, Label7, Text4,
    // Label11, Text2, Label15 to Label20, Text5, Text10, Text7, Command7 and Command6; clear
    // Text5, Text10, Text7, Command7's caption, Text1, Text2, Text3, Text4; Label16, Label18
    // and Label20 "0%".
    virtual void openFunctionPanel() = 0;
    // After its worksheets: show Image1; hide Label2, Text1, Label6, Text3, Label7, Text4,
    // Label11, Text2, Label15 to Label20, Text5, Text10, Text7 and Command6. Command7 stays.
    virtual void closeFunctionPanel() = 0;
    // Text2 (worksheet) and Text3 (file) of the source being read.
    virtual void showReading(const std::string& worksheet, const std::string& file) = 0;
    // Text5 = paddedProgressBar, Label16 = percentText: cells read for this worksheet over
    // all files.
    virtual void showOverallReadProgress(long long done, long long total) = 0;
    // Text7 = progressBar, Label18 = percentText: cells read from the current file.
    virtual void showFileReadProgress(long long done, long long total) = 0;
    // Text1 = cellText(column, row, last): the cell being read.
    virtual void showReadCell(int column, int row, bool last) = 0;
    // Text10 cleared, Label20 "0%": a new worksheet's writing has not started.
    virtual void resetWriteProgress() = 0;
    // Text10 = progressBar, Label20 = percentText: cells written for this worksheet.
    virtual void showWriteProgress(long long done, long long total) = 0;
    // Text4 = cellText(column, row, last): the cell being written.
    virtual void showWrittenCell(int column, int row, bool last) = 0;

    // The files done of the run, its elapsed time and the time left (runTimeText). Comes with
    // the other progress calls; an implementation paints it at its own pace.
    virtual void showRunTime(const RunTimeProgress& /*progress*/) {}
    // Asked between files: whether the user asked to cancel the run. A window lets its input
    // through here.
    virtual bool cancelRequested() { return false; }

    // Command7's caption (progressCaption).
    virtual void setProgressCaption(const std::string& text) = 0;

    // After a failed run: hide the whole status panel (every label and field of both modes)
    // and Command5, Command6, Command7; show Image1.
    virtual void hideStatusPanel() = 0;

    // Appends a file name to the run list List2.
    virtual void addToRunList(const std::string& name) = 0;
    // Label4 (entries of List1) and Label10 (entries of List2), with one leading blank.
    virtual void showListCounts(int poolEntries, int runEntries) = 0;

    // Focus moves and button states the runs set.
    virtual void focusExitButton() = 0;       // Command1 "退出系统"
    virtual void focusStartButton() = 0;      // Command3 "开 始 汇 表"
    virtual void disableJobButtons() = 0;     // Command2, Command3, Command4
    virtual void disableAddFilesButton() = 0; // Command4
};

}  // namespace sbx
