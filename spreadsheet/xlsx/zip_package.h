#pragma once
// The zip container of an .xlsx package (libzip): its entries by part name, each read as a
// stream with limits against zip bombs, and a copy of the package with some parts replaced
// or removed, every other entry copied as it is stored (still compressed).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace sbx::xlsx {

// How far one part may inflate. A real worksheet stays far below these; a part that goes
// beyond is refused before it fills memory or takes minutes.
struct InflateLimits {
    uint64_t maxBytes = uint64_t{1} << 30;  // 1 GiB
    // Past `ratioFloor` bytes, more than `maxRatio` bytes out per stored byte is a bomb:
    // deflate's best case is about 1030:1, real worksheet XML stays below 100:1.
    uint64_t ratioFloor = uint64_t{64} << 20;
    uint64_t maxRatio = 400;
};

class ZipPackage {
public:
    // Throws xls::FormatError for bytes that are no zip archive or a damaged one.
    explicit ZipPackage(std::vector<uint8_t> bytes);
    ~ZipPackage();
    ZipPackage(ZipPackage&&) noexcept;
    ZipPackage& operator=(ZipPackage&&) noexcept;

    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // The entry's name as stored, for a part name compared without letter case (part names
    // are case-insensitive) and without a leading "/"; nothing when the package lacks it.
    std::optional<std::string> find(std::string_view partName) const;
    bool has(std::string_view partName) const { return find(partName).has_value(); }
    std::vector<std::string> names() const;

    // Feeds the inflated bytes of a part to `sink` in pieces. Throws xls::FormatError naming
    // the part when it is missing, damaged, encrypted or inflates beyond `limits`.
    void stream(std::string_view partName, const std::function<void(std::string_view)>& sink,
                const InflateLimits& limits = {}) const;
    // The whole part, for the small ones (relationships, workbook, styles).
    std::string read(std::string_view partName, const InflateLimits& limits = {}) const;

    // A new package: the entries of `replaced` (by stored name) get the new content, those
    // of `removed` are left out, the rest is copied without inflating it again.
    std::vector<uint8_t> rebuilt(const std::map<std::string, std::string>& replaced,
                                 const std::vector<std::string>& removed) const;

private:
    int64_t indexOf(std::string_view partName) const;

    std::vector<uint8_t> bytes_;
    zip* archive_ = nullptr;
    std::map<std::string, int64_t> byLowerName_;
};

// "xl/worksheets/sheet1.xml" for a target relative to the folder of `sourcePart`, or an
// absolute one ("/xl/..."); ".." steps are resolved and may not leave the package.
std::string resolvePartName(std::string_view sourcePart, std::string_view target);

}  // namespace sbx::xlsx
