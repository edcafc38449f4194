#pragma once
// Engine errors in the user's words: a Chinese sentence for the kind of fault and the system's
// refusal behind it, and the file. The windows show only these; the engine's English reason
// is the command line's.
#include <exception>
#include <string>
#include <system_error>

#include "spreadsheet/workbook_error.h"

namespace sbx {

// The kind of fault as a short Chinese phrase ("文件已损坏", "工作簿设有打开密码", ...).
std::string workbookErrorKindText(WorkbookErrorKind kind);

// Common refusals of the operating system (errno values), as the user would put them; empty
// for the others.
std::string systemErrorText(int error);

// A refusal of the operating system as a file operation reports it (std::filesystem), in
// Chinese: the common ones in words (a file open in another program, as Windows reports a
// workbook open in Excel, says what to do), any other by its code. Never empty.
std::string systemErrorText(const std::error_code& error);

// Why, in Chinese: the kind of fault, then the system's refusal in plain words where known
// ("无法保存文件：磁盘空间已满"), or its code.
std::string workbookErrorReason(const WorkbookError& error);

// "<why>：\r<file>" (no file: "<why>").
std::string workbookErrorText(const WorkbookError& error);

// workbookErrorText for a WorkbookError, the exception's own text for any other.
std::string errorTextForUser(const std::exception& error);

}  // namespace sbx
