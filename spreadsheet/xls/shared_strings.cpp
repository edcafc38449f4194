#include "spreadsheet/xls/shared_strings.h"

#include <algorithm>

#include "spreadsheet/xls/continued_reader.h"

namespace sbx::xls {

std::vector<std::string> readSharedStrings(std::vector<std::span<const uint8_t>> segments) {
    size_t totalBytes = 0;
    for (const auto& s : segments) totalBytes += s.size();
    ContinuedReader in(std::move(segments));
    std::vector<std::string> strings;
    if (totalBytes < 8) return strings;
    in.u32();  // total number of references: not needed
    const uint32_t unique = in.u32();
    // Every string takes at least 3 bytes, so a lying count cannot make us over-allocate.
    strings.reserve(std::min<size_t>(unique, totalBytes / 3));
    while (strings.size() < unique && !in.atEnd()) {
        const size_t count = in.u16();
        const uint8_t options = in.u8();
        const size_t runs = (options & 0x08) ? in.u16() : 0;
        const size_t extSize = (options & 0x04) ? in.u32() : 0;
        std::string text;
        text.reserve(count);
        in.appendChars(text, count, (options & 0x01) != 0);
        in.skip(runs * 4);
        in.skip(extSize);
        strings.push_back(std::move(text));
    }
    return strings;
}

}  // namespace sbx::xls
