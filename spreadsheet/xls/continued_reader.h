#pragma once
// Reads a record body that goes on in CONTINUE records as one sequence of bytes, with the
// one twist of BIFF8 strings: when a string's characters cross into a CONTINUE record, that
// record starts with a fresh option byte saying whether the rest is 8-bit or 16-bit.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sbx::xls {

class ContinuedReader {
public:
    explicit ContinuedReader(std::vector<std::span<const uint8_t>> segments)
        : segments_(std::move(segments)) {}

    bool atEnd();
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    void skip(size_t n);

    // Appends `count` characters as UTF-8; `wide` says whether they start as 16-bit units.
    void appendChars(std::string& out, size_t count, bool wide);

private:
    // Makes the current segment non-empty; false at the end of the data.
    bool settle();
    [[noreturn]] void fail() const;

    std::vector<std::span<const uint8_t>> segments_;
    size_t segment_ = 0;
    size_t pos_ = 0;
};

// Reads an XLUnicodeString (16-bit count, option byte, characters, rich-text runs and
// East Asian phonetic block skipped) from one span; FormatError when it does not fit.
// `used` receives the bytes taken.
std::string readBiff8String(std::span<const uint8_t> data, size_t countBytes, size_t* used = nullptr);

}  // namespace sbx::xls
