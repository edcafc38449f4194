#include "spreadsheet/xls/text_encoding.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "spreadsheet/xls/codepage_tables.h"

namespace sbx::xls {
namespace {

using codepages::CodePageTable;
using codepages::DoubleByteTable;
using codepages::kLeadByte;
using codepages::kUnmapped;

constexpr char32_t kReplacement = 0xFFFD;
constexpr uint16_t kUtf16CodePage = 1200;
constexpr uint16_t kFallbackCodePage = 1252;

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
char32_t joinSurrogates(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

const CodePageTable* findTable(uint16_t codePage) {
    const auto tables = codepages::codePageTables();
    const auto it = std::lower_bound(
        tables.begin(), tables.end(), codePage,
        [](const CodePageTable& table, uint16_t page) { return table.codePage < page; });
    return it != tables.end() && it->codePage == codePage ? &*it : nullptr;
}

const CodePageTable& tableOrFallback(uint16_t codePage) {
    const CodePageTable* table = findTable(codePage);
    return table != nullptr ? *table : *findTable(kFallbackCodePage);
}

char16_t singleByteUnit(const CodePageTable& table, uint8_t byte) {
    return byte < table.singlesFirst ? char16_t{byte} : table.singles[byte - table.singlesFirst];
}

// Calls emit with each code point; each maximal invalid prefix becomes one U+FFFD and
// decoding resumes at the byte that broke it. Returns false when the text was not UTF-8.
template <typename Emit>
bool decodeUtf8(std::string_view utf8, Emit emit) {
    const auto byteAt = [utf8](size_t i) { return static_cast<uint8_t>(utf8[i]); };
    bool allValid = true;
    size_t i = 0;
    while (i < utf8.size()) {
        const uint8_t lead = byteAt(i);
        if (lead < 0x80) {
            emit(char32_t{lead});
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (no overlongs, no surrogates,
        // nothing above U+10FFFF).
        size_t length = 0;
        uint8_t secondMin = 0x80;
        uint8_t secondMax = 0xBF;
        char32_t codePoint = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0Fu;
            if (lead == 0xE0) secondMin = 0xA0;
            if (lead == 0xED) secondMax = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07u;
            if (lead == 0xF0) secondMin = 0x90;
            if (lead == 0xF4) secondMax = 0x8F;
        }
        size_t used = 1;
        bool valid = length != 0;
        while (valid && used < length) {
            const uint8_t low = used == 1 ? secondMin : uint8_t{0x80};
            const uint8_t high = used == 1 ? secondMax : uint8_t{0xBF};
            if (i + used >= utf8.size() || byteAt(i + used) < low || byteAt(i + used) > high) {
                valid = false;
            } else {
                codePoint = (codePoint << 6) | (byteAt(i + used) & 0x3Fu);
                ++used;
            }
        }
        i += used;
        allValid = allValid && valid;
        emit(valid ? codePoint : kReplacement);
    }
    return allValid;
}

// --- double-byte grids, unpacked on first use of each page ---

std::vector<char16_t> unpackGrid(const DoubleByteTable& table) {
    std::vector<char16_t> cells;
    cells.reserve(table.cellCount());
    for (const uint16_t token : table.packed) {
        if (token >= codepages::kHoleTokenFirst && token < codepages::kTokenRangeEnd) {
            cells.insert(cells.end(), size_t{token} - codepages::kHoleTokenFirst + 1, kUnmapped);
        } else if (token >= codepages::kRunTokenFirst && token < codepages::kHoleTokenFirst) {
            const size_t count = size_t{token} - codepages::kRunTokenFirst + 1;
            for (size_t i = 0; i < count && !cells.empty(); ++i) {
                cells.push_back(static_cast<char16_t>(cells.back() + 1));
            }
        } else {
            cells.push_back(static_cast<char16_t>(token));
        }
    }
    // The generator checks the size; this only keeps a bad table from reading out of range.
    cells.resize(table.cellCount(), kUnmapped);
    return cells;
}

template <size_t Index>
const std::vector<char16_t>& gridAt() {
    static const std::vector<char16_t> grid = unpackGrid(codepages::doubleByteTables()[Index]);
    return grid;
}

template <size_t... Index>
constexpr auto makeGridGetters(std::index_sequence<Index...>) {
    return std::array<const std::vector<char16_t>& (*)(), sizeof...(Index)>{&gridAt<Index>...};
}
constexpr auto kGridGetters =
    makeGridGetters(std::make_index_sequence<codepages::kDoubleByteTableCount>{});

const std::vector<char16_t>& gridOf(const CodePageTable& table) {
    return kGridGetters[static_cast<size_t>(table.doubleByteIndex)]();
}

char16_t pairUnit(const DoubleByteTable& table, const std::vector<char16_t>& grid, uint8_t lead,
                  uint8_t trail) {
    if (lead < table.leadFirst || lead > table.leadLast || trail < table.trailFirst ||
        trail > table.trailLast) {
        return kUnmapped;
    }
    return grid[(size_t{lead} - table.leadFirst) * table.trailCount() + (trail - table.trailFirst)];
}

void appendSingleBytePage(std::string& out, const uint8_t* bytes, size_t count,
                          const CodePageTable& table) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte < 0x80 && table.singlesFirst == 0x80) {
            out.push_back(static_cast<char>(byte));
        } else {
            appendUtf8(out, singleByteUnit(table, byte));
        }
    }
}

void appendDoubleBytePage(std::string& out, const uint8_t* bytes, size_t count,
                          const CodePageTable& table) {
    const DoubleByteTable& pairs =
        codepages::doubleByteTables()[static_cast<size_t>(table.doubleByteIndex)];
    const std::vector<char16_t>& grid = gridOf(table);
    size_t i = 0;
    while (i < count) {
        const uint8_t byte = bytes[i];
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        const char16_t single = table.singles[byte - 0x80];
        if (single != kLeadByte) {
            appendUtf8(out, single);
            ++i;
            continue;
        }
        if (i + 1 == count) {  // lead byte cut off by the end of the string
            appendUtf8(out, kReplacement);
            break;
        }
        const uint8_t trail = bytes[i + 1];
        const char16_t unit = pairUnit(pairs, grid, byte, trail);
        appendUtf8(out, unit);
        // An unmapped pair with an ASCII trail byte: the trail is a character of its own.
        i += (unit == kUnmapped && trail < 0x80) ? 1 : 2;
    }
}

// --- reverse lookup for the writer ---

// Unit -> bytes (lead << 8 | trail, or a single byte), sorted by unit.
using ReverseTable = std::vector<std::pair<char16_t, uint16_t>>;

ReverseTable buildReverse(const CodePageTable& table, const DoubleByteTable& pairs,
                          const std::vector<char16_t>& grid) {
    ReverseTable reverse;
    reverse.reserve(grid.size() + 0x100);
    // In byte order, so that a stable sort keeps the lowest sequence of a unit first.
    for (unsigned byte = 0; byte < 0x100; ++byte) {
        const char16_t unit = singleByteUnit(table, static_cast<uint8_t>(byte));
        if (unit != kUnmapped && unit != kLeadByte) {
            reverse.emplace_back(unit, static_cast<uint16_t>(byte));
        }
    }
    for (size_t cell = 0; cell < grid.size(); ++cell) {
        if (grid[cell] == kUnmapped) continue;
        const size_t lead = pairs.leadFirst + cell / pairs.trailCount();
        const size_t trail = pairs.trailFirst + cell % pairs.trailCount();
        reverse.emplace_back(grid[cell], static_cast<uint16_t>(lead << 8 | trail));
    }
    std::stable_sort(reverse.begin(), reverse.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    reverse.erase(std::unique(reverse.begin(), reverse.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  reverse.end());
    for (const auto& preferred : pairs.preferred) {
        const auto it = std::lower_bound(reverse.begin(), reverse.end(),
                                         std::pair<char16_t, uint16_t>{preferred.unit, 0});
        if (it != reverse.end() && it->first == preferred.unit) it->second = preferred.bytes;
    }
    return reverse;
}

template <size_t Index>
const ReverseTable& reverseAt() {
    static const ReverseTable reverse = [] {
        const auto tables = codepages::codePageTables();
        const auto table = std::find_if(tables.begin(), tables.end(), [](const auto& t) {
            return t.doubleByteIndex == static_cast<int>(Index);
        });
        return buildReverse(*table, codepages::doubleByteTables()[Index], gridAt<Index>());
    }();
    return reverse;
}

template <size_t... Index>
constexpr auto makeReverseGetters(std::index_sequence<Index...>) {
    return std::array<const ReverseTable& (*)(), sizeof...(Index)>{&reverseAt<Index>...};
}
constexpr auto kReverseGetters =
    makeReverseGetters(std::make_index_sequence<codepages::kDoubleByteTableCount>{});

// Code point -> bytes in one page; false when the page has no mapping.
bool encodeSingleByte(const CodePageTable& table, char32_t codePoint, std::string& out) {
    if (codePoint < 0x80 && table.singlesFirst == 0x80) {
        out.push_back(static_cast<char>(codePoint));
        return true;
    }
    if (codePoint >= 0x10000 || codePoint == kReplacement) return false;
    // 128 or 256 entries: a scan costs less than a table nobody keeps.
    for (unsigned byte = table.singlesFirst; byte < 0x100; ++byte) {
        if (singleByteUnit(table, static_cast<uint8_t>(byte)) == codePoint) {
            out.push_back(static_cast<char>(byte));
            return true;
        }
    }
    return false;
}

bool encodeDoubleByte(const ReverseTable& reverse, char32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
        return true;
    }
    if (codePoint >= 0x10000) return false;
    const auto it = std::lower_bound(
        reverse.begin(), reverse.end(),
        std::pair<char16_t, uint16_t>{static_cast<char16_t>(codePoint), 0});
    if (it == reverse.end() || it->first != codePoint) return false;
    if (it->second >= 0x100) out.push_back(static_cast<char>(it->second >> 8));
    out.push_back(static_cast<char>(it->second & 0xFF));
    return true;
}

void appendUtf16leUnit(std::string& out, char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        codePoint = kReplacement;
    }
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

void appendUtf16le(std::string& out, const uint8_t* units, size_t count) {
    const auto unitAt = [units](size_t i) -> char32_t {
        return char32_t{units[2 * i]} | char32_t{units[2 * i + 1]} << 8;
    };
    for (size_t i = 0; i < count; ++i) {
        const char32_t unit = unitAt(i);
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(unitAt(i + 1))) {
            appendUtf8(out, joinSurrogates(unit, unitAt(i + 1)));
            ++i;
        } else {
            appendUtf8(out, unit);  // a lone surrogate comes out as U+FFFD
        }
    }
}

void appendLatin1(std::string& out, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] < 0x80) {
            out.push_back(static_cast<char>(bytes[i]));
        } else {
            out.push_back(static_cast<char>(0xC0 | (bytes[i] >> 6)));
            out.push_back(static_cast<char>(0x80 | (bytes[i] & 0x3F)));
        }
    }
}

