#pragma once
// SHA-256 of a file's bytes, for telling one report sent twice and for the run record.
#include <filesystem>
#include <cstdint>
#include <memory>
#include <optional>
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

// A quick fingerprint of `bytes` (two 64-bit lanes over 8-byte words, and the length), for
// telling whether a file read again is the bytes read the first time: any change of one word
// changes it, and other changes are missed about once in 2^64. Some ten times faster than
// SHA-256, which a run re-reading thousands of sources would spend most of its reading on.
struct Fingerprint {
    uint64_t a = 0, b = 0, size = 0;
    bool operator==(const Fingerprint&) const = default;
};
Fingerprint fingerprintOf(std::span<const uint8_t> bytes);

// Digests of files worked out on a thread of their own from the bytes the engine read to
// parse them, so that hashing costs no second read and, on a machine of several cores, no
// waiting: the files are parsed meanwhile.
class BackgroundDigests {
public:
    BackgroundDigests();
    ~BackgroundDigests();  // waits for the digests under way
    BackgroundDigests(const BackgroundDigests&) = delete;
    BackgroundDigests& operator=(const BackgroundDigests&) = delete;

    // Hashes `bytes` as the content of `file` (the first bytes given for a file count), with
    // their fingerprint too when `fingerprint` (the file may be read again); false when bytes of
    // `file` were given before, and these are not hashed.
    bool add(const std::filesystem::path& file, FileBytes bytes, bool fingerprint = true);
    // The digest of the bytes given for `file`, waiting for it; empty if none were given.
    std::string digestOf(const std::filesystem::path& file);
    // The fingerprint of those bytes, waiting for it; nullopt if none were given, none was
    // asked for or they could not be hashed.
    std::optional<Fingerprint> fingerprintOf(const std::filesystem::path& file);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sbx
