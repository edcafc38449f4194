#pragma once
// Copying workbook files in the working folder: the bytes only (a copy takes the user's
// default permissions, not the source's), and replacing a file by a copy in one step.
#include <filesystem>
#include <functional>
#include <system_error>

namespace sbx {

// Copies the bytes of `from` to `to` (a new file); the seam through which tests make a copy
// fail half-way.
using FileCopy = std::function<std::error_code(const std::filesystem::path& from, const std::filesystem::path& to)>;
std::error_code copyFileContents(const std::filesystem::path& from, const std::filesystem::path& to);

// Puts a copy of `source` at `target` in one step: the bytes go to a temporary file beside
// `target`, which is then renamed over it. When anything fails, `target` is as it was and
// no temporary file is left.
std::error_code replaceFile(const std::filesystem::path& source, const std::filesystem::path& target,
                            const FileCopy& copy = copyFileContents);

// Whether the two paths name the same file or folder on disk (links, letter case and
// other spellings resolved by the file system); false when either does not exist.
bool sameFileOnDisk(const std::filesystem::path& a, const std::filesystem::path& b);

// Whether the two files hold the same bytes; false when either cannot be read.
bool sameFileContents(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace sbx
