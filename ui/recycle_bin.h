#pragma once
// The system's recycle bin for deleted pool files (Windows' 回收站, the desktop's trash on
// Linux), with the working folder's 已删除 folder where the system has none.
#include <filesystem>

#include "workspace/file_disposal.h"

namespace sbx {

Disposal moveToRecycleBin(const std::filesystem::path& file);

}  // namespace sbx
