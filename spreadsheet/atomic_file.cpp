#include "spreadsheet/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include "spreadsheet/file_moves.h"
#include "spreadsheet/temporary_files.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

#ifdef _WIN32
// Shared for deletion, so that the console-event handler can remove it while it is open
// (temporary_files.cpp).
int openNew(const std::filesystem::path& p) {
    const HANDLE file = CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = errnoOf(errorOfWindowsCall(GetLastError(), p));
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) CloseHandle(file);
    return fd;
}
int openExisting(const std::filesystem::path& p) { return _wopen(p.c_str(), _O_WRONLY | _O_BINARY); }
int closeFile(int fd) { return _close(fd); }
#else
int openNew(const std::filesystem::path& p) { return ::open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666); }
int openExisting(const std::filesystem::path& p) { return ::open(p.c_str(), O_WRONLY | O_CLOEXEC); }
int closeFile(int fd) { return ::close(fd); }
#endif

// Writes of up to 1 MB: large enough to cost few calls, small enough to gather pieces in.
constexpr size_t kLargestWrite = size_t{1} << 20;

std::string reasonOf(const char* step, int error) { return std::string(step) + ": " + fileErrorReason(error); }

// Makes the rename itself durable: on POSIX systems the folder's entry must be flushed too.
void syncFolder([[maybe_unused]] const std::filesystem::path& folder) {
#ifndef _WIN32
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

// The file a path finally names: links are followed, so that saving through a link writes
// the file it points to and keeps the link. A link that points nowhere names the file it
// would point to.
std::filesystem::path finalTarget(const std::filesystem::path& path) {
    std::filesystem::path file = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, ec))) return file;
        const std::filesystem::path next = std::filesystem::read_symlink(file, ec);
        if (ec) return file;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    return file;  // a loop of links: the rename fails and says so
}

}  // namespace

FileWriteSteps FileWriteSteps::system() {
    FileWriteSteps steps;
#ifdef _WIN32
    steps.write = [](int fd, const uint8_t* data, size_t size) -> long {
        return _write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
    };
    steps.sync = [](int fd) { return _commit(fd); };
#else
    steps.write = [](int fd, const uint8_t* data, size_t size) -> long { return ::write(fd, data, size); };
    steps.sync = [](int fd) { return ::fsync(fd); };
#endif
    steps.rename = [](const std::filesystem::path& from, const std::filesystem::path& to) {
        // Replaces `to` on every platform; on Windows a file the spreadsheet application holds
        // open refuses with EBUSY. The steps speak errno.
        const std::error_code error = moveFileReplacing(from, to);
        if (!error) return 0;
        errno = errnoOf(error);
        return -1;
    };
    return steps;
}

struct FileReplacement::State {
    std::filesystem::path given;   // the path the caller knows: errors name it
    std::filesystem::path target;  // the file it leads to
    FileWriteSteps steps;
    bool replacing = false;
    std::filesystem::perms permissions{};
    std::filesystem::path temporary;
    std::unique_ptr<PendingTemporary> removedOnSignals;
    int fd = -1;

