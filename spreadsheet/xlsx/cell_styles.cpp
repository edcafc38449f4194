#include "spreadsheet/xlsx/cell_styles.h"

#include <charconv>
#include <map>
#include <string>

#include "spreadsheet/number_format_text.h"
#include "spreadsheet/xls/number_formats.h"
#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

namespace {

uint32_t toIndex(const char* value) {
    uint32_t n = 0;
    if (value) std::from_chars(value, value + std::char_traits<char>::length(value), n);
    return n;
}

class StylesHandler final : public XmlHandler {
public:
    std::map<uint32_t, std::string> codes;
    std::vector<CellStyle> styles;

    void start(std::string_view name, const char** attributes) override {
        if (name == "numFmt") {
            const char* id = attribute(attributes, "numFmtId");
            const char* code = attribute(attributes, "formatCode");
            if (id && code) codes[toIndex(id)] = code;
        } else if (name == "cellXfs") {
            inCellXfs_ = true;
        } else if (name == "xf" && inCellXfs_) {
            CellStyle style;
            style.numberFormat = toIndex(attribute(attributes, "numFmtId"));
            styles.push_back(style);
            inXf_ = true;
        } else if (name == "protection" && inXf_) {
            const char* locked = attribute(attributes, "locked");
            if (locked) styles.back().locked = !(std::string_view(locked) == "0" || std::string_view(locked) == "false");
        }
    }
    void end(std::string_view name) override {
        if (name == "cellXfs") inCellXfs_ = false;
        if (name == "xf") inXf_ = false;
    }

private:
    bool inCellXfs_ = false;
    bool inXf_ = false;
};

}  // namespace

CellStyles CellStyles::parse(std::string_view stylesXml, const std::string& part) {
    StylesHandler handler;
    parseXml(handler, stylesXml, part);
    CellStyles out;
    out.styles_ = std::move(handler.styles);
    for (auto& style : out.styles_) {
        // A declared code wins, also over a built-in id that it re-declares.
        const auto code = handler.codes.find(style.numberFormat);
        if (code != handler.codes.end()) {
            style.date = xls::isDateFormatCode(code->second);
            style.time = xls::isTimeFormatCode(code->second);
            style.text = xls::isTextFormatCode(code->second);
            style.code = code->second;
        } else {
            const bool builtIn = style.numberFormat <= 0xFFFF;
            style.date = builtIn && xls::isBuiltInDateFormat(static_cast<uint16_t>(style.numberFormat));
            style.time = builtIn && xls::isBuiltInTimeFormat(static_cast<uint16_t>(style.numberFormat));
            style.text = style.numberFormat == xls::kBuiltInTextFormat;
            style.code = builtInFormatCode(style.numberFormat);
        }
    }
    return out;
}

}  // namespace sbx::xlsx
