#pragma once
// A streaming XML parser (expat) for the parts of a package. Element and attribute names
// reach the handler without their namespace prefix ("x:c" and "c" alike), which is how
// SpreadsheetML written with prefixes reads the same as without. Document type
// declarations are refused: no workbook part has one, and they carry entity expansion.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace sbx::xlsx {

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // `attributes`: name, value, name, value, ..., nullptr (names with their prefixes).
    virtual void start(std::string_view name, const char** attributes) = 0;
    virtual void end(std::string_view name) = 0;
    // Character data, possibly in several pieces.
    virtual void text(std::string_view) {}
};

// The name without a namespace prefix.
inline std::string_view localName(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The value of the attribute with this local name, or nullptr.
inline const char* attribute(const char** attributes, std::string_view name) {
    for (const char** a = attributes; *a; a += 2) {
        if (localName(a[0]) == name) return a[1];
    }
    return nullptr;
}

// No workbook part nests its elements anywhere near this deep; a part that does is refused
// at once instead of being followed down (a few hundred kilobytes can nest millions deep).
inline constexpr int kMaxXmlDepth = 512;

class XmlParser {
public:
    // `part` names the part in error messages.
    XmlParser(XmlHandler& handler, std::string part);
    ~XmlParser();
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Throws xls::FormatError (Corrupt) naming the part and the line for malformed XML or
    // elements nested deeper than kMaxXmlDepth, and rethrows what the handler threw. Returns early, with the rest of the piece unparsed,
    // once a handler has called suspend().
    void feed(std::string_view piece);
    void finish();

    // Within a handler call: stops parsing after the current event, for good.
    void suspend();
    bool suspended() const { return suspended_; }

    // Within a handler call: where the current event starts in the whole input and how many
    // bytes it spans (a start tag with its attributes; 0 for the end of an empty element).
    uint64_t eventOffset() const;
    int eventLength() const;
    // Within a start handler: the element's name as written, with its prefix; and the bytes of
    // the current event when expat still holds them (empty otherwise).
    std::string_view qualifiedName() const { return qualifiedName_; }
    std::string_view eventText() const;
    // The encoding the XML declaration names ("" without one), once it was parsed.
    const std::string& declaredEncoding() const { return encoding_; }

private:
    void check(int status);
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onText(void* self, const char* text, int length);
    static void onXmlDecl(void* self, const char* version, const char* encoding, int standalone);
    static void onDoctype(void* self, const char*, const char*, const char*, int);
    void fail(std::exception_ptr error);

    XmlHandler& handler_;
    std::string part_;
    XML_ParserStruct* parser_ = nullptr;
    std::exception_ptr error_;
    std::string_view qualifiedName_;
    bool suspended_ = false;
    int depth_ = 0;
    std::string encoding_;
};

// Parses one whole text.
void parseXml(XmlHandler& handler, std::string_view xml, const std::string& part);

}  // namespace sbx::xlsx
