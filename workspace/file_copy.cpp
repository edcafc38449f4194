#include "workspace/file_copy.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <random>
#include <string_view>

#include "spreadsheet/atomic_file.h"
#include "spreadsheet/utf8_path.h"
#include "workspace/file_kind.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

// The reason of the last failed stream operation; streams set errno on the systems we build for.
std::error_code lastError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

bool fileExists(const fs::path& file) {
    std::error_code error;
    return fs::exists(fs::symlink_status(file, error));
}

// A name for the temporary file beside `target`: not a pool file name (it ends in ".tmp"),
// hard to meet by chance, and short (~sbx-<12 hex digits>.tmp), so that a target whose name
// is near the file system's limit of 255 bytes can still be copied to.
fs::path temporaryBeside(const fs::path& target, std::mt19937_64& random) {
    constexpr std::string_view digits = "0123456789abcdef";
    std::string tag;
    for (int i = 0; i < 12; ++i) tag.push_back(digits[static_cast<std::size_t>(random() % digits.size())]);
    return target.parent_path() / ("~sbx-" + tag + ".tmp");
}

}  // namespace

std::error_code copyFileContents(const fs::path& from, const fs::path& to) {
    // Opening a FIFO would wait for a writer; a folder or device is no workbook either.
    if (!isRegularWorkbookFile(from)) {
        std::error_code ec;
        return std::make_error_code(fs::is_directory(from, ec) ? std::errc::is_a_directory : std::errc::invalid_argument);
    }
    std::error_code exists;
    if (fs::exists(fs::symlink_status(to, exists))) return std::make_error_code(std::errc::file_exists);
    // Bytes only: the new file gets the user's default permissions (the umask), not those of
    // the source, so a read-only pool file still gives a writable summary.
    errno = 0;
    std::ifstream in(from, std::ios::binary);
    if (!in) return lastError();
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out) return lastError();
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got > 0 && !out.write(buffer.data(), got)) return lastError();
    }
    if (in.bad()) return lastError();
    out.close();
    if (!out) return lastError();
    return {};
}

std::error_code replaceFile(const fs::path& source, const fs::path& target, const FileCopy& copy) {
    std::random_device seed;
    std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    fs::path temporary = temporaryBeside(target, random);
    for (int attempt = 0; attempt < 8 && fileExists(temporary); ++attempt) temporary = temporaryBeside(target, random);

    std::error_code error = copy(source, temporary);
    // The copy reaches the disk before it takes the old file's place: after a power cut the
    // target is the old file or the whole new one.
    if (!error) {
        if (const int flushError = flushFileToDisk(temporary)) error = std::error_code(flushError, std::generic_category());
    }
    if (!error) fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return error;
}

bool sameFileContents(const fs::path& a, const fs::path& b) {
    std::error_code e1, e2;
    if (fs::file_size(a, e1) != fs::file_size(b, e2) || e1 || e2) return false;
    std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
    std::array<char, 65536> x{}, y{};
    while (left && right) {
        left.read(x.data(), x.size());
        right.read(y.data(), y.size());
        if (left.gcount() != right.gcount() || !std::equal(x.begin(), x.begin() + left.gcount(), y.begin())) return false;
    }
    return !left.bad() && !right.bad() && left.eof() && right.eof();
}

bool sameFileOnDisk(const fs::path& a, const fs::path& b) {
    std::error_code error;
    const bool same = fs::equivalent(a, b, error);
    return !error && same;
}

}  // namespace sbx
