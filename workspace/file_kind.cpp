#include "workspace/file_kind.h"

#include <system_error>

#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_file_check.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

const char* kindText(FileKind kind) {
    switch (kind) {
        case FileKind::Missing: return "文件不存在";
        case FileKind::Folder: return "这是一个文件夹";
        case FileKind::NamedPipe: return "这是一个命名管道";
        case FileKind::Device: return "这是一个设备";
        case FileKind::Socket: return "这是一个套接字";
        case FileKind::Unlooked: return "无法读取文件信息";
        default: return "这不是普通文件";
    }
}

}  // namespace

bool isRegularWorkbookFile(const fs::path& file) { return fileKindOf(file) == FileKind::Regular; }

std::string notAWorkbookFileText(const fs::path& file) {
    const FileKind kind = fileKindOf(file);
    if (kind == FileKind::Regular) return {};
    return "“" + utf8String(file) + "”不是表格文件：" + kindText(kind);
}

}  // namespace sbx
