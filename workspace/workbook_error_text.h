#pragma once
// Engine errors in the user's words: a Chinese sentence for the kind of fault, the file, and
// the technical reason after it (for whoever helps the user).
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

// A refused move, rename or deletion in the user's words: a file open in another program (as
// Windows reports a workbook open in Excel) says what to do; others give the system's text.
std::string fileErrorText(const std::error_code& error);

// "<kind>：\r<file>\r（<reason>）", with the system's refusal in plain words where known.
std::string workbookErrorText(const WorkbookError& error);

// workbookErrorText for a WorkbookError, the exception's own text for any other.
std::string errorTextForUser(const std::exception& error);

}  // namespace sbx