    [[noreturn]] void fail(const std::string& reason, int error) const {
        throw WorkbookError(WorkbookErrorKind::Unwritable, given, reason, error);
    }
    void removeTemporary() {
        if (fd >= 0) closeFile(fd);
        fd = -1;
        std::error_code ignored;
        if (!temporary.empty()) std::filesystem::remove(temporary, ignored);
        temporary.clear();
        removedOnSignals.reset();
    }
    [[noreturn]] void abandon(const char* step, int error) {
        removeTemporary();
        fail(reasonOf(step, error), error);
    }
    void usable() const {
        if (fd < 0) fail("the replacement was given up after a failure", EBADF);
    }
    void writeAll(const char* data, size_t size) {
        size_t done = 0;
        while (done < size) {
            const size_t chunk = std::min<size_t>(size - done, kLargestWrite);
            const long n = steps.write(fd, reinterpret_cast<const uint8_t*>(data) + done, chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) abandon("the new file cannot be written", errno);
            if (n == 0) abandon("the new file cannot be written", ENOSPC);
            done += static_cast<size_t>(n);
        }
#ifdef __linux__
        // The disk starts on what was written while the rest is written: the flush before the
        // rename then has less to wait for (a hint only: the flush still decides).
        ::sync_file_range(fd, static_cast<off_t>(written), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#endif
        written += size;
    }
    size_t written = 0;  // bytes written so far
};

FileReplacement::FileReplacement(const std::filesystem::path& given, FileWriteSteps steps, LinkAtTarget link)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.given = given;
    s.steps = std::move(steps);
    s.target = link == LinkAtTarget::Follow ? finalTarget(given) : given;
    // rename() replaces a link at the target as a link: only the link's own status counts then.
    std::error_code ec;
    const auto old = link == LinkAtTarget::Follow ? std::filesystem::status(s.target, ec)
                                                  : std::filesystem::symlink_status(s.target, ec);
    // A link replaced gives its place to a new file with the usual permissions.
    s.replacing = !ec && std::filesystem::exists(old) && !std::filesystem::is_symlink(old);
    s.permissions = old.permissions();
    if (s.replacing && (old.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        s.fail("the file is read-only", EACCES);
    }
    removeLeftoversBeside(s.target);
    // Two replacements in one folder at once (the summary and its record) draw their names
    // at random: a name already taken is drawn again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        s.temporary = temporaryNameBeside(s.target);
        s.removedOnSignals = std::make_unique<PendingTemporary>(s.temporary);
        s.fd = openNew(s.temporary);
        if (s.fd >= 0 || errno != EEXIST) break;
    }
    if (s.fd < 0) {
        const int error = errno;
        s.temporary.clear();
        s.fail(reasonOf("the new file cannot be created in its folder", error), error);
    }
}

FileReplacement::~FileReplacement() { state_->removeTemporary(); }

void FileReplacement::write(std::span<const std::string_view> pieces) {
    State& s = *state_;
    s.usable();
    std::string gathered;  // small pieces, written together
    for (const std::string_view piece : pieces) {
        if (gathered.size() + piece.size() > kLargestWrite || piece.size() >= kLargestWrite / 2) {
            s.writeAll(gathered.data(), gathered.size());
            gathered.clear();
        }
        if (piece.size() >= kLargestWrite / 2) {
            s.writeAll(piece.data(), piece.size());
        } else {
            if (gathered.capacity() < kLargestWrite && pieces.size() > 1) gathered.reserve(kLargestWrite);
            gathered += piece;
        }
    }
    s.writeAll(gathered.data(), gathered.size());
}

void FileReplacement::flush() {
    State& s = *state_;
    s.usable();
    if (s.steps.sync(s.fd) != 0) s.abandon("the new file cannot be flushed to the disk", errno);
}

void FileReplacement::commit() {
    State& s = *state_;
    flush();
    const int fd = s.fd;
    s.fd = -1;
    if (closeFile(fd) != 0) s.abandon("the new file cannot be closed", errno);
    // The new file takes the old one's permissions.
    std::error_code ec;
    if (s.replacing) std::filesystem::permissions(s.temporary, s.permissions, ec);
    if (s.steps.rename(s.temporary, s.target) != 0) s.abandon("the new file cannot take the old one's place", errno);
    s.temporary.clear();
    s.removedOnSignals.reset();
    syncFolder(s.target.parent_path());
}

void replaceFileAtomically(const std::filesystem::path& given, std::span<const uint8_t> bytes, const FileWriteSteps& steps,
                           LinkAtTarget link) {
    const std::string_view whole(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    replaceFileAtomically(given, std::span(&whole, 1), steps, link);
}

void replaceFileAtomically(const std::filesystem::path& given, std::span<const std::string_view> pieces,
                           const FileWriteSteps& steps, LinkAtTarget link) {
    FileReplacement replacement(given, steps, link);
    replacement.write(pieces);
    replacement.commit();
}

int flushFileToDisk(const std::filesystem::path& file) {
    int fd = openExisting(file);
#ifndef _WIN32
    // A copy of a read-only file is read-only too; POSIX flushes through any descriptor.
    if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    // Windows flushes only through a writable handle: a read-only copy stays unflushed, as
    // whole as any file the system has accepted.
    if (fd < 0) return errno == EACCES || errno == EPERM ? 0 : errno;
    const int synced = FileWriteSteps::system().sync(fd);
    const int error = synced != 0 ? errno : 0;
    closeFile(fd);
    return error;
}

}  // namespace sbx
