#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {
std::string describe(const std::filesystem::path& file, const std::string& reason) {
    if (file.empty()) return reason;
    return file.string() + ": " + reason;
}
}  // namespace

WorkbookError::WorkbookError(WorkbookErrorKind kind, std::filesystem::path file, std::string reason)
    : std::runtime_error(describe(file, reason)),
      kind_(kind),
      file_(std::move(file)),
      reason_(std::move(reason)) {}

}  // namespace sbx
