#include "consolidate/record/record_json_text.h"

#include <cmath>

#include "consolidate/record/number_text.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/utf8_text.h"

namespace sbx {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, char c) {
    switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char kLowerHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kLowerHex[(c >> 4) & 15];
                out += kLowerHex[c & 15];
            } else {
                out += c;
            }
    }
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const size_t length = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : utf8SequenceLength(text.substr(i));
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8 text
            ++i;
        } else if (length == 1) {
            appendEscaped(out, text[i++]);
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    out += '"';
}

void appendJsonFileField(std::string& out, std::string_view name, const std::filesystem::path& file, bool first) {
    const std::string bytes = utf8String(file);
    appendJsonField(out, name, bytes, first);
    if (isUtf8Text(bytes)) return;
    std::string encoded;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '%') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[b >> 4];
            encoded += kHex[b & 15];
        }
    }
    appendJsonField(out, std::string(name) + "_bytes", encoded);
}

std::optional<std::string> fileNameBytes(std::string_view encoded) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string bytes;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            bytes += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size()) return std::nullopt;
        const int high = digit(encoded[i + 1]), low = digit(encoded[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return bytes;
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
