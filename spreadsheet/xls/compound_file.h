#pragma once
// The compound file container (OLE2 / CFB) that holds an .xls workbook: a small file system
// of storages and streams. The reader turns the whole container into a tree, checking every
// chain and size it follows; the writer turns a tree back into a container, so that a
// workbook can be saved with all of its other streams and storages (macros, document
// properties, ...) kept as they were.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sbx::xls {

struct CfbNode {
    enum class Type : uint8_t { Storage = 1, Stream = 2, Root = 5 };

    std::u16string name;
    Type type = Type::Stream;
    std::array<uint8_t, 16> clsid{};
    uint32_t stateBits = 0;
    uint64_t createdTime = 0;   // FILETIME as stored
    uint64_t modifiedTime = 0;  // FILETIME as stored
    std::vector<uint8_t> data;      // streams only
    std::vector<CfbNode> children;  // storages and the root only, in directory order

    bool isStream() const { return type == Type::Stream; }
    // Looks a direct child up by name, ignoring letter case as the container format does.
    const CfbNode* child(std::u16string_view childName) const;
    CfbNode* child(std::u16string_view childName);
};

class CompoundFile {
public:
    // True when the bytes start with the container signature D0 CF 11 E0 A1 B1 1A E1.
    static bool hasSignature(std::span<const uint8_t> bytes);

    // Reads a whole container held in memory. Throws FormatError: NotCompoundFile without the
    // signature, Truncated when the file ends before a sector it needs, Corrupt for broken
    // chains (cycles, sector numbers out of range), sizes beyond the file, bad directory
    // trees (loops, entries used twice). Never reads outside `bytes`, never loops forever.
    static CompoundFile parse(std::span<const uint8_t> bytes);

    CompoundFile() { root_.type = CfbNode::Type::Root; root_.name = u"Root Entry"; }

    CfbNode& root() { return root_; }
    const CfbNode& root() const { return root_; }

    // Writes the tree as a version 3 container (512-byte sectors, 64-byte mini sectors for
    // streams under 4096 bytes) that real spreadsheet applications open.
    std::vector<uint8_t> serialize() const;

private:
    CfbNode root_;
};

}  // namespace sbx::xls
