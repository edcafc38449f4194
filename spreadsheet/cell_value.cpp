#include "spreadsheet/cell_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sbx {

std::string errorText(uint8_t code) {
    switch (code) {
        case error_code::Null: return "#NULL!";
        case error_code::Div0: return "#DIV/0!";
        case error_code::Value: return "#VALUE!";
        case error_code::Ref: return "#REF!";
        case error_code::Name: return "#NAME?";
        case error_code::Num: return "#NUM!";
        case error_code::NA: return "#N/A";
        case error_code::GettingData: return "#GETTING_DATA";
        default: return "#ERR" + std::to_string(code);
    }
}

std::string describe(const CellValue& v) {
    auto num = [](double d) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        return std::string(buf, r.ptr);
    };
    switch (v.kind()) {
        case CellKind::Empty: return "empty";
        case CellKind::Number: return "number(" + num(v.numberValue()) + ")";
        case CellKind::Text: return "text(\"" + v.textValue() + "\")";
        case CellKind::Boolean: return v.booleanValue() ? "boolean(TRUE)" : "boolean(FALSE)";
        case CellKind::Date: return "date(" + num(v.numberValue()) + ")";
        case CellKind::Error: return "error(" + errorText(v.errorCode()) + ")";
    }
    return "?";
}

bool holdsWrittenValue(const CellValue& written, const CellValue& read, bool uses1904Dates) {
    const auto numeric = [](const CellValue& v) { return v.kind() == CellKind::Number || v.kind() == CellKind::Date; };
    if (numeric(written) && numeric(read)) {
        const double a = written.numberValue();
        // A plain number stored under a date format reads as a date in the 1900 serials.
        const bool shifted = uses1904Dates && written.kind() == CellKind::Number && read.kind() == CellKind::Date;
        const double b = read.numberValue() - (shifted ? kDate1904Offset : 0.0);
        return a == b || std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a));
    }
    return written == read;
}

}  // namespace sbx
