#pragma once
// Drops on the pool list: files and folders from a file manager are taken in as the
// intake window takes them in (takeInDropped), with one report at the end. The drop is
// accepted at once and the intake runs right after it, so the dropping program never waits
// on a question.
#include "ui/pool_file_actions.h"

namespace sbx {

// What an empty pool list shows in its middle.
inline constexpr const char* kEmptyPoolListText = "可将表格文件拖放到此处\n或点击[添加文件]";

// Makes the pool list of `context` accept drops of local files and folders, and say so while empty.
void acceptPoolListDrops(const PoolWindowContext& context);

}  // namespace sbx
