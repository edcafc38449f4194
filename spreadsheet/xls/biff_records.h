#pragma once
// Record numbers of the BIFF5/BIFF8 workbook stream that the engine reads or writes.
#include <cstdint>

namespace sbx::xls::rec {

inline constexpr uint16_t Formula = 0x0006;
// BIFF4's number for FORMULA. Some writers give it to BIFF5/BIFF8 FORMULA records, laid out
// as those are; xlrd and LibreOffice read them as FORMULA, and so does the engine.
inline constexpr uint16_t FormulaBiff4 = 0x0406;
inline constexpr uint16_t Eof = 0x000A;
inline constexpr uint16_t Protect = 0x0012;
inline constexpr uint16_t DateMode = 0x0022;
inline constexpr uint16_t FilePass = 0x002F;
inline constexpr uint16_t Continue = 0x003C;
inline constexpr uint16_t CodePage = 0x0042;
inline constexpr uint16_t ColInfo = 0x007D;
inline constexpr uint16_t BoundSheet = 0x0085;
inline constexpr uint16_t MulRk = 0x00BD;
inline constexpr uint16_t MulBlank = 0x00BE;
inline constexpr uint16_t RString = 0x00D6;
inline constexpr uint16_t Xf = 0x00E0;
inline constexpr uint16_t Sst = 0x00FC;
inline constexpr uint16_t LabelSst = 0x00FD;
inline constexpr uint16_t Dimensions = 0x0200;
inline constexpr uint16_t Blank = 0x0201;
inline constexpr uint16_t Number = 0x0203;
inline constexpr uint16_t Label = 0x0204;
inline constexpr uint16_t BoolErr = 0x0205;
inline constexpr uint16_t String = 0x0207;
inline constexpr uint16_t Row = 0x0208;
inline constexpr uint16_t Array = 0x0221;
inline constexpr uint16_t Table = 0x0236;
inline constexpr uint16_t Rk = 0x027E;
inline constexpr uint16_t Format = 0x041E;
inline constexpr uint16_t Bof = 0x0809;

// BOF records of the older formats (Excel 2.1-4.0), read by old_biff_reader.
inline constexpr uint16_t Bof2 = 0x0009;
inline constexpr uint16_t Bof3 = 0x0209;
inline constexpr uint16_t Bof4 = 0x0409;

// BOF substream types.
inline constexpr uint16_t BofGlobals = 0x0005;
inline constexpr uint16_t BofWorksheet = 0x0010;
inline constexpr uint16_t BofChart = 0x0020;
inline constexpr uint16_t BofMacroSheet = 0x0040;

// BOF versions.
inline constexpr uint16_t VersionBiff5 = 0x0500;
inline constexpr uint16_t VersionBiff8 = 0x0600;

// The record number a worksheet record of a BIFF5/BIFF8 stream is read as.
inline uint16_t worksheetRecordType(uint16_t type) { return type == FormulaBiff4 ? Formula : type; }

}  // namespace sbx::xls::rec
