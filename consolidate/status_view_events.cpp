#include "consolidate/status_view_events.h"

#include "consolidate/status_texts.h"
#include "spreadsheet/utf8_path.h"

namespace sbx {

void StatusViewEvents::worksheetStarted(int, int, const SheetJob& sheet) {
    worksheetStart_ = clock_.now();
    worksheet_ = sheet.worksheet;
    cellsPerFile_ = sheet.area.cellCount();
    filesBefore_ = 0;
    if (mode_ == Mode::Function) status_.resetWriteProgress();
}

void StatusViewEvents::fileStarted(int, int, const std::filesystem::path& file) {
    currentFile_ = utf8String(file.filename());
    if (mode_ == Mode::Efficiency) {
        status_.showConsolidating(worksheet_, currentFile_);
    } else {
        status_.showReading(worksheet_, currentFile_);
    }
}

void StatusViewEvents::fileDone(int index, int, const std::filesystem::path&, bool) {
    if (mode_ == Mode::Efficiency) status_.showConsolidationProgress(index, selected_);
    filesBefore_ = index;
}

void StatusViewEvents::cellRead(CellAddress cell, long long done, long long total) {
    status_.showOverallReadProgress(filesBefore_ * cellsPerFile_ + done, selected_ * cellsPerFile_);
    status_.showFileReadProgress(done, total);
    status_.showReadCell(cell.column, cell.row, done == total);
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
