#pragma once
// The summary file as it was before a run, so that a cancelled run can leave it so: a run
// that saves after each worksheet has already written some of its totals when it is
// cancelled. It works on the file on disk, where the engine saves the summary.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sbx {

class SummaryBeforeRun {
public:
    // Reads the file's bytes now; a file that is not there is remembered as absent.
    explicit SummaryBeforeRun(std::filesystem::path summary);

    // Puts the file back as it was read (in one step), or removes it when it was absent.
    // Empty on success, else what failed and why.
    std::string restore() const;

private:
    std::filesystem::path summary_;
    std::optional<std::vector<uint8_t>> bytes_;  // nullopt: there was no file
    std::string unreadable_;                     // why the file could not be read, if so
};

}  // namespace sbx
