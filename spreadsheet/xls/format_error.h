#pragma once
// The error that the parsers of the native engine throw. It knows what is wrong but not
// which file: the opener adds the path when it turns it into a WorkbookError.
#include <stdexcept>
#include <string>

#include "spreadsheet/workbook_error.h"

namespace sbx::xls {

class FormatError : public std::runtime_error {
public:
    FormatError(WorkbookErrorKind kind, const std::string& reason)
        : std::runtime_error(reason), kind_(kind) {}
    WorkbookErrorKind kind() const noexcept { return kind_; }

private:
    WorkbookErrorKind kind_;
};

// Shorthands for the two most common faults.
[[noreturn]] inline void throwCorrupt(const std::string& reason) {
    throw FormatError(WorkbookErrorKind::Corrupt, reason);
}
[[noreturn]] inline void throwTruncated(const std::string& reason) {
    throw FormatError(WorkbookErrorKind::Truncated, reason);
}

}  // namespace sbx::xls
