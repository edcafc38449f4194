// Any bytes: the container reader ends in a tree or a FormatError, and a tree it read
// writes out and reads back the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "spreadsheet/xls/compound_file.h"
#include "spreadsheet/xls/format_error.h"

namespace {
// The writer orders siblings as the format sorts them; a damaged directory may not have
// been sorted, so children are matched by name.
bool sameTree(const sbx::xls::CfbNode& a, const sbx::xls::CfbNode& b) {
    if (a.type != b.type || a.data != b.data || a.children.size() != b.children.size()) return false;
    for (const auto& child : a.children) {
        const auto* other = b.child(child.name);
        if (!other || other->name != child.name || !sameTree(child, *other)) return false;
    }
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sbx::xls::CompoundFile file;
    try {
        file = sbx::xls::CompoundFile::parse(std::span<const uint8_t>(data, size));
    } catch (const sbx::xls::FormatError&) {
        return 0;
    }
    std::vector<uint8_t> written;
    try {
        written = file.serialize();
    } catch (const std::invalid_argument&) {
        return 0;  // a tree the writer refuses (duplicate names...) is reported, not written
    }
    const auto again = sbx::xls::CompoundFile::parse(written);
    if (!sameTree(file.root(), again.root())) std::abort();
    return 0;
}
