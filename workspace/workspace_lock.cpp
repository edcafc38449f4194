#include "workspace/workspace_lock.h"
#include "workspace/workbook_error_text.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string failedText(const fs::path& file, const std::error_code& error) {
    return "无法锁定工作目录（" + utf8String(file) + "）：" + systemErrorText(error);
}

}  // namespace

fs::path workspaceLockFile(const WorkspacePaths& paths) { return paths.poolDirectory() / ".shubuxing.lock"; }

WorkspaceLock::Attempt WorkspaceLock::acquire(const WorkspacePaths& paths) {
    Attempt attempt;
    const fs::path file = workspaceLockFile(paths);
    std::error_code error;
    fs::create_directories(paths.poolDirectory(), error);
    if (error) {
        attempt.refusal = "无法建立工作目录 " + utf8String(paths.poolDirectory()) + "：" + systemErrorText(error);
        return attempt;
    }
    const std::string inUse = lock_text::kInUse + utf8String(paths.poolDirectory());
#ifdef _WIN32
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        attempt.refusal = failedText(file, std::error_code(static_cast<int>(GetLastError()), std::system_category()));
        return attempt;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const DWORD why = GetLastError();
        CloseHandle(handle);
        attempt.refusal = why == ERROR_LOCK_VIOLATION
                              ? inUse
                              : failedText(file, std::error_code(static_cast<int>(why), std::system_category()));
        return attempt;
    }
    attempt.lock.reset(new WorkspaceLock(reinterpret_cast<std::intptr_t>(handle)));
#else
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        attempt.refusal = failedText(file, std::error_code(errno, std::generic_category()));
        return attempt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        ::close(fd);
        attempt.refusal = why == EWOULDBLOCK ? inUse : failedText(file, std::error_code(why, std::generic_category()));
        return attempt;
    }
    attempt.lock.reset(new WorkspaceLock(fd));
#endif
    return attempt;
}

WorkspaceLock::~WorkspaceLock() {
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
#else
    ::close(static_cast<int>(handle_));
#endif
}

}  // namespace sbx
