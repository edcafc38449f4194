#pragma once
// Building BIFF records: little-endian appends to a growing byte buffer.
#include <cstdint>
#include <span>
#include <vector>

#include "spreadsheet/xls/byte_reader.h"

namespace sbx::xls {

class BiffOutput {
public:
    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void f64(double v) {
        const uint64_t bits = std::bit_cast<uint64_t>(v);
        u32(static_cast<uint32_t>(bits));
        u32(static_cast<uint32_t>(bits >> 32));
    }
    void append(std::span<const uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }

    // A whole record: header and body.
    void record(uint16_t type, std::span<const uint8_t> body) {
        u16(type);
        u16(static_cast<uint16_t>(body.size()));
        append(body);
    }
    // Starts a record whose body follows; finish it with endRecord(start).
    size_t beginRecord(uint16_t type) {
        const size_t start = size();
        u16(type);
        u16(0);
        return start;
    }
    void endRecord(size_t start) {
        storeU16(bytes_.data() + start + 2, static_cast<uint16_t>(size() - start - 4));
    }

private:
    std::vector<uint8_t> bytes_;
};

// Record numbers that only the writer needs.
namespace rec {
inline constexpr uint16_t DbCell = 0x00D7;
inline constexpr uint16_t DefColWidth = 0x0055;
inline constexpr uint16_t ExtSst = 0x00FF;
inline constexpr uint16_t RecalcId = 0x01C1;
inline constexpr uint16_t Index = 0x020B;
inline constexpr uint16_t DefaultRowHeight = 0x0225;
inline constexpr uint16_t Window2 = 0x023E;
inline constexpr uint16_t ShrFmla = 0x04BC;
}  // namespace rec

// Most a record body may hold in BIFF8; longer data goes on in CONTINUE records.
inline constexpr size_t kMaxRecordBody = 8224;

}  // namespace sbx::xls
