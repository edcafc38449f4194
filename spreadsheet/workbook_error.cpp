#include "spreadsheet/workbook_error.h"

#include "spreadsheet/utf8_path.h"

namespace sbx {

namespace {
std::string describe(const std::filesystem::path& file, const std::string& reason) {
    if (file.empty()) return reason;
    return utf8String(file) + ": " + reason;  // path::string() is not UTF-8 on Windows
}
}  // namespace

WorkbookError::WorkbookError(WorkbookErrorKind kind, std::filesystem::path file, std::string reason, int systemError)
    : std::runtime_error(describe(file, reason)),
      kind_(kind),
      file_(std::move(file)),
      reason_(std::move(reason)),
      systemError_(systemError) {}

}  // namespace sbx
