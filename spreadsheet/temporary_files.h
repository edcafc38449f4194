#pragma once
// The temporary files of saving: named after the file they replace and the process that
// writes them (total.xls.sbx-4711-123456.tmp), so that what a killed process left behind can
// be told apart and removed by the next save into that folder, and removed at once when the
// process is interrupted by a signal that can be caught.
#include <filesystem>

namespace sbx {

// A new temporary name beside `target`.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target);

// Removes, beside `target`, the temporary files of `target` left by processes that no longer
// run, and the run folders (.shubuxing-run-N) that earlier versions of the command-line tool
// left when they were killed. Errors are ignored: this is housekeeping.
void removeLeftoversBeside(const std::filesystem::path& target);

// While a temporary file is being written, it is named here so that a SIGINT, SIGTERM or
// SIGHUP removes it before the process ends. A few at once, from any thread.
class PendingTemporary {
public:
    explicit PendingTemporary(const std::filesystem::path& file);
    ~PendingTemporary();
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;

private:
    int slot_ = -1;
};

// Installs the handlers that remove a pending temporary file: signals on POSIX, console events
// (Ctrl+C, a closed console window, logging off) on Windows.
// Called once by each program at start.
void removeTemporaryFilesOnSignals();

}  // namespace sbx
