#pragma once
// The compound file container's fixed layout (sector numbers with a meaning, header and
// directory entry offsets) and the name rules its reader and writer share.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sbx::xls::cfb {

constexpr std::array<uint8_t, 8> kSignature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Special values of sector numbers and directory links.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kDifatMarker = 0xFFFFFFFC;
constexpr uint32_t kFatMarker = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;

constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;
constexpr size_t kMaxNameUnits = 31;  // plus the terminating zero: 64 bytes
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr size_t kMiniSectorSize = 64;
// Deeper nesting than any real document uses; the limit keeps recursion bounded.
constexpr int kMaxStorageDepth = 128;

// Header field offsets.
constexpr size_t kOffMajorVersion = 26;
constexpr size_t kOffByteOrder = 28;
constexpr size_t kOffSectorShift = 30;
constexpr size_t kOffMiniSectorShift = 32;
constexpr size_t kOffFatSectorCount = 44;
constexpr size_t kOffFirstDirSector = 48;
constexpr size_t kOffMiniCutoff = 56;
constexpr size_t kOffFirstMiniFatSector = 60;
constexpr size_t kOffMiniFatSectorCount = 64;
constexpr size_t kOffFirstDifatSector = 68;
constexpr size_t kOffDifatSectorCount = 72;
constexpr size_t kOffHeaderDifat = 76;

// Directory entry field offsets.
constexpr size_t kOffNameLength = 64;
constexpr size_t kOffType = 66;
constexpr size_t kOffColor = 67;
constexpr size_t kOffLeft = 68;
constexpr size_t kOffRight = 72;
constexpr size_t kOffChild = 76;
constexpr size_t kOffClsid = 80;
constexpr size_t kOffStateBits = 96;
constexpr size_t kOffCreated = 100;
constexpr size_t kOffModified = 108;
constexpr size_t kOffStartSector = 116;
constexpr size_t kOffStreamSize = 120;

// Upper case of one UTF-16 unit as the container's name ordering needs it.
char16_t upperUnit(char16_t c);
// The container's order of names: shorter first, then unit by unit in upper case.
int compareNames(std::u16string_view a, std::u16string_view b);
// A name for messages: UTF-8, with control characters escaped.
std::string printableName(std::u16string_view name);
std::string hex32(uint32_t v);
uint64_t ceilDiv(uint64_t a, uint64_t b);

}  // namespace sbx::xls::cfb
