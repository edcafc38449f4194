#pragma once
// Builds small BIFF8 workbooks record by record, for tests that need a record layout no
// application writes on demand (strings split at a given byte, duplicate cells, ...).
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "spreadsheet/xls/compound_file.h"

namespace sbx::test {

class BiffBuilder {
public:
    BiffBuilder& record(uint16_t type, const std::vector<uint8_t>& body) {
        put16(type);
        put16(static_cast<uint16_t>(body.size()));
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        return *this;
    }
    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }

    // Wraps the stream as the "Workbook" stream of a compound file.
    std::vector<uint8_t> container(const char16_t* streamName = u"Workbook") const {
        xls::CompoundFile cf;
        xls::CfbNode stream;
        stream.name = streamName;
        stream.type = xls::CfbNode::Type::Stream;
        stream.data = bytes_;
        cf.root().children.push_back(stream);
        return cf.serialize();
    }

private:
    void put16(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    std::vector<uint8_t> bytes_;
};

// Little helpers for record bodies.
inline void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, static_cast<uint16_t>(v));
    put16(b, static_cast<uint16_t>(v >> 16));
}
inline void putF64(std::vector<uint8_t>& b, double v) {
    uint64_t u;
    static_assert(sizeof u == sizeof v);
    std::memcpy(&u, &v, sizeof u);
    put32(b, static_cast<uint32_t>(u));
    put32(b, static_cast<uint32_t>(u >> 32));
}
inline std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline std::vector<uint8_t> u16s(std::initializer_list<uint16_t> values) {
    std::vector<uint8_t> b;
    for (uint16_t v : values) put16(b, v);
    return b;
}
// An 8-bit (compressed) XLUnicodeString with a 16-bit count.
inline std::vector<uint8_t> latin1String(const std::string& s) {
    std::vector<uint8_t> b;
    put16(b, static_cast<uint16_t>(s.size()));
    b.push_back(0);
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

// Record bodies of the records most tests need.
inline std::vector<uint8_t> bofBody(uint16_t substreamType) {
    return cat({u16s({0x0600, substreamType, 0x0DBB, 0x07CC}), u16s({0, 0, 0, 0})});
}
inline std::vector<uint8_t> xfBody(uint16_t formatId, bool locked = true) {
    return cat({u16s({0, formatId, static_cast<uint16_t>(locked ? 1 : 0)}), std::vector<uint8_t>(14, 0)});
}
inline std::vector<uint8_t> cellHeader(uint16_t row, uint16_t col, uint16_t xfIndex) { return u16s({row, col, xfIndex}); }
inline std::vector<uint8_t> numberBody(uint16_t row, uint16_t col, double v, uint16_t xfIndex) {
    auto b = cellHeader(row, col, xfIndex);
    putF64(b, v);
    return b;
}

using Records = std::vector<std::pair<uint16_t, std::vector<uint8_t>>>;

// A compound file whose workbook holds the given globals and one worksheet "Sheet1" made of
// the given records (between its BOF and EOF).
inline std::vector<uint8_t> oneSheetWorkbook(const Records& globals, const Records& sheet) {
    BiffBuilder b;
    b.record(0x0809, bofBody(0x0005));
    for (const auto& [type, body] : globals) b.record(type, body);
    const size_t boundSheetAt = b.size();
    b.record(0x0085, cat({std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 6, 0}, {'S', 'h', 'e', 'e', 't', '1'}}));
    b.record(0x000A, {});
    const auto sheetOffset = static_cast<uint32_t>(b.size());
    for (size_t i = 0; i < 4; ++i) b.bytes()[boundSheetAt + 4 + i] = static_cast<uint8_t>(sheetOffset >> (8 * i));
    b.record(0x0809, bofBody(0x0010));
    for (const auto& [type, body] : sheet) b.record(type, body);
    b.record(0x000A, {});
    return b.container();
}

}  // namespace sbx::test
