#pragma once
// What kind of thing a path names, checked before a file is opened or copied as a workbook:
// opening a FIFO blocks until someone writes to it, and a device or folder is no workbook.
#include <filesystem>
#include <string>

namespace sbx {

// Whether `file` is a regular file, or a link that leads to one.
bool isRegularWorkbookFile(const std::filesystem::path& file);

// Empty when `file` is a regular file (or a link to one); otherwise a message that names the
// file and says what it is instead (missing, a folder, a named pipe, a device ...).
std::string notAWorkbookFileText(const std::filesystem::path& file);

}  // namespace sbx
