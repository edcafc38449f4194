#include "spreadsheet/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include "spreadsheet/temporary_files.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

#ifdef _WIN32
int openNew(const std::filesystem::path& p) {
    return _wopen(p.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int openExisting(const std::filesystem::path& p) { return _wopen(p.c_str(), _O_WRONLY | _O_BINARY); }
int closeFile(int fd) { return _close(fd); }
#else
int openNew(const std::filesystem::path& p) { return ::open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666); }
int openExisting(const std::filesystem::path& p) { return ::open(p.c_str(), O_WRONLY | O_CLOEXEC); }
int closeFile(int fd) { return ::close(fd); }
#endif

std::string reasonOf(const char* step, int error) { return std::string(step) + ": " + std::strerror(error); }

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
        std::error_code ec;
        std::filesystem::rename(from, to, ec);  // replaces `to` on every platform
        if (ec) {
            // On Windows the code is the system's own (ERROR_SHARING_VIOLATION when the
            // spreadsheet application holds the file open); the steps speak errno.
            const std::error_condition condition = ec.default_error_condition();
            errno = condition.category() == std::generic_category() ? condition.value() : EIO;
            return -1;
        }
        return 0;
    };
    return steps;
}

void replaceFileAtomically(const std::filesystem::path& given, std::span<const uint8_t> bytes,
                           const FileWriteSteps& steps) {
    // Errors name the path the caller knows; the file replaced is the one it leads to.
    auto fail = [&](const std::string& reason, int error) {
        throw WorkbookError(WorkbookErrorKind::Unwritable, given, reason, error);
    };
    const std::filesystem::path target = finalTarget(given);
    std::error_code ec;
    const auto old = std::filesystem::status(target, ec);
    const bool replacing = !ec && std::filesystem::exists(old);
    if (replacing && (old.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        fail("the file is read-only", EACCES);
    }
    removeLeftoversBeside(target);
    const std::filesystem::path temporary = temporaryNameBeside(target);
    const PendingTemporary removedOnSignals(temporary);
    const int fd = openNew(temporary);
    if (fd < 0) {
        const int error = errno;
        fail(reasonOf("the new file cannot be created in its folder", error), error);
    }

    auto abandon = [&](const char* step, int error) {
        closeFile(fd);
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        fail(reasonOf(step, error), error);
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, size_t{1} << 20);
        const long n = steps.write(fd, bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) abandon("the new file cannot be written", errno);
        if (n == 0) abandon("the new file cannot be written", ENOSPC);
        done += static_cast<size_t>(n);
    }
    if (steps.sync(fd) != 0) abandon("the new file cannot be flushed to the disk", errno);
    if (closeFile(fd) != 0) {
        const int error = errno;
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        fail(reasonOf("the new file cannot be closed", error), error);
    }
    // The new file takes the old one's permissions.
    if (replacing) std::filesystem::permissions(temporary, old.permissions(), ec);
    if (steps.rename(temporary, target) != 0) {
        const int error = errno;
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        fail(reasonOf("the new file cannot take the old one's place", error), error);
    }
    syncFolder(target.parent_path());
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
