#include "workspace/workbook_error_text.h"

#include <cerrno>

#include "spreadsheet/utf8_path.h"

namespace sbx {

std::string workbookErrorKindText(WorkbookErrorKind kind) {
    switch (kind) {
        case WorkbookErrorKind::FileNotFound: return "找不到文件";
        case WorkbookErrorKind::Unreadable: return "无法读取文件";
        case WorkbookErrorKind::NotAFile: return "这不是文件（是文件夹、管道或设备），不能作为工作簿打开";
        case WorkbookErrorKind::TooLarge: return "文件过大，不可能是工作簿";
        case WorkbookErrorKind::Unwritable: return "无法保存文件";
        case WorkbookErrorKind::NotCompoundFile: return "这不是 Excel 工作簿（.xls、.xlsx 或 .xlsm）";
        case WorkbookErrorKind::WrongFormat: return "这是其他格式的文件，不是 Excel 工作簿（.xls、.xlsx 或 .xlsm）";
        case WorkbookErrorKind::UnsupportedVersion: return "工作簿的版本早于 Excel 95，无法读取";
        case WorkbookErrorKind::Truncated: return "文件不完整（可能没有复制完，或已损坏）";
        case WorkbookErrorKind::Corrupt: return "文件已损坏";
        case WorkbookErrorKind::Encrypted: return "工作簿设有打开密码";
        case WorkbookErrorKind::SheetNotFound: return "工作簿中没有这个工作表";
        case WorkbookErrorKind::CellOutOfRange: return "单元格超出了工作表的范围";
        case WorkbookErrorKind::CellLocked: return "工作表受保护，单元格已锁定";
        case WorkbookErrorKind::CellInArray: return "不能更改数组公式或模拟运算表的某一部分";
        case WorkbookErrorKind::WriteUnsupported: return "这种格式的工作簿只能读取，不能写入";
    }
    return "工作簿出错";
}

std::string systemErrorText(int error) {
    switch (error) {
        case ENOSPC: return "磁盘空间已满";
        case EACCES:
        case EPERM: return "文件为只读，或没有写入该文件夹的权限";
        case EIO: return "磁盘读写出错";
        case ENOENT: return "文件夹已不存在";
        case EBUSY: return "文件正被其他程序使用";
#ifdef EROFS
        case EROFS: return "磁盘为只读";
#endif
#ifdef EDQUOT
        case EDQUOT: return "磁盘配额已用完";
#endif
        default: return std::string();
    }
}

std::string fileErrorText(const std::error_code& error) {
    if (error == std::errc::device_or_resource_busy) return "文件正被其他程序打开，请关闭后再试。";
    return error.message();
}

std::string workbookErrorText(const WorkbookError& error) {
    std::string kind = workbookErrorKindText(error.kind());
    if (const std::string system = systemErrorText(error.systemError()); !system.empty()) kind += "：" + system;
    std::string text = kind;
    if (!error.file().empty()) text += "：\r" + utf8String(error.file());
    return text + "\r（" + error.reason() + "）";
}

std::string errorTextForUser(const std::exception& error) {
    if (const auto* workbook = dynamic_cast<const WorkbookError*>(&error)) return workbookErrorText(*workbook);
    return error.what();
}

}  // namespace sbx
