#include "spreadsheet/xlsx/sheet_data_scanner.h"

#include <cstring>

namespace sbx::xlsx {

namespace {

constexpr size_t kIncomplete = static_cast<size_t>(-1);
// A token longer than this is left to expat, which streams it in bounded memory.
constexpr size_t kMaxToken = 1u << 20;

bool isNameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isNameChar(unsigned char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':';
}
bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A byte that needs more than copying: markup, control characters (CR included), non-ASCII.
bool isPlain(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '&' && c != ']' && c != '<'; }

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool isXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the well-formed UTF-8 sequence of an XML character at `p`, or 0.
size_t utf8Length(const unsigned char* p, const unsigned char* end) {
    const auto cont = [&](size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
    const unsigned char b = p[0];
    if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if (b == 0xE0 && p[1] < 0xA0) return 0;                 // overlong
        if (b == 0xED && p[1] > 0x9F) return 0;                 // surrogates
        if (b == 0xEF && p[1] == 0xBF && p[2] > 0xBD) return 0;  // U+FFFE, U+FFFF
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if (b == 0xF0 && p[1] < 0x90) return 0;
        if (b == 0xF4 && p[1] > 0x8F) return 0;
        return 4;
    }
    return 0;
}

}  // namespace

SheetDataScanner::SheetDataScanner(XmlHandler& handler, std::string endName)
    : handler_(handler), endName_(std::move(endName)) {}

bool SheetDataScanner::feed(std::string_view piece, std::string_view& rest) {
    if (done_) throw ScanDeclined();
    if (carry_.empty()) {
        const size_t used = scan(piece);
        if (done_) {
            rest = piece.substr(used);
            return true;
        }
        carry_.assign(piece.substr(used));
    } else {
        // The token left over ends in this piece or later: it is scanned again whole.
        const size_t before = carry_.size();
        carry_.append(piece);
        const size_t used = scan(carry_);
        if (done_) {
            rest = piece.substr(used - before);
            carry_.clear();
            return true;
        }
        carry_.erase(0, used);
    }
    if (carry_.size() > kMaxToken) throw ScanDeclined();
    return false;
}

size_t SheetDataScanner::scan(std::string_view data) {
    size_t pos = 0;
    const size_t n = data.size();
    while (pos < n && !done_) {
        if (data[pos] != '<') {
            const void* lt = std::memchr(data.data() + pos, '<', n - pos);
            if (!lt) break;
            pos = text(data.substr(pos), static_cast<size_t>(static_cast<const char*>(lt) - data.data()) - pos) + pos;
            continue;
        }
        if (pos + 1 >= n) break;
        const size_t next = data[pos + 1] == '/' ? endTag(data, pos) : startTag(data, pos);
        if (next == kIncomplete) break;
        pos = next;
    }
    return pos;
}

void SheetDataScanner::decodeInto(std::string& out, std::string_view raw, bool attribute) {
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    const auto* end = p + raw.size();
    while (p < end) {
        const unsigned char c = *p;
        if (isPlain(c)) {
            // Most of a value is plain: copied a run at a time.
            const auto* run = p;
            while (p < end && isPlain(*p)) ++p;
            out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
        } else if (c == '\t' || c == '\n') {
            out.push_back(attribute ? ' ' : static_cast<char>(c));
            ++p;
        } else if (c == '\r') {
            // Line ends read as one LF, which attribute values turn into a space.
            out.push_back(attribute ? ' ' : '\n');
            p += (end - p >= 2 && p[1] == '\n') ? 2 : 1;
        } else if (c == ']') {
            if (!attribute && end - p >= 3 && p[1] == ']' && p[2] == '>') throw ScanDeclined();
            out.push_back(']');
            ++p;
        } else if (c >= 0x80) {
            const size_t length = utf8Length(p, end);
            if (length == 0) throw ScanDeclined();
            out.append(reinterpret_cast<const char*>(p), length);
            p += length;
        } else if (c == '&') {
            const auto* semicolon = static_cast<const unsigned char*>(std::memchr(p, ';', static_cast<size_t>(end - p)));
            if (!semicolon) throw ScanDeclined();
            const std::string_view name(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(semicolon - p - 1));
            if (name == "amp") out.push_back('&');
            else if (name == "lt") out.push_back('<');
            else if (name == "gt") out.push_back('>');
            else if (name == "quot") out.push_back('"');
            else if (name == "apos") out.push_back('\'');
            else if (name.size() >= 2 && name.size() <= 10 && name[0] == '#') {
                const bool hex = name[1] == 'x';
                std::string_view digits = name.substr(hex ? 2 : 1);
                if (digits.empty()) throw ScanDeclined();
                uint32_t code = 0;
                for (const char d : digits) {
                    int v = -1;
                    if (d >= '0' && d <= '9') v = d - '0';
                    else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
                    else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
                    if (v < 0) throw ScanDeclined();
                    code = code * (hex ? 16 : 10) + static_cast<uint32_t>(v);
                    if (code > 0x10FFFF) throw ScanDeclined();
                }
                if (!isXmlChar(code)) throw ScanDeclined();
                appendUtf8(out, code);
            } else {
                throw ScanDeclined();  // an entity no DTD of ours declares
            }
            p = semicolon + 1;
        } else {
            throw ScanDeclined();  // '<' in a value, a control character
        }
    }
}

size_t SheetDataScanner::text(std::string_view data, size_t end) {
    const std::string_view raw = data.substr(0, end);
    bool plain = true;
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (!isPlain(u) && u != '\n' && u != '\t') {
            plain = false;
            break;
        }
    }
    if (plain) {
        handler_.text(raw);
    } else {
        decoded_.clear();
        decodeInto(decoded_, raw, false);
        handler_.text(decoded_);
    }
    return end;
}

