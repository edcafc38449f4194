#include "spreadsheet/xls/compound_file.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/format_error.h"

namespace sbx::xls {
namespace {

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

// Upper case of one UTF-16 unit as the container's name ordering needs it: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic and the full-width Latin letters. Other scripts have no
// case, or are too rare in stream names to matter.
char16_t upperUnit(char16_t c) {
    const unsigned u = c;
    const auto minus = [c](unsigned d) { return static_cast<char16_t>(c - d); };
    if (u < 0x80) return (u >= 'a' && u <= 'z') ? minus(0x20) : c;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return minus(0x20);
    if (u == 0xFF) return u'\u0178';
    if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) return (u & 1) ? minus(1) : c;
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return (u & 1) ? c : minus(1);
    if (u == 0x3AC) return u'\u0386';
    if (u >= 0x3AD && u <= 0x3AF) return minus(0x25);
    if (u == 0x3C2) return u'\u03A3';
    if ((u >= 0x3B1 && u <= 0x3C1) || (u >= 0x3C3 && u <= 0x3CB)) return minus(0x20);
    if (u == 0x3CC) return u'\u038C';
    if (u == 0x3CD || u == 0x3CE) return minus(0x3F);
    if (u >= 0x430 && u <= 0x44F) return minus(0x20);
    if (u >= 0x450 && u <= 0x45F) return minus(0x50);
    if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x52F))
        return (u & 1) ? minus(1) : c;
    if (u >= 0x4C1 && u <= 0x4CE) return (u & 1) ? c : minus(1);
    if (u >= 0xFF41 && u <= 0xFF5A) return minus(0x20);
    return c;
}

// The order of siblings in a directory tree: shorter names first, then unit by unit on the
// upper-cased names.
int compareNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t x = upperUnit(a[i]);
        const char16_t y = upperUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// A name for messages: UTF-8, with control characters (the \x05 of property streams) escaped.
