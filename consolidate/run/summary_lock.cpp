#include "consolidate/run/summary_lock.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "spreadsheet/utf8_path.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string inUseText(const fs::path& file) {
    return "another run is writing this summary now (it holds " + utf8String(file) + "); wait until it has finished";
}

std::string notALockText(const fs::path& file) {
    return utf8String(file) + " is not a lock file of this program (it is not an empty file); it is left alone, "
           "so no run can write this summary until it is moved away";
}

std::string failedText(const fs::path& file, const std::error_code& error) {
    return "the lock file " + utf8String(file) + " cannot be opened: " + error.message();
}

}  // namespace

fs::path summaryLockPath(const fs::path& summary) {
    fs::path lock = summary;
    lock += ".lock";
    return lock;
}

#ifdef _WIN32

SummaryLock::Attempt SummaryLock::take(const fs::path& summary) {
    Attempt attempt;
    const fs::path file = summaryLockPath(summary);
    // Opened for no one else: a second run's open fails with a sharing violation. A link at the
    // name is opened as itself, never followed.
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        attempt.inUse = why == ERROR_SHARING_VIOLATION;
        attempt.reason = attempt.inUse ? inUseText(file)
                                       : failedText(file, std::error_code(static_cast<int>(why), std::system_category()));
        return attempt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart != 0) {
        CloseHandle(handle);
        attempt.reason = notALockText(file);
        return attempt;
    }
    attempt.lock.reset(new SummaryLock(file, reinterpret_cast<std::intptr_t>(handle)));
    return attempt;
}

SummaryLock::~SummaryLock() {
    const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;  // goes when the handle closes, before another run can open it
    SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(handle);
}

#else

SummaryLock::Attempt SummaryLock::take(const fs::path& summary) {
    Attempt attempt;
    const fs::path file = summaryLockPath(summary);
    // Its holder removes the file before letting go: a lock taken on a file no longer at the
    // name is no lock, and is taken again on the file there now.
    for (int tries = 0; tries < 100; ++tries) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            const int why = errno;
            attempt.reason = why == ELOOP ? utf8String(file) + " is a symbolic link; a run never follows one there"
                                          : failedText(file, std::error_code(why, std::generic_category()));
            return attempt;
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_size != 0) {
            ::close(fd);
            attempt.reason = notALockText(file);
            return attempt;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            ::close(fd);
            attempt.inUse = why == EWOULDBLOCK;
            attempt.reason = attempt.inUse ? inUseText(file) : failedText(file, std::error_code(why, std::generic_category()));
            return attempt;
        }
        struct stat there {};
        if (::lstat(file.c_str(), &there) == 0 && there.st_dev == opened.st_dev && there.st_ino == opened.st_ino) {
            attempt.lock.reset(new SummaryLock(file, fd));
            return attempt;
        }
        ::close(fd);
    }
    attempt.reason = failedText(file, std::make_error_code(std::errc::resource_unavailable_try_again));
    return attempt;
}

SummaryLock::~SummaryLock() {
    // Removed while still held, so that no other run locks the file once it is gone.
    ::unlink(file_.c_str());
    ::close(static_cast<int>(handle_));
}

#endif

}  // namespace sbx
