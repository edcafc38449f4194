// Writing a compound file: a version 3 container that spreadsheet applications open.
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


}  // namespace

std::vector<uint8_t> CompoundFile::serialize() const {
    return ContainerWriter(root_).write();
}

}  // namespace sbx::xls