std::string printableName(std::u16string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t cp = name[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", cp);
            out += buf;
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

uint64_t ceilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

// ---------------------------------------------------------------------------------------------
// Reading

struct DirEntry {
    std::u16string name;
    CfbNode::Type type = CfbNode::Type::Stream;
    uint32_t child = kNoEntry;
    uint32_t startSector = kEndOfChain;
    uint64_t size = 0;
    const uint8_t* raw = nullptr;
};

class ContainerReader {
public:
    explicit ContainerReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    CfbNode read() {
        readHeader();
        readFat();
        readDirectory();
        return readRoot();
    }

private:
    // Which structure a sector belongs to; used to find loops and sectors used twice.
    using OwnerId = uint32_t;

    void readHeader() {
        if (bytes_.size() < kSignature.size() || !CompoundFile::hasSignature(bytes_))
            throw FormatError(WorkbookErrorKind::NotCompoundFile,
                              "no compound file signature (D0 CF 11 E0 A1 B1 1A E1)");
        if (bytes_.size() < kHeaderSize)
            throwTruncated("the file is " + std::to_string(bytes_.size()) +
                           " bytes long, shorter than the 512-byte compound file header");
        const uint8_t* h = bytes_.data();
        if (loadU16(h + kOffByteOrder) != 0xFFFE)
            throwCorrupt("compound file header has byte order mark " +
                         hex32(loadU16(h + kOffByteOrder)) + " instead of 0xFFFE");
        const uint16_t shift = loadU16(h + kOffSectorShift);
        if (shift != 9 && shift != 12)
            throwCorrupt("compound file header has sector shift " + std::to_string(shift) +
                         " (only 9 and 12, for 512- and 4096-byte sectors, exist)");
        const uint16_t major = loadU16(h + kOffMajorVersion);
        if (major != 3 && major != 4)
            throwCorrupt("compound file header has unknown major version " + std::to_string(major));
        const uint16_t miniShift = loadU16(h + kOffMiniSectorShift);
        if (miniShift != 6)
            throwCorrupt("compound file header has mini sector shift " + std::to_string(miniShift) +
                         " instead of 6");
        const uint32_t cutoff = loadU32(h + kOffMiniCutoff);
        if (cutoff != kMiniStreamCutoff)
            throwCorrupt("compound file header has mini stream cutoff " + std::to_string(cutoff) +
                         " instead of 4096");
        sectorSize_ = size_t{1} << shift;
        entriesPerSector_ = sectorSize_ / 4;
        // With 4096-byte sectors the header is padded to a whole sector.
        firstSectorOffset_ = sectorSize_;
        fileSectors_ = bytes_.size() > firstSectorOffset_
                           ? ceilDiv(bytes_.size() - firstSectorOffset_, sectorSize_)
                           : 0;
        owners_.assign(fileSectors_, 0);
    }

    // The DIFAT (header array plus DIFAT sector chain) lists the FAT sectors.
    void readFat() {
        const uint8_t* h = bytes_.data();
        const uint32_t fatCount = loadU32(h + kOffFatSectorCount);
        if (fatCount == 0) throwCorrupt("compound file header declares no FAT sectors");
        // Sector numbers below this are ones the FAT could describe; past the file's end they
        // mean the file was cut short, beyond it they are nonsense.
        const uint64_t fatReach = uint64_t{fatCount} * entriesPerSector_;

        std::vector<uint32_t> fatSectors;
        for (size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(loadU32(h + kOffHeaderDifat + 4 * i));
        const OwnerId difatOwner = newOwner("the DIFAT");
        uint32_t next = loadU32(h + kOffFirstDifatSector);
        size_t difatSectorsRead = 0;
        while (fatSectors.size() < fatCount) {
            if (next > kMaxRegularSector)
                throwCorrupt("the header declares " + std::to_string(fatCount) +
                             " FAT sectors but the DIFAT lists only " +
                             std::to_string(fatSectors.size()) + " (its chain ends with " +
                             hex32(next) + " after " + std::to_string(difatSectorsRead) +
                             " DIFAT sectors)");
            claimMetaSector(next, difatOwner, fatReach);
            const uint8_t* p = wholeSector(next, "DIFAT");
            for (size_t i = 0; i + 1 < entriesPerSector_ && fatSectors.size() < fatCount; ++i)
                fatSectors.push_back(loadU32(p + 4 * i));
            next = loadU32(p + 4 * (entriesPerSector_ - 1));
            ++difatSectorsRead;
        }

        const OwnerId fatOwner = newOwner("the FAT");
        fat_.reserve(fatSectors.size() * entriesPerSector_);
        for (size_t i = 0; i < fatSectors.size(); ++i) {
            const uint32_t s = fatSectors[i];
            if (s > kMaxRegularSector)
                throwCorrupt("DIFAT entry " + std::to_string(i) + " is " + hex32(s) +
                             " where FAT sector " + std::to_string(i + 1) + " of " +
                             std::to_string(fatCount) + " should be");
            claimMetaSector(s, fatOwner, fatReach);
            const uint8_t* p = wholeSector(s, "FAT");
            for (size_t k = 0; k < entriesPerSector_; ++k) fat_.push_back(loadU32(p + 4 * k));
        }
    }

    void readDirectory() {
        const uint32_t first = loadU32(bytes_.data() + kOffFirstDirSector);
        const std::vector<uint32_t> chain = followChain(first, 0, "the directory");
        if (chain.empty()) throwCorrupt("the directory chain is empty");
        directory_.reserve(chain.size() * sectorSize_);
        for (uint32_t s : chain) {
            const uint8_t* p = wholeSector(s, "the directory");
            directory_.insert(directory_.end(), p, p + sectorSize_);
        }
        entryCount_ = directory_.size() / kEntrySize;
        visited_.assign(entryCount_, false);
    }

    void readMiniFat() {
        const uint32_t first = loadU32(bytes_.data() + kOffFirstMiniFatSector);
        if (first == kEndOfChain || first == kFreeSector) return;  // no small streams
        const std::vector<uint32_t> chain = followChain(first, 0, "the mini FAT");
        miniFat_.reserve(chain.size() * entriesPerSector_);
        for (uint32_t s : chain) {
            const uint8_t* p = wholeSector(s, "the mini FAT");
            for (size_t k = 0; k < entriesPerSector_; ++k) miniFat_.push_back(loadU32(p + 4 * k));
        }
    }

    CfbNode readRoot() {
        const DirEntry root = entryAt(0, "");
        if (root.type != CfbNode::Type::Root)
            throwCorrupt("directory entry 0 is not the root entry (its type is " +
                         std::to_string(static_cast<int>(root.type)) + ")");
        visited_[0] = true;
        rootEntry_ = root;
        return buildNode(root, "", 0);
    }

    CfbNode buildNode(const DirEntry& e, const std::string& path, int depth) {
        CfbNode node;
        node.name = e.name;
        node.type = e.type;
        std::copy_n(e.raw + kOffClsid, node.clsid.size(), node.clsid.begin());
        node.stateBits = loadU32(e.raw + kOffStateBits);
        node.createdTime = loadU64(e.raw + kOffCreated);
        node.modifiedTime = loadU64(e.raw + kOffModified);
        if (e.type == CfbNode::Type::Stream) {
            node.data = readStream(e, path);
            return node;
        }
        if (depth >= kMaxStorageDepth)
            throwCorrupt("storages are nested more than " + std::to_string(kMaxStorageDepth) +
                         " levels deep at '" + path + "'");
        for (uint32_t index : siblingsInOrder(e.child, path)) {
            const DirEntry c = entryAt(index, path);
            node.children.push_back(buildNode(c, path + "/" + printableName(c.name), depth + 1));
        }
        return node;
    }

    // The entries of one storage: the tree hanging from its child link, walked in order
    // without recursion, since writers may chain thousands of siblings in a line.
    std::vector<uint32_t> siblingsInOrder(uint32_t first, const std::string& parentPath) {
        std::vector<uint32_t> order;
        std::vector<uint32_t> pending;
        uint32_t cur = first;
        while (cur != kNoEntry || !pending.empty()) {
            while (cur != kNoEntry) {
                visit(cur, parentPath);
                pending.push_back(cur);
                cur = loadU32(entryBytes(cur) + kOffLeft);
            }
            cur = pending.back();
            pending.pop_back();
            order.push_back(cur);
            cur = loadU32(entryBytes(cur) + kOffRight);
        }
        return order;
    }

    void visit(uint32_t index, const std::string& parentPath) {
        const std::string where = parentPath.empty() ? "the root storage" : "'" + parentPath + "'";
        if (index >= entryCount_)
            throwCorrupt("the directory tree of " + where + " links to entry " +
                         std::to_string(index) + " but the directory holds only " +
                         std::to_string(entryCount_) + " entries");
        if (visited_[index])
            throwCorrupt("directory entry " + std::to_string(index) +
                         " is reached twice (a loop in "
                         "the directory tree of " +
                         where + ")");
        visited_[index] = true;
    }

    const uint8_t* entryBytes(uint32_t index) const {
        return directory_.data() + index * kEntrySize;
    }

    DirEntry entryAt(uint32_t index, const std::string& parentPath) const {
        const uint8_t* p = entryBytes(index);
        const std::string id = "directory entry " + std::to_string(index) +
                               (parentPath.empty() ? "" : " (in '" + parentPath + "')");
        DirEntry e;
        e.raw = p;
        const uint8_t type = p[kOffType];
        if (type == 0) throwCorrupt(id + " is linked into the tree but marked unused");
        if (type != 1 && type != 2 && type != 5)
            throwCorrupt(id + " has unknown type " + std::to_string(type));
        if (type == 5 && index != 0) throwCorrupt(id + " is a second root entry");
        e.type = static_cast<CfbNode::Type>(type);
        const uint16_t nameBytes = loadU16(p + kOffNameLength);
        if (nameBytes % 2 != 0 || nameBytes < 2 || nameBytes > 2 * (kMaxNameUnits + 1))
            throwCorrupt(id + " has a name length of " + std::to_string(nameBytes) +
                         " bytes (must be even, 2 to 64)");
        size_t units = nameBytes / 2;
        if (loadU16(p + 2 * (units - 1)) == 0) {
            --units;
        } else if (units > kMaxNameUnits || loadU16(p + 2 * units) != 0) {
            // Some writers leave the terminator out of the length ("R" with length 2 in files
            // from Excel for Mac); the zero must still follow.
            throwCorrupt(id + " has a name that is not terminated by a zero");
        }
        for (size_t i = 0; i < units; ++i)
            e.name.push_back(static_cast<char16_t>(loadU16(p + 2 * i)));
        e.child = loadU32(p + kOffChild);
        e.startSector = loadU32(p + kOffStartSector);
        e.size = loadU64(p + kOffStreamSize);
        // Version 3 writers leave garbage in the high half; only the low half counts there.
        if (sectorSize_ == 512) e.size &= 0xFFFFFFFFu;
        return e;
    }

    std::vector<uint8_t> readStream(const DirEntry& e, const std::string& path) {
        const std::string what = "stream '" + path + "'";
        if (e.size == 0) return {};
        if (e.size < kMiniStreamCutoff) return readMiniStream(e, what);
        return readFatStream(e.startSector, e.size, what);
    }

    // A stream stored in whole sectors. Only the bytes the stream needs must be in the file,
    // so a final sector cut short after the stream's end is accepted.
    std::vector<uint8_t> readFatStream(uint32_t start, uint64_t size, const std::string& what) {
        if (size == 0) return {};
        const uint64_t reach = uint64_t{fat_.size()} * sectorSize_;
        if (size > reach)
            throwCorrupt(what + " declares " + std::to_string(size) +
                         " bytes, more than the FAT can address (" + std::to_string(reach) +
                         " bytes)");
        const std::vector<uint32_t> chain =
            followChain(start, static_cast<size_t>(ceilDiv(size, sectorSize_)), what);
        std::vector<uint8_t> data;
        data.reserve(static_cast<size_t>(size));
        for (uint32_t s : chain) {
            const size_t need =
                std::min<size_t>(sectorSize_, static_cast<size_t>(size) - data.size());
            const uint64_t offset = sectorOffset(s);
            if (offset + need > bytes_.size())
                throwTruncated("the file ends inside sector " + std::to_string(s) + " of " + what +
                               " (" + std::to_string(offset + need - bytes_.size()) +
                               " bytes missing)");
            data.insert(data.end(), bytes_.begin() + static_cast<ptrdiff_t>(offset),
                        bytes_.begin() + static_cast<ptrdiff_t>(offset + need));
        }
        return data;
    }

    std::vector<uint8_t> readMiniStream(const DirEntry& e, const std::string& what) {
        if (!miniStreamLoaded_) {
            // Only containers with small streams need the mini FAT and mini stream to be sound.
            readMiniFat();
            miniStream_ = readFatStream(rootEntry_.startSector, rootEntry_.size, "the mini stream");
            miniOwners_.assign(ceilDiv(miniStream_.size(), kMiniSectorSize), 0);
            miniStreamLoaded_ = true;
        }
        const OwnerId owner = newOwner(what);
        const size_t needSectors = static_cast<size_t>(ceilDiv(e.size, kMiniSectorSize));
        std::vector<uint8_t> data;
        data.reserve(static_cast<size_t>(e.size));
        uint32_t cur = e.startSector;
        for (size_t i = 0; i < needSectors; ++i) {
            if (cur == kEndOfChain)
                throwCorrupt("the mini FAT chain of " + what + " ends after " + std::to_string(i) +
                             " mini sectors but its size of " + std::to_string(e.size) +
                             " bytes needs " + std::to_string(needSectors));
            if (cur > kMaxRegularSector)
                throwCorrupt("the mini FAT chain of " + what + " runs into marker " + hex32(cur));
            if (cur >= miniFat_.size())
                throwCorrupt("mini sector " + std::to_string(cur) + " of " + what +
                             " is past the end of the mini FAT (" +
                             std::to_string(miniFat_.size()) + " entries)");
            if (cur >= miniOwners_.size())
                throwCorrupt("mini sector " + std::to_string(cur) + " of " + what +
                             " lies beyond the mini stream (" + std::to_string(miniStream_.size()) +
                             " bytes)");
            checkOwner(miniOwners_[cur], owner, "mini sector", cur, what);
            miniOwners_[cur] = owner;
            const size_t need =
                std::min<size_t>(kMiniSectorSize, static_cast<size_t>(e.size) - data.size());
            const size_t offset = size_t{cur} * kMiniSectorSize;
            if (offset + need > miniStream_.size())
                throwCorrupt("mini sector " + std::to_string(cur) + " of " + what +
                             " is cut off by the end of the mini stream");
            data.insert(data.end(), miniStream_.begin() + static_cast<ptrdiff_t>(offset),
                        miniStream_.begin() + static_cast<ptrdiff_t>(offset + need));
            cur = miniFat_[cur];
        }
        return data;
    }

    // Follows a FAT chain. With `count` set, takes exactly that many sectors (a longer chain is
    // tolerated); with 0, runs to the end-of-chain marker.
    std::vector<uint32_t> followChain(uint32_t start, size_t count, const std::string& what) {
        const OwnerId owner = newOwner(what);
        std::vector<uint32_t> chain;
        uint32_t cur = start;
        while (count == 0 || chain.size() < count) {
            if (cur == kEndOfChain) {
                if (count == 0) break;
                throwCorrupt("the FAT chain of " + what + " ends after " +
                             std::to_string(chain.size()) + " sectors but its size needs " +
                             std::to_string(count));
            }
            if (cur > kMaxRegularSector)
                throwCorrupt("the FAT chain of " + what + " runs into marker " + hex32(cur) +
                             " after " + std::to_string(chain.size()) + " sectors");
            if (cur >= fat_.size())
                throwCorrupt("sector " + std::to_string(cur) + " of " + what +
                             " is out of range: the FAT covers " + std::to_string(fat_.size()) +
                             " sectors");
            if (cur >= fileSectors_) {
                if (fat_[cur] != kFreeSector)
                    throwTruncated("the file ends before sector " + std::to_string(cur) + " of " +
                                   what + " (the file has " + std::to_string(fileSectors_) +
                                   " sectors)");
                throwCorrupt(what + " uses sector " + std::to_string(cur) +
                             ", which lies past the end of the file and is marked free");
            }
            checkOwner(owners_[cur], owner, "sector", cur, what);
            owners_[cur] = owner;
            chain.push_back(cur);
            cur = fat_[cur];
        }
        return chain;
    }

    // DIFAT and FAT sectors are found before the FAT exists, so their range check is the
    // address space the header declares.
    void claimMetaSector(uint32_t s, OwnerId owner, uint64_t fatReach) {
        const std::string& what = ownerNames_[owner - 1];
        if (s >= fileSectors_) {
            if (s < fatReach)
                throwTruncated("the file ends before sector " + std::to_string(s) + " of " + what +
                               " (the file has " + std::to_string(fileSectors_) + " sectors)");
            throwCorrupt("sector " + std::to_string(s) + " of " + what +
                         " is out of range: the FAT covers " + std::to_string(fatReach) +
                         " sectors");
        }
        checkOwner(owners_[s], owner, "sector", s, what);
        owners_[s] = owner;
    }

    void checkOwner(OwnerId previous, OwnerId owner, const char* unit, uint32_t s,
                    const std::string& what) const {
        if (previous == 0) return;
        if (previous == owner)
            throwCorrupt("the chain of " + what + " loops back to " + unit + " " +
                         std::to_string(s));
        throwCorrupt(std::string(unit) + " " + std::to_string(s) + " is used by both " +
                     ownerNames_[previous - 1] + " and " + what);
    }

    OwnerId newOwner(const std::string& what) {
        ownerNames_.push_back(what);
        return static_cast<OwnerId>(ownerNames_.size());
    }

    uint64_t sectorOffset(uint32_t s) const {
        return firstSectorOffset_ + uint64_t{s} * sectorSize_;
    }

    // FAT, DIFAT and directory sectors must be there in full.
    const uint8_t* wholeSector(uint32_t s, const std::string& what) const {
        const uint64_t offset = sectorOffset(s);
        if (offset + sectorSize_ > bytes_.size())
            throwTruncated("the file ends inside sector " + std::to_string(s) + " of " + what);
        return bytes_.data() + offset;
    }

    std::span<const uint8_t> bytes_;
    size_t sectorSize_ = 512;
    size_t entriesPerSector_ = 128;
    size_t firstSectorOffset_ = 512;
    uint64_t fileSectors_ = 0;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint8_t> directory_;
    size_t entryCount_ = 0;
    std::vector<bool> visited_;
    DirEntry rootEntry_;
    std::vector<uint8_t> miniStream_;
    bool miniStreamLoaded_ = false;
    std::vector<OwnerId> owners_;
    std::vector<OwnerId> miniOwners_;
    std::vector<std::string> ownerNames_;
};

// ---------------------------------------------------------------------------------------------
// Writing

constexpr size_t kSectorSize = 512;
constexpr size_t kFatEntriesPerSector = kSectorSize / 4;
constexpr size_t kDifatEntriesPerSector = kFatEntriesPerSector - 1;
constexpr size_t kEntriesPerDirSector = kSectorSize / kEntrySize;

struct OutEntry {
    const CfbNode* node = nullptr;
    uint32_t left = kNoEntry;
    uint32_t right = kNoEntry;
    uint32_t child = kNoEntry;
    bool red = false;
    uint32_t start = kEndOfChain;
    uint32_t size = 0;
    bool inMiniStream = false;
};

[[noreturn]] void invalidTree(const std::string& why) {
    throw std::invalid_argument("cannot write compound file: " + why);
}

class ContainerWriter {
public:
    explicit ContainerWriter(const CfbNode& root) { flatten(root); }

    std::vector<uint8_t> write() {
        placeStreams();
        return render();
    }

private:
    // Directory entries in breadth-first order; each storage's children get a balanced
    // red-black tree over the sorted names.
    void flatten(const CfbNode& root) {
        if (root.type != CfbNode::Type::Root) invalidTree("the top node is not a root entry");
        entries_.push_back({&root});
        for (size_t i = 0; i < entries_.size(); ++i) {
            const CfbNode& node = *entries_[i].node;
            if (node.type != CfbNode::Type::Stream && !node.data.empty())
                invalidTree("storage '" + printableName(node.name) + "' holds stream data");
            if (node.type == CfbNode::Type::Stream) {
                if (!node.children.empty())
                    invalidTree("stream '" + printableName(node.name) + "' has children");
                continue;
            }
            std::vector<const CfbNode*> kids;
            for (const CfbNode& c : node.children) {
                if (c.type == CfbNode::Type::Root)
                    invalidTree("a root entry is nested in '" + printableName(node.name) + "'");
                if (c.name.empty() || c.name.size() > kMaxNameUnits)
                    invalidTree("entry name '" + printableName(c.name) +
                                "' must have 1 to 31 characters");
                kids.push_back(&c);
            }
            std::sort(kids.begin(), kids.end(), [](const CfbNode* a, const CfbNode* b) {
                return compareNames(a->name, b->name) < 0;
            });
            for (size_t k = 1; k < kids.size(); ++k)
                if (compareNames(kids[k - 1]->name, kids[k]->name) == 0)
                    invalidTree("'" + printableName(node.name) + "' has two entries named '" +
                                printableName(kids[k]->name) + "'");
            const auto firstIndex = static_cast<uint32_t>(entries_.size());
            for (const CfbNode* c : kids) entries_.push_back({c});
            if (kids.empty()) continue;
            int maxDepth = 0;
            while ((size_t{2} << maxDepth) - 1 < kids.size()) ++maxDepth;
            entries_[i].child = linkBalanced(
                firstIndex, firstIndex + static_cast<uint32_t>(kids.size()), 0, maxDepth);
        }
    }

    // Median split gives a tree whose missing links all sit on the last two levels; making the
    // nodes of the deepest level red (when it is not the root) keeps the black height equal.
    uint32_t linkBalanced(uint32_t begin, uint32_t end, int depth, int maxDepth) {
        if (begin >= end) return kNoEntry;
        const uint32_t mid = begin + (end - begin) / 2;
        entries_[mid].left = linkBalanced(begin, mid, depth + 1, maxDepth);
        entries_[mid].right = linkBalanced(mid + 1, end, depth + 1, maxDepth);
        entries_[mid].red = depth == maxDepth && depth > 0;
        return mid;
    }

    void placeStreams() {
        for (OutEntry& e : entries_) {
            if (e.node->type != CfbNode::Type::Stream) continue;
            const size_t size = e.node->data.size();
            if (size > 0xFFFFFFFFu)
                invalidTree("stream '" + printableName(e.node->name) + "' is larger than 4 GB");
            e.size = static_cast<uint32_t>(size);
            if (size == 0) continue;
            if (size < kMiniStreamCutoff) {
                e.inMiniStream = true;
                e.start = static_cast<uint32_t>(miniSectors_);
                miniSectors_ += ceilDiv(size, kMiniSectorSize);
            } else {
                streamSectors_ += ceilDiv(size, kSectorSize);
            }
        }
        miniStreamSectors_ = ceilDiv(miniSectors_ * kMiniSectorSize, kSectorSize);
        miniFatSectors_ = ceilDiv(miniSectors_, kFatEntriesPerSector);
        dirSectors_ = ceilDiv(entries_.size(), kEntriesPerDirSector);
        const uint64_t others = miniStreamSectors_ + miniFatSectors_ + dirSectors_ + streamSectors_;
        // The FAT must also cover its own sectors and the DIFAT's.
        for (;;) {
            const uint64_t fat =
                ceilDiv(others + fatSectors_ + difatSectors_, kFatEntriesPerSector);
            const uint64_t difat = fat > kHeaderDifatEntries
                                       ? ceilDiv(fat - kHeaderDifatEntries, kDifatEntriesPerSector)
                                       : 0;
            if (fat == fatSectors_ && difat == difatSectors_) break;
            fatSectors_ = fat;
            difatSectors_ = difat;
        }
        totalSectors_ = others + fatSectors_ + difatSectors_;
        if (totalSectors_ >= kMaxRegularSector) invalidTree("the container would exceed 2 TB");
    }

    std::vector<uint8_t> render() {
        // Sector layout: FAT, DIFAT, directory, mini FAT, mini stream, then the large streams.
        const uint64_t difatStart = fatSectors_;
        const uint64_t dirStart = difatStart + difatSectors_;
        const uint64_t miniFatStart = dirStart + dirSectors_;
        const uint64_t miniStreamStart = miniFatStart + miniFatSectors_;
        uint64_t next = miniStreamStart + miniStreamSectors_;

        std::vector<uint32_t> fat(fatSectors_ * kFatEntriesPerSector, kFreeSector);
        const auto chainRun = [](std::vector<uint32_t>& table, uint64_t first, uint64_t count) {
            for (uint64_t k = 0; k < count; ++k)
                table[first + k] =
                    k + 1 < count ? static_cast<uint32_t>(first + k + 1) : kEndOfChain;
        };
        for (uint64_t k = 0; k < fatSectors_; ++k) fat[k] = kFatMarker;
        for (uint64_t k = 0; k < difatSectors_; ++k) fat[difatStart + k] = kDifatMarker;
        chainRun(fat, dirStart, dirSectors_);
        chainRun(fat, miniFatStart, miniFatSectors_);
        chainRun(fat, miniStreamStart, miniStreamSectors_);

        std::vector<uint32_t> miniFat(miniFatSectors_ * kFatEntriesPerSector, kFreeSector);
        for (OutEntry& e : entries_) {
            if (e.node->type != CfbNode::Type::Stream || e.size == 0) continue;
            if (e.inMiniStream) {
                chainRun(miniFat, e.start, ceilDiv(e.size, kMiniSectorSize));
            } else {
                const uint64_t count = ceilDiv(e.size, kSectorSize);
                e.start = static_cast<uint32_t>(next);
                chainRun(fat, next, count);
                next += count;
            }
        }
        OutEntry& rootEntry = entries_[0];
        rootEntry.start = miniSectors_ > 0 ? static_cast<uint32_t>(miniStreamStart) : kEndOfChain;
        rootEntry.size = static_cast<uint32_t>(miniSectors_ * kMiniSectorSize);

        std::vector<uint8_t> out(kHeaderSize + totalSectors_ * kSectorSize, 0);
        const auto sectorAt = [&out](uint64_t s) {
            return out.data() + kHeaderSize + s * kSectorSize;
        };
        writeHeader(out.data(), dirStart, miniFatStart);

        // Header DIFAT, then DIFAT sectors for FAT sectors beyond the first 109.
        for (size_t k = 0; k < kHeaderDifatEntries; ++k)
            storeU32(out.data() + kOffHeaderDifat + 4 * k,
                     k < fatSectors_ ? static_cast<uint32_t>(k) : kFreeSector);
        for (uint64_t d = 0; d < difatSectors_; ++d) {
            uint8_t* p = sectorAt(difatStart + d);
            for (size_t k = 0; k < kDifatEntriesPerSector; ++k) {
                const uint64_t fatIndex = kHeaderDifatEntries + d * kDifatEntriesPerSector + k;
                storeU32(p + 4 * k,
                         fatIndex < fatSectors_ ? static_cast<uint32_t>(fatIndex) : kFreeSector);
            }
            storeU32(p + 4 * kDifatEntriesPerSector, d + 1 < difatSectors_
                                                         ? static_cast<uint32_t>(difatStart + d + 1)
                                                         : kEndOfChain);
        }
        for (size_t k = 0; k < fat.size(); ++k) storeU32(sectorAt(0) + 4 * k, fat[k]);
        for (size_t k = 0; k < miniFat.size(); ++k)
            storeU32(sectorAt(miniFatStart) + 4 * k, miniFat[k]);

        uint8_t* dir = sectorAt(dirStart);
        for (size_t k = 0; k < dirSectors_ * kEntriesPerDirSector; ++k)
            writeEntry(dir + k * kEntrySize, k < entries_.size() ? &entries_[k] : nullptr);

        for (const OutEntry& e : entries_) {
            if (e.node->type != CfbNode::Type::Stream || e.size == 0) continue;
            uint8_t* dest = e.inMiniStream
                                ? sectorAt(miniStreamStart) + size_t{e.start} * kMiniSectorSize
                                : sectorAt(e.start);
            std::copy(e.node->data.begin(), e.node->data.end(), dest);
        }
        return out;
    }

    void writeHeader(uint8_t* h, uint64_t dirStart, uint64_t miniFatStart) const {
        std::copy(kSignature.begin(), kSignature.end(), h);
        storeU16(h + 24, 0x003E);  // minor version
        storeU16(h + kOffMajorVersion, 3);
        storeU16(h + kOffByteOrder, 0xFFFE);
        storeU16(h + kOffSectorShift, 9);
        storeU16(h + kOffMiniSectorShift, 6);
        storeU32(h + kOffFatSectorCount, static_cast<uint32_t>(fatSectors_));
        storeU32(h + kOffFirstDirSector, static_cast<uint32_t>(dirStart));
        storeU32(h + kOffMiniCutoff, kMiniStreamCutoff);
        storeU32(h + kOffFirstMiniFatSector,
                 miniFatSectors_ > 0 ? static_cast<uint32_t>(miniFatStart) : kEndOfChain);
        storeU32(h + kOffMiniFatSectorCount, static_cast<uint32_t>(miniFatSectors_));
        storeU32(h + kOffFirstDifatSector,
                 difatSectors_ > 0 ? static_cast<uint32_t>(fatSectors_) : kEndOfChain);
        storeU32(h + kOffDifatSectorCount, static_cast<uint32_t>(difatSectors_));
    }

    static void writeEntry(uint8_t* p, const OutEntry* e) {
        if (e == nullptr) {  // unused slot
            storeU32(p + kOffLeft, kNoEntry);
            storeU32(p + kOffRight, kNoEntry);
            storeU32(p + kOffChild, kNoEntry);
            return;
        }
        const CfbNode& node = *e->node;
        for (size_t i = 0; i < node.name.size(); ++i) storeU16(p + 2 * i, node.name[i]);
        storeU16(p + kOffNameLength, static_cast<uint16_t>(2 * (node.name.size() + 1)));
        p[kOffType] = static_cast<uint8_t>(node.type);
        p[kOffColor] = e->red ? 0 : 1;
        storeU32(p + kOffLeft, e->left);
        storeU32(p + kOffRight, e->right);
        storeU32(p + kOffChild, e->child);
        std::copy(node.clsid.begin(), node.clsid.end(), p + kOffClsid);
        storeU32(p + kOffStateBits, node.stateBits);
        storeU64(p + kOffCreated, node.createdTime);
        storeU64(p + kOffModified, node.modifiedTime);
        const bool storage = node.type == CfbNode::Type::Storage;
        storeU32(p + kOffStartSector, storage ? 0 : e->start);
        storeU64(p + kOffStreamSize, storage ? 0 : e->size);
    }

    std::vector<OutEntry> entries_;
    uint64_t miniSectors_ = 0;
    uint64_t miniStreamSectors_ = 0;
    uint64_t miniFatSectors_ = 0;
    uint64_t dirSectors_ = 0;
    uint64_t streamSectors_ = 0;
    uint64_t fatSectors_ = 0;
    uint64_t difatSectors_ = 0;
    uint64_t totalSectors_ = 0;
};

template <typename Children>
auto findChild(Children& children, std::u16string_view name) -> decltype(&children.front()) {
    for (auto& c : children)
        if (compareNames(c.name, name) == 0) return &c;
    return nullptr;
}

}  // namespace

const CfbNode* CfbNode::child(std::u16string_view childName) const {
    return findChild(children, childName);
}

CfbNode* CfbNode::child(std::u16string_view childName) {
    return findChild(children, childName);
}

bool CompoundFile::hasSignature(std::span<const uint8_t> bytes) {
    return bytes.size() >= kSignature.size() &&
           std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

CompoundFile CompoundFile::parse(std::span<const uint8_t> bytes) {
    CompoundFile file;
    file.root_ = ContainerReader(bytes).read();
    return file;
}

std::vector<uint8_t> CompoundFile::serialize() const {
    return ContainerWriter(root_).write();
}

}  // namespace sbx::xls
