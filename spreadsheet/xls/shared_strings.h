#pragma once
// The shared string table (SST) of a BIFF8 workbook.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sbx::xls {

// Reads the strings of an SST record body and its CONTINUE records. The stated number of
// unique strings is only a hint: some writers state more than they store, and the table
// then holds the strings that are there.
std::vector<std::string> readSharedStrings(std::vector<std::span<const uint8_t>> segments);

}  // namespace sbx::xls
