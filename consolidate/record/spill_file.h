#pragma once
// A temporary file that text is appended to and read back from at any offset: where the run
// record's cell lists go when they outgrow their memory. Named as the temporary files of
// saving are (so that what a killed process left is cleared by the next save beside it, and a
// caught signal removes it), and removed when done.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

#include "spreadsheet/temporary_files.h"

namespace sbx {

class SpillFile {
public:
    // Creates the file beside `target`; throws std::runtime_error naming it when it cannot.
    explicit SpillFile(const std::filesystem::path& target);
    ~SpillFile();  // removes the file
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Bytes written so far: where the next append goes.
    uint64_t size() const { return size_; }
    void append(std::string_view text);
    // Reads `length` bytes at `offset` into `to`.
    void read(uint64_t offset, char* to, size_t length);
    // Whether an append failed; the one error a batch of appends checks for, naming the file.
    void checkWritten();

private:
    [[noreturn]] void fail(std::string_view what);

    std::filesystem::path path_;
    std::unique_ptr<PendingTemporary> pending_;
    std::fstream file_;
    uint64_t size_ = 0;
    bool reading_ = false;
};

}  // namespace sbx
