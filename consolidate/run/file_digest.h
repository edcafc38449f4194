#pragma once
// SHA-256 of a file's bytes, for telling one report sent twice and for the run record.
#include <filesystem>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

// Lower-case hex digest of the file; throws WorkbookError (Unreadable or FileNotFound) naming
// the file when it cannot be read.
std::string sha256OfFile(const std::filesystem::path& file);

// Lower-case hex digest of `bytes`.
std::string sha256Of(std::string_view bytes);
std::string sha256Of(std::span<const uint8_t> bytes);

// Digests of files worked out on a thread of their own from the bytes the engine read to
// parse them, so that hashing costs no second read and, on a machine of several cores, no
// waiting: the files are parsed meanwhile.
class BackgroundDigests {
public:
    BackgroundDigests();
    ~BackgroundDigests();  // waits for the digests under way
    BackgroundDigests(const BackgroundDigests&) = delete;
    BackgroundDigests& operator=(const BackgroundDigests&) = delete;

    // Hashes `bytes` as the content of `file` (the first bytes given for a file count); false
    // when bytes of `file` were given before, and these are not hashed.
    bool add(const std::filesystem::path& file, FileBytes bytes);
    // The digest of the bytes given for `file`, waiting for it; empty if none were given.
    std::string digestOf(const std::filesystem::path& file);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sbx
