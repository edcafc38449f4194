#include "consolidate/status/status_view_events.h"

#include "consolidate/status/status_texts.h"
#include "spreadsheet/utf8_path.h"

namespace sbx {

void StatusViewEvents::showRunTime(double fileShare) {
    const auto elapsed = clock_.steadyNow() - runStart_;
    const long long files = filesPerWorksheet_ * worksheets_;
    timeLeft_.update(static_cast<double>(filesDone_) + fileShare, static_cast<double>(files), elapsed);
    // The files of the worksheet under way: a file read for two worksheets is still one file.
    RunTimeProgress progress{filesBefore_, filesPerWorksheet_, worksheetIndex_, worksheets_,
                             std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), std::nullopt};
    if (const auto left = timeLeft_.timeLeft()) progress.secondsLeft = left->count();
    status_.showRunTime(progress);
}

void StatusViewEvents::worksheetStarted(int index, int count, const SheetJob& sheet) {
    if (index == 1) runStart_ = clock_.steadyNow();
    worksheetIndex_ = index;
    worksheets_ = count;
    worksheetStart_ = clock_.now();
    worksheet_ = sheet.worksheet;
    cellsPerFile_ = sheet.area.cellCount();
    filesBefore_ = 0;
    if (mode_ == Mode::Function) status_.resetWriteProgress();
}

void StatusViewEvents::fileStarted(int, int count, const std::filesystem::path& file) {
    currentFile_ = utf8String(file.filename());
    filesPerWorksheet_ = count;
    showRunTime(0);
    if (mode_ == Mode::Efficiency) {
        status_.showConsolidating(worksheet_, currentFile_);
    } else {
        status_.showReading(worksheet_, currentFile_);
    }
}

void StatusViewEvents::fileDone(int index, int, const std::filesystem::path&, bool) {
    if (mode_ == Mode::Efficiency) status_.showConsolidationProgress(index, selected_);
    filesBefore_ = index;
    ++filesDone_;
    showRunTime(0);
}

void StatusViewEvents::cellRead(CellAddress cell, long long done, long long total) {
    status_.showOverallReadProgress(filesBefore_ * cellsPerFile_ + done, selected_ * cellsPerFile_);
    status_.showFileReadProgress(done, total);
    status_.showReadCell(cell.column, cell.row, done == total);
    // The clock is read on every 1024th cell only.
    if ((++cellCalls_ & 1023u) == 0 && total > 0) showRunTime(static_cast<double>(done) / static_cast<double>(total));
}

void StatusViewEvents::cellWritten(CellAddress cell, long long done, long long total) {
    status_.showWriteProgress(done, total);
    status_.showWrittenCell(cell.column, cell.row, done == total);
}

void StatusViewEvents::worksheetFinished(int index, int count, const WorksheetOutcome&) {
    elapsed_.add(worksheetStart_, clock_.now());
    status_.setProgressCaption(progressCaption(index, count, elapsed_.text()));
}

}  // namespace sbx
