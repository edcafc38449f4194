#pragma once
// Renaming and removing files with the system's reason, the same on every platform. On Windows
// a file another program holds open (Excel keeps its workbooks open with a sharing lock) cannot
// be renamed over, moved or removed; these report that as std::errc::device_or_resource_busy
// (EBUSY), where the standard library says only "input/output error".
#include <filesystem>
#include <string>
#include <system_error>

namespace sbx {

// Renames `from` to `to` in one step, replacing a file `to`.
std::error_code moveFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes a file (not a folder); a file that is not there is no error.
std::error_code deleteFile(const std::filesystem::path& file);

// The errno value of a refused file operation's error.
int errnoOf(const std::error_code& error);

#ifdef _WIN32
// The error of a refused Windows file call (its GetLastError()) on `file`, as the functions
// above report it.
std::error_code errorOfWindowsCall(unsigned long error, const std::filesystem::path& file);
#endif

// Why a file operation was refused, in English, from its errno value: on Windows EBUSY is a file
// open in another program, and the user can do something about it.
std::string fileErrorReason(int error);

}  // namespace sbx
