#include "spreadsheet/xlsx/xml_parser.h"

#include <expat.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "spreadsheet/xls/format_error.h"

namespace sbx::xlsx {

using xls::FormatError;

namespace {

// The salt of expat's hash tables, which keeps a document from choosing names that collide.
// Drawn once per process: expat would otherwise ask the system for random bytes for every
// parser, and an .xlsx source takes a dozen of them.
unsigned long hashSalt() {
    static const unsigned long salt = [] {
        std::random_device random;
        return static_cast<unsigned long>((static_cast<unsigned long long>(random()) << 32) ^ random());
    }();
    return salt;
}

// Parsers done with, reset for the next part: an .xlsx source reads a dozen parts, and a new
// parser allocates its buffers and tables anew each time. Per thread, a few at most (parsers
// can be alive one inside another's handler).
class SpareParsers {
public:
    ~SpareParsers() {
        for (XML_Parser p : spare_) XML_ParserFree(p);
    }
    XML_Parser take() {
        if (spare_.empty()) return XML_ParserCreate(nullptr);
        XML_Parser p = spare_.back();
        spare_.pop_back();
        return p;
    }
    void giveBack(XML_Parser p) {
        // Reset clears the handlers, the document's state and the salt; its buffers stay.
        if (spare_.size() < kKept && XML_ParserReset(p, nullptr) == XML_TRUE) {
            spare_.push_back(p);
        } else {
            XML_ParserFree(p);
        }
    }

private:
    static constexpr size_t kKept = 4;
    std::vector<XML_Parser> spare_;
};

thread_local SpareParsers spareParsers;

}  // namespace

XmlParser::XmlParser(XmlHandler& handler, std::string part) : handler_(handler), part_(std::move(part)) {
    parser_ = spareParsers.take();
    if (!parser_) throw std::bad_alloc();
    XML_SetHashSalt(parser_, hashSalt());
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &XmlParser::onStart, &XmlParser::onEnd);
    XML_SetCharacterDataHandler(parser_, &XmlParser::onText);
    XML_SetStartDoctypeDeclHandler(parser_, &XmlParser::onDoctype);
    XML_SetXmlDeclHandler(parser_, &XmlParser::onXmlDecl);
}

XmlParser::~XmlParser() { spareParsers.giveBack(parser_); }

void XmlParser::fail(std::exception_ptr error) {
    if (!error_) error_ = std::move(error);
    XML_StopParser(parser_, XML_FALSE);
}

// Exceptions must not pass through expat's C frames: they are kept and rethrown after it
// returns.
void XmlParser::onStart(void* self, const char* name, const char** attributes) {
    auto* p = static_cast<XmlParser*>(self);
    try {
        if (++p->depth_ > kMaxXmlDepth) {
            throw FormatError(WorkbookErrorKind::Corrupt,
                              "the part " + p->part_ + " nests its XML elements more than " + std::to_string(kMaxXmlDepth) +
                                  " deep (line " + std::to_string(XML_GetCurrentLineNumber(p->parser_)) +
                                  "), which no workbook part does");
        }
        p->qualifiedName_ = name;
        p->handler_.start(localName(name), attributes);
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void XmlParser::onEnd(void* self, const char* name) {
    auto* p = static_cast<XmlParser*>(self);
    --p->depth_;
    try {
        p->handler_.end(localName(name));
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void XmlParser::onText(void* self, const char* text, int length) {
    auto* p = static_cast<XmlParser*>(self);
    try {
        p->handler_.text(std::string_view(text, static_cast<size_t>(length)));
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void XmlParser::onXmlDecl(void* self, const char*, const char* encoding, int) {
    auto* p = static_cast<XmlParser*>(self);
    try {
        if (encoding) p->encoding_ = encoding;
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void XmlParser::onDoctype(void* self, const char*, const char*, const char*, int) {
    auto* p = static_cast<XmlParser*>(self);
    p->fail(std::make_exception_ptr(
        FormatError(WorkbookErrorKind::Corrupt, "the part " + p->part_ + " declares a document type, which no workbook part has")));
}

void XmlParser::suspend() {
    if (!suspended_ && XML_StopParser(parser_, XML_TRUE) == XML_STATUS_OK) suspended_ = true;
}

std::string_view XmlParser::eventText() const {
    int offset = 0, size = 0;
    const char* buffer = XML_GetInputContext(parser_, &offset, &size);
    const int length = eventLength();
    if (!buffer || offset < 0 || length < 0 || offset + length > size) return {};
    return std::string_view(buffer + offset, static_cast<size_t>(length));
}

void XmlParser::check(int status) {
    if (error_) std::rethrow_exception(error_);
    if (status == XML_STATUS_ERROR) {
        throw FormatError(WorkbookErrorKind::Corrupt,
                          "the part " + part_ + " is not well-formed XML (line " +
                              std::to_string(XML_GetCurrentLineNumber(parser_)) + ": " +
                              XML_ErrorString(XML_GetErrorCode(parser_)) + ")");
    }
}

void XmlParser::feed(std::string_view piece) {
    while (!piece.empty() && !suspended_) {
        const size_t n = std::min<size_t>(piece.size(), 1u << 30);
        check(XML_Parse(parser_, piece.data(), static_cast<int>(n), XML_FALSE));
        piece.remove_prefix(n);
    }
}

void XmlParser::finish() { check(XML_Parse(parser_, "", 0, XML_TRUE)); }

uint64_t XmlParser::eventOffset() const { return static_cast<uint64_t>(XML_GetCurrentByteIndex(parser_)); }

int XmlParser::eventLength() const { return XML_GetCurrentByteCount(parser_); }

void parseXml(XmlHandler& handler, std::string_view xml, const std::string& part) {
    XmlParser parser(handler, part);
    parser.feed(xml);
    parser.finish();
}

}  // namespace sbx::xlsx
