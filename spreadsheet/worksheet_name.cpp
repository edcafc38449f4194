#include "spreadsheet/worksheet_name.h"

#include <string>

namespace sbx {

namespace {

// Code points of UTF-8 text; a byte that is not valid UTF-8 stands for itself, above the
// code point range so that it equals nothing else.
std::u32string codePoints(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        bool valid = length > 0 && i + static_cast<size_t>(length) <= s.size();
        char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (valid) {
            out += cp;
            i += static_cast<size_t>(length);
        } else {
            out += static_cast<char32_t>(0x110000 + b);
            ++i;
        }
    }
    return out;
}

char32_t foldCase(char32_t c) {
    const auto even = [c] { return c % 2 == 0; };
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;                       // Latin-1
    if (((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && even()) {
        return c + 1;                                                               // Latin Extended-A
    }
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !even()) return c + 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;                     // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                                   // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;                                 // full-width Latin
    return c;
}

}  // namespace

bool sameWorksheetName(std::string_view a, std::string_view b) {
    const std::u32string x = codePoints(a), y = codePoints(b);
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (foldCase(x[i]) != foldCase(y[i])) return false;
    }
    return true;
}

}  // namespace sbx
