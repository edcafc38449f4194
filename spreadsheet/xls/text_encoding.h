#pragma once
// Text decoding for the workbook reader (and encoding for the writer). Everything inside the
// engine is UTF-8. Code pages are the values of the BIFF CODEPAGE record (936 GBK, 950 Big5,
// 932 Shift-JIS, 949 Korean, 1250-1258, 10000 Mac Roman, ...); the tables are built in, the
// standard library has none.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sbx::xls {

void appendUtf8(std::string& out, char32_t codePoint);

// UTF-16LE code units to UTF-8; surrogate pairs are joined, unpaired surrogates become U+FFFD.
void appendUtf16le(std::string& out, const uint8_t* units, size_t count);

// BIFF8 "compressed" strings: one byte per character, the low byte of UTF-16 (ISO-8859-1).
void appendLatin1(std::string& out, const uint8_t* bytes, size_t count);

// Bytes in a code page to UTF-8. Code page 1200 means UTF-16LE (count is then in bytes).
// Bytes the page does not map become U+FFFD; an unknown code page is read as 1252.
void appendCodePage(std::string& out, const uint8_t* bytes, size_t count, uint16_t codePage);
bool isKnownCodePage(uint16_t codePage);

std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// Encodes UTF-8 text in a code page for the writer; false when a character has no mapping.
bool encodeCodePage(std::string_view utf8, uint16_t codePage, std::string& out);

}  // namespace sbx::xls
