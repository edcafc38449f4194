#pragma once
// Bounds-checked little-endian reading. Every read of file data in the engine goes through
// these helpers, so a short or lying file ends in a FormatError instead of a stray read.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "spreadsheet/xls/format_error.h"

namespace sbx::xls {

// Unchecked loads for callers that have already checked the length.
inline uint16_t loadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t loadU64(const uint8_t* p) {
    return static_cast<uint64_t>(loadU32(p)) | (static_cast<uint64_t>(loadU32(p + 4)) << 32);
}
inline double loadF64(const uint8_t* p) { return std::bit_cast<double>(loadU64(p)); }

inline void storeU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void storeU64(uint8_t* p, uint64_t v) {
    storeU32(p, static_cast<uint32_t>(v));
    storeU32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void storeF64(uint8_t* p, double v) { storeU64(p, std::bit_cast<uint64_t>(v)); }

class ByteReader {
public:
    ByteReader(std::span<const uint8_t> data, const char* what) : data_(data), what_(what) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }

    uint8_t u8() { return *take(1); }
    uint16_t u16() { return loadU16(take(2)); }
    uint32_t u32() { return loadU32(take(4)); }
    double f64() { return loadF64(take(8)); }
    std::span<const uint8_t> bytes(size_t n) { return {take(n), n}; }
    void skip(size_t n) { take(n); }
    void seek(size_t pos) {
        if (pos > data_.size()) fail(pos - data_.size());
        pos_ = pos;
    }

private:
    const uint8_t* take(size_t n) {
        if (n > remaining()) fail(n - remaining());
        const uint8_t* p = data_.data() + pos_;
        pos_ += n;
        return p;
    }
    [[noreturn]] void fail(size_t missing) const {
        throwCorrupt(std::string(what_) + " is " + std::to_string(missing) +
                     " byte(s) shorter than its contents require");
    }

    std::span<const uint8_t> data_;
    const char* what_;
    size_t pos_ = 0;
};

}  // namespace sbx::xls
