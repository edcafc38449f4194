#pragma once
// The run's events shown on the desktop's status panel, in each mode's own fields: the file
// being taken in and the share of the selected files done (efficiency mode); the file and
// cell being read, the cells read of the worksheet and of the file, the cells written
// (function mode); the progress caption with the elapsed time after each worksheet.
#include <filesystem>
#include <string>

#include "consolidate/status/run_clock.h"
#include "consolidate/run/run_request.h"
#include "consolidate/status/status_view.h"
#include "consolidate/status/time_left.h"

namespace sbx {

class StatusViewEvents final : public RunEvents {
public:
    // `selectedCount`: the divisor of the progress shares (the selected entries of the pool
    // list), which may be more than the files found.
    StatusViewEvents(StatusView& status, const RunClock& clock, Mode mode, long long selectedCount)
        : status_(status), clock_(clock), mode_(mode), selected_(selectedCount) {}

    void worksheetStarted(int index, int count, const SheetJob& sheet) override;
    void fileStarted(int index, int count, const std::filesystem::path& file) override;
    void fileDone(int index, int count, const std::filesystem::path& file, bool contributed) override;
    void cellRead(CellAddress cell, long long done, long long total) override;
    void cellWritten(CellAddress cell, long long done, long long total) override;
    void worksheetFinished(int index, int count, const WorksheetOutcome& outcome) override;
    bool cancelled() const override { return status_.cancelRequested(); }

    // The file examined last, by bare name (empty before the first).
    const std::string& currentFile() const { return currentFile_; }

private:
    // The run's files done (with `fileShare` of the current one), elapsed time and time left.
    void showRunTime(double fileShare);

    StatusView& status_;
    const RunClock& clock_;
    Mode mode_;
    long long selected_;
    std::string worksheet_;
    std::string currentFile_;
    long long cellsPerFile_ = 0;
    long long filesBefore_ = 0;  // files read of this worksheet before the current one
    TimeOfDay worksheetStart_;
    ElapsedTime elapsed_;
    int worksheetIndex_ = 0;
    int worksheets_ = 0;
    long long filesPerWorksheet_ = 0;
    long long filesDone_ = 0;  // over the run
    unsigned cellCalls_ = 0;
    std::chrono::milliseconds runStart_{0};
    TimeLeftEstimate timeLeft_;
};

}  // namespace sbx
