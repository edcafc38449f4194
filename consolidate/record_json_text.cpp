#include "consolidate/record_json_text.h"

#include <cmath>

#include "consolidate/number_text.h"

namespace sbx {

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += kHex[(c >> 4) & 15];
                    out += kHex[c & 15];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void appendJsonNumber(std::string& out, double x) {
    if (!std::isfinite(x)) {
        out += "null";  // JSON has no NaN or infinity; appendJsonValue tags such a cell's value
        return;
    }
    char text[kNumberTextSize];
    out.append(text, writeNumber(text, x));
}

void appendJsonValue(std::string& out, const CellValue& v) {
    switch (v.kind()) {
        case CellKind::Empty: out += "null"; break;
        case CellKind::Number:
            if (std::isfinite(v.numberValue())) {
                appendJsonNumber(out, v.numberValue());
            } else {
                out += "{\"number\": ";
                appendJsonString(out, std::isnan(v.numberValue()) ? "NaN" : v.numberValue() > 0 ? "Infinity" : "-Infinity");
                out += '}';
            }
            break;
        case CellKind::Text: appendJsonString(out, v.textValue()); break;
        case CellKind::Boolean: out += v.booleanValue() ? "true" : "false"; break;
        case CellKind::Date:
            out += "{\"date\": ";
            appendJsonNumber(out, v.numberValue());
            out += '}';
            break;
        case CellKind::Error:
            out += "{\"error\": ";
            appendJsonString(out, errorText(v.errorCode()));
            out += '}';
            break;
    }
}

void appendJsonField(std::string& out, std::string_view name, std::string_view value, bool first) {
    if (!first) out += ", ";
    appendJsonString(out, name);
    out += ": ";
    appendJsonString(out, value);
}

}  // namespace sbx
