#include "spreadsheet/cell_value.h"

#include <charconv>

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

}  // namespace sbx
