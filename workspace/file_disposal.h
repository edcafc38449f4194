#pragma once
// Deleting pool files puts them where a file deleted by mistake can be had back: the
// system's recycle bin where the desktop has one (the windows supply that way), otherwise
// the working folder's own 已删除 folder. Only files go: a folder of a pool file's name is
// never moved.
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

namespace sbx {

struct Disposal {
    std::error_code error;            // set: the file is where it was
    bool inRecycleBin = false;        // the system's recycle bin took it
    std::filesystem::path folder;     // otherwise: the folder it was moved into
};

// Takes one file out of the pool; the seam through which the windows use the recycle bin
// and tests make a delete fail.
using FileDisposal = std::function<Disposal(const std::filesystem::path& file)>;

inline constexpr const char* kDeletedFolderName = "已删除";

// Moves `file` into the 已删除 folder beside it (made when missing), under its own name, or
// with "-2", "-3"... before the extension when that name is taken there.
Disposal moveToDeletedFolder(const std::filesystem::path& file);

// After files were taken out: "已删除的文件已移到回收站。" or "…已移到文件夹：<folder>。"
std::string disposedText(const Disposal& disposal);

}  // namespace sbx
