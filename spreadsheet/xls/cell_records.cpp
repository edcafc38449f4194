#include "spreadsheet/xls/cell_records.h"

#include <bit>
#include <cmath>

#include "spreadsheet/xls/biff_output.h"
#include "spreadsheet/xls/biff_records.h"

namespace sbx::xls {

namespace {

constexpr double kRkIntegerLimit = 536870912.0;  // 2^29: RK integers have 30 bits

std::optional<uint32_t> rkInteger(double v) {
    if (v != std::floor(v) || v < -kRkIntegerLimit || v >= kRkIntegerLimit) return std::nullopt;
    return static_cast<uint32_t>(static_cast<int32_t>(v)) << 2;
}

std::optional<uint32_t> rkFloat(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    if ((bits & 0x3FFFFFFFFull) != 0) return std::nullopt;  // the low 34 bits do not fit
    return static_cast<uint32_t>(bits >> 32);
}

BiffOutput cellStart(uint16_t type, uint16_t row, uint16_t column, uint16_t xf, size_t& start) {
    BiffOutput out;
    start = out.beginRecord(type);
    out.u16(row);
    out.u16(column);
    out.u16(xf);
    return out;
}

}  // namespace

double decodeRk(uint32_t rk) {
    double value;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        value = std::bit_cast<double>(static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32);
    }
    return (rk & 0x01) ? value / 100.0 : value;
}

std::optional<uint32_t> exactRk(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    if (auto rk = rkInteger(value)) return *rk | 0x2u;
    const double hundredfold = value * 100.0;
    if (hundredfold / 100.0 == value) {
        if (auto rk = rkInteger(hundredfold)) return *rk | 0x3u;
    }
    if (auto rk = rkFloat(value)) return *rk;
    if (hundredfold / 100.0 == value) {
        if (auto rk = rkFloat(hundredfold)) return *rk | 0x1u;
    }
    return std::nullopt;
}

std::vector<uint8_t> numberRecord(uint16_t row, uint16_t column, uint16_t xf, double value) {
    size_t s = 0;
    if (const auto rk = exactRk(value)) {
        BiffOutput out = cellStart(rec::Rk, row, column, xf, s);
        out.u32(*rk);
        out.endRecord(s);
        return std::move(out.bytes());
    }
    BiffOutput out = cellStart(rec::Number, row, column, xf, s);
    out.f64(value);
    out.endRecord(s);
    return std::move(out.bytes());
}

std::vector<uint8_t> sharedTextRecord(uint16_t row, uint16_t column, uint16_t xf, uint32_t sstIndex) {
    size_t s = 0;
    BiffOutput out = cellStart(rec::LabelSst, row, column, xf, s);
    out.u32(sstIndex);
    out.endRecord(s);
    return std::move(out.bytes());
}

std::vector<uint8_t> booleanRecord(uint16_t row, uint16_t column, uint16_t xf, bool value) {
    size_t s = 0;
    BiffOutput out = cellStart(rec::BoolErr, row, column, xf, s);
    out.u8(value ? 1 : 0);
    out.u8(0);
    out.endRecord(s);
    return std::move(out.bytes());
}

std::vector<uint8_t> errorRecord(uint16_t row, uint16_t column, uint16_t xf, uint8_t code) {
    size_t s = 0;
    BiffOutput out = cellStart(rec::BoolErr, row, column, xf, s);
    out.u8(code);
    out.u8(1);
    out.endRecord(s);
    return std::move(out.bytes());
}

std::vector<uint8_t> blankRecord(uint16_t row, uint16_t column, uint16_t xf) {
    size_t s = 0;
    BiffOutput out = cellStart(rec::Blank, row, column, xf, s);
    out.endRecord(s);
    return std::move(out.bytes());
}

}  // namespace sbx::xls
