#include "spreadsheet/file_moves.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace sbx {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

// Whether another program holds `file` open without letting it be deleted or renamed.
bool heldOpenElsewhere(const fs::path& file) {
    const HANDLE handle = CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(handle);
    return false;
}

std::error_code errorOf(DWORD error, const fs::path& a, const fs::path& b) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return std::make_error_code(std::errc::device_or_resource_busy);
        // Windows also denies access to a file open elsewhere, and to a folder in the way:
        // tell those from a read-only file.
        case ERROR_ACCESS_DENIED: {
            std::error_code ignored;
            if (fs::is_directory(a, ignored)) return std::make_error_code(std::errc::is_a_directory);
            return std::make_error_code(heldOpenElsewhere(a) || (!b.empty() && heldOpenElsewhere(b))
                                            ? std::errc::device_or_resource_busy
                                            : std::errc::permission_denied);
        }
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return std::make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return std::make_error_code(std::errc::file_exists);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return std::make_error_code(std::errc::no_space_on_device);
        case ERROR_WRITE_PROTECT: return std::make_error_code(std::errc::read_only_file_system);
        default: return {static_cast<int>(error), std::system_category()};
    }
}

}  // namespace

std::error_code errorOfWindowsCall(unsigned long error, const fs::path& file) { return errorOf(error, file, {}); }

std::error_code moveFileReplacing(const fs::path& from, const fs::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
    return errorOf(GetLastError(), to, from);
}

std::error_code deleteFile(const fs::path& file) {
    if (DeleteFileW(file.c_str())) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {};
    return errorOf(error, file, {});
}

#else

std::error_code moveFileReplacing(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    return error;
}

std::error_code deleteFile(const fs::path& file) {
    std::error_code error;
    fs::remove(file, error);
    return error;
}

#endif

int errnoOf(const std::error_code& error) {
    const std::error_condition condition = error.default_error_condition();
    return condition.category() == std::generic_category() ? condition.value() : EIO;
}

std::string fileErrorReason(int error) {
#ifdef _WIN32
    if (error == EBUSY) return "the file is open in another program; close it and run again";
#endif
    return std::strerror(error);
}

}  // namespace sbx
