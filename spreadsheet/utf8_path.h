#pragma once
// Paths to and from UTF-8 text, the same on every platform (C++20's std::string path
// constructors use the narrow system encoding, which is not UTF-8 on Windows).
#include <filesystem>
#include <string>
#include <string_view>

namespace sbx {

inline std::filesystem::path utf8Path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8String(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

}  // namespace sbx
