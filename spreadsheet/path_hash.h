#pragma once
// A hash for maps keyed by file paths. std::hash<path> walks every component of the path
// (a few hundred instructions a lookup, and a run looks sources up for every worksheet and
// area); this hashes the last component's characters only, which equal paths share, as
// path's equality compares component by component.
#include <filesystem>
#include <functional>
#include <string_view>

namespace sbx {

struct PathHash {
    size_t operator()(const std::filesystem::path& p) const noexcept {
        using Char = std::filesystem::path::value_type;
        const std::basic_string_view<Char> text = p.native();
#ifdef _WIN32
        const auto cut = text.find_last_of(L"/\\");
#else
        const auto cut = text.find_last_of('/');
#endif
        return std::hash<std::basic_string_view<Char>>{}(cut == text.npos ? text : text.substr(cut + 1));
    }
};

}  // namespace sbx
