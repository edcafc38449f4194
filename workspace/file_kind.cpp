#include "workspace/file_kind.h"

#include <system_error>

#include "spreadsheet/utf8_path.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

// std::filesystem::status follows links and never opens the file, so a FIFO does not block.
fs::file_status statusOf(const fs::path& file) {
    std::error_code error;
    return fs::status(file, error);
}

const char* kindText(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::not_found: return "文件不存在";
        case fs::file_type::directory: return "这是一个文件夹";
        case fs::file_type::fifo: return "这是一个命名管道";
        case fs::file_type::block:
        case fs::file_type::character: return "这是一个设备";
        case fs::file_type::socket: return "这是一个套接字";
        case fs::file_type::none: return "无法读取文件信息";
        default: return "这不是普通文件";
    }
}

}  // namespace

bool isRegularWorkbookFile(const fs::path& file) { return fs::is_regular_file(statusOf(file)); }

std::string notAWorkbookFileText(const fs::path& file) {
    const fs::file_status status = statusOf(file);
    if (fs::is_regular_file(status)) return {};
    return "“" + utf8String(file) + "”不是表格文件：" + kindText(status);
}

}  // namespace sbx
