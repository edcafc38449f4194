// Reading a compound file: every chain and size it follows is checked against the file.
#include "spreadsheet/xls/compound_file.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xls/compound_file_layout.h"

namespace sbx::xls {
namespace {

using namespace cfb;

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


}  // namespace

CompoundFile CompoundFile::parse(std::span<const uint8_t> bytes) {
    CompoundFile file;
    file.root_ = ContainerReader(bytes).read();
    return file;
}

}  // namespace sbx::xls
