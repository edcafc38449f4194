#include "spreadsheet/xls/compound_file.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "spreadsheet/xls/compound_file_layout.h"

namespace sbx::xls {

namespace cfb {

// Upper case of one UTF-16 unit as the container's name ordering needs it: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic and the full-width Latin letters. Other scripts have no
// case, or are too rare in stream names to matter.
char16_t upperUnit(char16_t c) {
    const unsigned u = c;
    const auto minus = [c](unsigned d) { return static_cast<char16_t>(c - d); };
    if (u < 0x80) return (u >= 'a' && u <= 'z') ? minus(0x20) : c;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return minus(0x20);
    if (u == 0xFF) return u'\u0178';
    if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) return (u & 1) ? minus(1) : c;
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return (u & 1) ? c : minus(1);
    if (u == 0x3AC) return u'\u0386';
    if (u >= 0x3AD && u <= 0x3AF) return minus(0x25);
    if (u == 0x3C2) return u'\u03A3';
    if ((u >= 0x3B1 && u <= 0x3C1) || (u >= 0x3C3 && u <= 0x3CB)) return minus(0x20);
    if (u == 0x3CC) return u'\u038C';
    if (u == 0x3CD || u == 0x3CE) return minus(0x3F);
    if (u >= 0x430 && u <= 0x44F) return minus(0x20);
    if (u >= 0x450 && u <= 0x45F) return minus(0x50);
    if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x52F))
        return (u & 1) ? minus(1) : c;
    if (u >= 0x4C1 && u <= 0x4CE) return (u & 1) ? c : minus(1);
    if (u >= 0xFF41 && u <= 0xFF5A) return minus(0x20);
    return c;
}

// The order of siblings in a directory tree: shorter names first, then unit by unit on the
// upper-cased names.
int compareNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t x = upperUnit(a[i]);
        const char16_t y = upperUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// A name for messages: UTF-8, with control characters (the \x05 of property streams) escaped.
std::string printableName(std::u16string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t cp = name[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", cp);
            out += buf;
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

uint64_t ceilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

}  // namespace cfb

namespace {

template <typename Children>
auto findChild(Children& children, std::u16string_view name) -> decltype(&children.front()) {
    for (auto& c : children)
        if (cfb::compareNames(c.name, name) == 0) return &c;
    return nullptr;
}

}  // namespace


const CfbNode* CfbNode::child(std::u16string_view childName) const {
    return findChild(children, childName);
}

CfbNode* CfbNode::child(std::u16string_view childName) {
    return findChild(children, childName);
}

bool CompoundFile::hasSignature(std::span<const uint8_t> bytes) {
    return bytes.size() >= cfb::kSignature.size() &&
           std::equal(cfb::kSignature.begin(), cfb::kSignature.end(), bytes.begin());
}

}  // namespace sbx::xls