size_t SheetDataScanner::startTag(std::string_view data, size_t pos) {
    const size_t n = data.size();
    size_t p = pos + 1;
    if (!isNameStart(static_cast<unsigned char>(data[p]))) throw ScanDeclined();  // <!-- <![CDATA[ <?pi
    while (p < n && isNameChar(static_cast<unsigned char>(data[p]))) ++p;
    if (p >= n) return kIncomplete;
    const std::string_view name = data.substr(pos + 1, p - pos - 1);
    names_.clear();
    offsets_.clear();
    bool empty = false;
    for (;;) {
        const size_t blankStart = p;
        while (p < n && isBlank(static_cast<unsigned char>(data[p]))) ++p;
        if (p >= n) return kIncomplete;
        const char c = data[p];
        if (c == '>') {
            ++p;
            break;
        }
        if (c == '/') {
            if (p + 1 >= n) return kIncomplete;
            if (data[p + 1] != '>') throw ScanDeclined();
            p += 2;
            empty = true;
            break;
        }
        if (p == blankStart || !isNameStart(static_cast<unsigned char>(c))) throw ScanDeclined();
        const size_t nameStart = p;
        while (p < n && isNameChar(static_cast<unsigned char>(data[p]))) ++p;
        const std::string_view attributeName = data.substr(nameStart, p - nameStart);
        while (p < n && isBlank(static_cast<unsigned char>(data[p]))) ++p;
        if (p >= n) return kIncomplete;
        if (data[p] != '=') throw ScanDeclined();
        ++p;
        while (p < n && isBlank(static_cast<unsigned char>(data[p]))) ++p;
        if (p >= n) return kIncomplete;
        const char quote = data[p];
        if (quote != '"' && quote != '\'') throw ScanDeclined();
        const void* close = std::memchr(data.data() + p + 1, quote, n - p - 1);
        if (!close) return kIncomplete;
        const size_t valueEnd = static_cast<size_t>(static_cast<const char*>(close) - data.data());
        for (size_t k = 0; k < offsets_.size(); k += 2) {
            const size_t length = offsets_[k + 1] - offsets_[k] - 1;
            if (length == attributeName.size() &&
                std::memcmp(names_.data() + offsets_[k], attributeName.data(), length) == 0) {
                throw ScanDeclined();  // an attribute twice
            }
        }
        offsets_.push_back(names_.size());
        names_.append(attributeName);
        names_.push_back('\0');
        offsets_.push_back(names_.size());
        decodeInto(names_, data.substr(p + 1, valueEnd - p - 1), true);
        names_.push_back('\0');
        p = valueEnd + 1;
    }
    attributes_.clear();
    for (const size_t offset : offsets_) attributes_.push_back(names_.data() + offset);
    attributes_.push_back(nullptr);
    const std::string_view local = localName(name);
    handler_.start(local, attributes_.data());
    if (empty) {
        handler_.end(local);
    } else {
        // Deep nesting is left to expat, which refuses it with its line.
        if (depth_ + 2 >= static_cast<size_t>(kMaxXmlDepth)) throw ScanDeclined();
        if (depth_ < open_.size()) open_[depth_].assign(name);
        else open_.emplace_back(name);
        ++depth_;
    }
    return p;
}

size_t SheetDataScanner::endTag(std::string_view data, size_t pos) {
    const size_t n = data.size();
    size_t p = pos + 2;
    if (p >= n) return kIncomplete;
    if (!isNameStart(static_cast<unsigned char>(data[p]))) throw ScanDeclined();
    while (p < n && isNameChar(static_cast<unsigned char>(data[p]))) ++p;
    const std::string_view name = data.substr(pos + 2, p - pos - 2);
    while (p < n && isBlank(static_cast<unsigned char>(data[p]))) ++p;
    if (p >= n) return kIncomplete;
    if (data[p] != '>') throw ScanDeclined();
    if (depth_ == 0) {
        if (name != endName_) throw ScanDeclined();
        done_ = true;
    } else {
        if (name != open_[depth_ - 1]) throw ScanDeclined();
        --depth_;
    }
    handler_.end(localName(name));
    return p + 1;
}

}  // namespace sbx::xlsx
