#pragma once
// The temporary files of saving: named after the process that writes them and a random
// number (.sbx-4711-123456789.tmp, at most 31 bytes, so that a file whose name is near the
// file system's limit of 255 bytes can still be replaced), so that what a killed process left
// behind can be told apart and removed by the next save into that folder, and removed at once
// when the process is interrupted by a signal that can be caught.
#include <filesystem>

namespace sbx {

// A new temporary name beside `target`.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target);

// Removes, beside `target`, the temporary files left by processes that no longer run (also
// those earlier versions named after the file they replaced, total.xls.sbx-4711-1.tmp), and the run folders (.shubuxing-run-N) that earlier versions of the command-line tool
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
