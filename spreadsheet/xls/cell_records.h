#pragma once
// Whole records (header and body) for cells the writer stores, and the RK number form both
// ways.
#include <cstdint>
#include <optional>
#include <vector>

namespace sbx::xls {

// The number an RK value holds: a 30-bit integer or the top 30 bits of a double, either
// possibly divided by 100.
double decodeRk(uint32_t rk);

// The RK form of a number when it holds the number exactly.
std::optional<uint32_t> exactRk(double value);

// RK when exact, NUMBER otherwise.
std::vector<uint8_t> numberRecord(uint16_t row, uint16_t column, uint16_t xf, double value);
std::vector<uint8_t> sharedTextRecord(uint16_t row, uint16_t column, uint16_t xf, uint32_t sstIndex);
std::vector<uint8_t> booleanRecord(uint16_t row, uint16_t column, uint16_t xf, bool value);
std::vector<uint8_t> errorRecord(uint16_t row, uint16_t column, uint16_t xf, uint8_t code);
std::vector<uint8_t> blankRecord(uint16_t row, uint16_t column, uint16_t xf);

}  // namespace sbx::xls
