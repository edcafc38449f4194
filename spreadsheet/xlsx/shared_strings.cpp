#include "spreadsheet/xlsx/shared_strings.h"

#include "spreadsheet/xlsx/scanned_xml.h"
#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

class SharedStringsHandler final : public XmlHandler {
public:
    std::vector<std::string> strings;

    void start(std::string_view name, const char**) override {
        if (name == "si") {
            strings.emplace_back();
            inItem_ = true;
        } else if (name == "rPh") {
            ++phonetic_;
        } else if (name == "t" && inItem_ && phonetic_ == 0) {
            inText_ = true;
        }
    }
    void end(std::string_view name) override {
        if (name == "si") {
            strings.back() = decodeEscapes(std::move(strings.back()));
            inItem_ = false;
        } else if (name == "rPh") {
            --phonetic_;
        } else if (name == "t") {
            inText_ = false;
        }
    }
    void text(std::string_view chars) override {
        if (inText_) strings.back().append(chars);
    }

private:
    bool inItem_ = false;
    bool inText_ = false;
    int phonetic_ = 0;
};

}  // namespace

std::string decodeEscapes(std::string text) {
    if (text.find("_x") == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() + 0 && text[i + 1] == 'x' && text[i + 6] == '_') {
            int code = 0;
            bool ok = true;
            for (size_t k = 2; k < 6; ++k) {
                const int d = hexDigit(text[i + k]);
                if (d < 0) ok = false;
                code = code * 16 + d;
            }
            if (ok) {
                appendUtf8(out, static_cast<unsigned>(code));
                i += 6;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::vector<std::string> readSharedStrings(const ZipPackage& package, const std::string& part, bool scan) {
    if (scan) {
        try {
            SharedStringsHandler handler;
            ScannedXmlParser parser(handler, part, ScannedElement{"sst", 0});
            package.stream(part, [&](std::string_view piece) { parser.feed(piece); });
            parser.finish();
            return std::move(handler.strings);
        } catch (const ScanDeclined&) {
        }
    }
    SharedStringsHandler handler;
    XmlParser parser(handler, part);
    package.stream(part, [&](std::string_view piece) { parser.feed(piece); });
    parser.finish();
    return std::move(handler.strings);
}

}  // namespace sbx::xlsx
