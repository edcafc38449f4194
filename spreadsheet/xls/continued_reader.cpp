#include "spreadsheet/xls/continued_reader.h"

#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/text_encoding.h"

namespace sbx::xls {

namespace {
constexpr uint8_t kHighByte = 0x01;
constexpr uint8_t kExtSt = 0x04;
constexpr uint8_t kRichSt = 0x08;
}  // namespace

bool ContinuedReader::settle() {
    while (segment_ < segments_.size() && pos_ >= segments_[segment_].size()) {
        ++segment_;
        pos_ = 0;
    }
    return segment_ < segments_.size();
}

bool ContinuedReader::atEnd() { return !settle(); }

void ContinuedReader::fail() const {
    throwCorrupt("a string table or string record ends in the middle of a string");
}

uint8_t ContinuedReader::u8() {
    if (!settle()) fail();
    return segments_[segment_][pos_++];
}

uint16_t ContinuedReader::u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
}

uint32_t ContinuedReader::u32() {
    const uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
}

void ContinuedReader::skip(size_t n) {
    while (n > 0) {
        if (!settle()) fail();
        const size_t step = std::min(n, segments_[segment_].size() - pos_);
        pos_ += step;
        n -= step;
    }
}

void ContinuedReader::appendChars(std::string& out, size_t count, bool wide) {
    while (count > 0) {
        if (segment_ < segments_.size() && pos_ >= segments_[segment_].size()) {
            // The characters go on in the next record, which restates the width first.
            ++segment_;
            pos_ = 0;
            if (segment_ >= segments_.size() || segments_[segment_].empty()) fail();
            wide = (segments_[segment_][pos_++] & kHighByte) != 0;
            continue;
        }
        if (segment_ >= segments_.size()) fail();
        const auto seg = segments_[segment_];
        const size_t width = wide ? 2 : 1;
        const size_t available = (seg.size() - pos_) / width;
        if (available == 0) fail();  // half a 16-bit unit at a record's end
        const size_t take = std::min(count, available);
        if (wide) {
            appendUtf16le(out, seg.data() + pos_, take);
        } else {
            appendLatin1(out, seg.data() + pos_, take);
        }
        pos_ += take * width;
        count -= take;
    }
}

std::string readBiff8String(std::span<const uint8_t> data, size_t countBytes, size_t* used) {
    ByteReader in(data, "a text record");
    const size_t count = countBytes == 1 ? in.u8() : in.u16();
    const uint8_t options = in.u8();
    const size_t runs = (options & kRichSt) ? in.u16() : 0;
    const size_t extSize = (options & kExtSt) ? in.u32() : 0;
    const bool wide = (options & kHighByte) != 0;
    const auto chars = in.bytes(count * (wide ? 2 : 1));
    std::string text;
    text.reserve(count);
    if (wide) {
        appendUtf16le(text, chars.data(), count);
    } else {
        appendLatin1(text, chars.data(), count);
    }
    // Formatting runs and the phonetic block may be cut off by some writers; the text is whole.
    const size_t tail = std::min(in.remaining(), runs * 4 + extSize);
    in.skip(tail);
    if (used) *used = in.position();
    return text;
}

}  // namespace sbx::xls
