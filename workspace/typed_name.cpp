#include "workspace/typed_name.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace sbx {

namespace {

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Device names that Windows keeps for itself, whatever extension follows ("nul.txt").
bool isReservedDeviceName(std::string_view name) {
    const std::string stem = lowerAscii(trimTypedName(name.substr(0, name.find('.'))));
    static constexpr std::array<std::string_view, 4> plain = {"con", "prn", "aux", "nul"};
    if (std::find(plain.begin(), plain.end(), stem) != plain.end()) return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";

}  // namespace

std::string trimTypedName(std::string_view text) {
    bool trimmed = true;
    while (trimmed && !text.empty()) {
        trimmed = false;
        if (text.front() == ' ' || text.front() == '\t') {
            text.remove_prefix(1);
            trimmed = true;
        } else if (text.starts_with(kFullWidthSpace)) {
            text.remove_prefix(kFullWidthSpace.size());
            trimmed = true;
        }
        if (text.empty()) break;
        if (text.back() == ' ' || text.back() == '\t') {
            text.remove_suffix(1);
            trimmed = true;
        } else if (text.ends_with(kFullWidthSpace)) {
            text.remove_suffix(kFullWidthSpace.size());
            trimmed = true;
        }
    }
    return std::string(text);
}

std::optional<std::string> screenTypedName(std::string_view name, std::size_t extensionLength) {
    if (trimTypedName(name).empty()) return "名称是空的";
    if (name.find_first_of("/\\") != std::string_view::npos) return "不能含有路径分隔符（/ 或 \\）";
    if (name.find("..") != std::string_view::npos || trimTypedName(name) == ".") return "不能含有“..”或只是“.”";
    const bool badCharacter = std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f || std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
    });
    if (badCharacter) return "不能含有控制字符或 < > : \" | ? * 中的字符";
    if (isReservedDeviceName(name)) return "这是系统保留的设备名";
    if (name.back() == '.') return "不能以“.”结尾";
    // 255 is the longest file name that common file systems take (bytes or UTF-16 units);
    // a pool file gets its extension appended.
    if (name.size() + extensionLength > 255) return "名称太长";
    return std::nullopt;
}

}  // namespace sbx
