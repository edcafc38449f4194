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
        case EBUSY: return "文件正被其他程序打开，请关闭后再试";
        case ENAMETOOLONG: return "文件名过长";
#ifdef EROFS
        case EROFS: return "磁盘为只读";
#endif
#ifdef EDQUOT
        case EDQUOT: return "磁盘配额已用完";
#endif
        default: return std::string();
    }
}

std::string systemErrorText(const std::error_code& error) {
    // Windows reports its own codes; their portable meaning is the errno value.
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category()) {
        switch (condition.value()) {
            case ENOENT: return "文件或文件夹不存在";
            case EEXIST: return "已有同名的文件";
            case ENOTDIR: return "路径中有一项不是文件夹";
            case EISDIR: return "这是一个文件夹";
            case ENOTEMPTY: return "文件夹不是空的";
            case EXDEV: return "不能在两个磁盘之间直接移动";
            case ELOOP: return "快捷链接指向自身，形成循环";
            case EMFILE:
            case ENFILE: return "同时打开的文件过多";
            default:
                if (std::string known = systemErrorText(condition.value()); !known.empty()) return known;
        }
    }
    return "系统错误代码 " + std::to_string(error.value());
}

std::string workbookErrorReason(const WorkbookError& error) {
    std::string why = workbookErrorKindText(error.kind());
    if (const std::string system = systemErrorText(error.systemError()); !system.empty()) {
        why += "：" + system;
    } else if (error.systemError() != 0) {
        why += "（系统错误代码 " + std::to_string(error.systemError()) + "）";
    }
    return why;
}

std::string workbookErrorText(const WorkbookError& error) {
    const std::string why = workbookErrorReason(error);
    return error.file().empty() ? why : why + "：\r" + utf8String(error.file());
}

std::string errorTextForUser(const std::exception& error) {
    if (const auto* workbook = dynamic_cast<const WorkbookError*>(&error)) return workbookErrorText(*workbook);
    return error.what();
}

}  // namespace sbx