void appendCodePage(std::string& out, const uint8_t* bytes, size_t count, uint16_t codePage) {
    if (codePage == kUtf16CodePage) {
        appendUtf16le(out, bytes, count / 2);
        if (count % 2 != 0) appendUtf8(out, kReplacement);
        return;
    }
    const CodePageTable& table = tableOrFallback(codePage);
    if (table.doubleByteIndex < 0) {
        appendSingleBytePage(out, bytes, count, table);
    } else {
        appendDoubleBytePage(out, bytes, count, table);
    }
}

bool isKnownCodePage(uint16_t codePage) {
    return codePage == kUtf16CodePage || findTable(codePage) != nullptr;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string result;
    result.reserve(utf8.size());
    decodeUtf8(utf8, [&result](char32_t codePoint) {
        if (codePoint >= 0x10000) {
            result.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(codePoint));
        }
    });
    return result;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string result;
    result.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char32_t unit = utf16[i];
        if (isHighSurrogate(unit) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
            appendUtf8(result, joinSurrogates(unit, utf16[i + 1]));
            ++i;
        } else {
            appendUtf8(result, unit);
        }
    }
    return result;
}

// Unmappable characters come out as '?', so that a caller may still use the text.
bool encodeCodePage(std::string_view utf8, uint16_t codePage, std::string& out) {
    out.clear();
    if (codePage == kUtf16CodePage) {
        return decodeUtf8(utf8, [&out](char32_t codePoint) {
            if (codePoint >= 0x10000) {
                appendUtf16leUnit(out, 0xD800 + ((codePoint - 0x10000) >> 10));
                appendUtf16leUnit(out, 0xDC00 + ((codePoint - 0x10000) & 0x3FF));
            } else {
                appendUtf16leUnit(out, codePoint);
            }
        });
    }
    const CodePageTable& table = tableOrFallback(codePage);
    const ReverseTable* reverse =
        table.doubleByteIndex < 0
            ? nullptr
            : &kReverseGetters[static_cast<size_t>(table.doubleByteIndex)]();
    bool complete = true;
    decodeUtf8(utf8, [&](char32_t codePoint) {
        const bool mapped = reverse == nullptr ? encodeSingleByte(table, codePoint, out)
                                               : encodeDoubleByte(*reverse, codePoint, out);
        if (!mapped) {
            out.push_back('?');
            complete = false;
        }
    });
    return complete;
}

}  // namespace sbx::xls
