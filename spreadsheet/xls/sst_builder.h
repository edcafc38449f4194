#pragma once
// The shared string table of a workbook being saved: the strings read from the file, kept
// with their formatting runs and phonetic blocks, plus the strings that written cells add.
// Writes the SST record with its CONTINUE records and the EXTSST index that points into it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "spreadsheet/xls/biff_output.h"

namespace sbx::xls {

class SstBuilder {
public:
    SstBuilder() = default;
    // Takes the strings of an SST record body and its CONTINUE bodies. Throws FormatError
    // for a table that ends inside a string.
    static SstBuilder parse(std::vector<std::span<const uint8_t>> segments);

    size_t size() const { return entries_.size(); }
    // The index of a plain string with this text, added at the end when there is none.
    uint32_t indexOf(std::string_view utf8);
    // Written cells change how many cells refer to the table.
    void adjustReferences(int64_t delta) { referenceDelta_ += delta; }

    // Appends SST and CONTINUE records to `out`; `streamBase` is the stream position of
    // out's first byte, for the EXTSST index.
    void writeSst(BiffOutput& out, size_t streamBase);
    // Appends the EXTSST record for the table last written by writeSst.
    void writeExtSst(BiffOutput& out) const;

    // The text of an entry, for tests.
    const std::u16string& text(size_t index) const { return entries_[index].chars; }

private:
    struct Entry {
        std::u16string chars;
        std::vector<uint8_t> runs;     // formatting runs, 4 bytes each, as read
        std::vector<uint8_t> phonetic; // East Asian phonetic block, as read
    };
    struct Bucket {
        uint32_t streamPos;
        uint16_t recordOffset;
    };

    std::vector<Entry> entries_;
    uint32_t statedReferences_ = 0;
    int64_t referenceDelta_ = 0;
    std::unordered_map<std::u16string, uint32_t> plainIndex_;
    bool indexed_ = false;
    std::vector<Bucket> buckets_;
    uint16_t stringsPerBucket_ = 8;
};

}  // namespace sbx::xls
