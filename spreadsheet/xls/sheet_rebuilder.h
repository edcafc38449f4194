#pragma once
// Rebuilds the cell table of one worksheet substream with written cells in place: the ROW
// blocks of 32 rows with their DBCELL records, DIMENSIONS and the INDEX record. Every record
// outside the cell table is kept as it was.
#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace sbx::xls {

// By cellKey: the whole record (header and body) that the cell becomes, or an empty vector
// for a cell that keeps no record.
using CellRecords = std::map<uint32_t, std::vector<uint8_t>>;

struct RebuiltSheet {
    std::vector<uint8_t> bytes;     // INDEX positions as if the substream started at 0
    int64_t sharedTextCellsRemoved = 0;
};

// `substream` runs from the worksheet's BOF to the byte before the next substream.
// Rows that had no ROW record get one of the sheet's default height.
RebuiltSheet rebuildSheet(std::span<const uint8_t> substream, const CellRecords& writes);

// Moves the stream positions of a substream's INDEX record (the DBCELL and DEFCOLWIDTH
// positions) by `delta`, for a substream that moves within the workbook stream from
// `oldStart`; a DEFCOLWIDTH position before `oldStart` points elsewhere and stays.
void shiftIndexPositions(std::span<uint8_t> substream, int64_t delta, size_t oldStart);

}  // namespace sbx::xls
