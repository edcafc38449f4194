#include "cli/cell_address.h"

namespace sbx::cli {

std::optional<CellAddress> parseCellAddress(std::string_view text) {
    size_t i = 0;
    int column = 0;
    while (i < text.size() && i < 3) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c < 'a' || c > 'z') break;
        column = column * 26 + (c - 'a' + 1);
        ++i;
    }
    if (i == 0 || column > 256 || i == text.size()) return std::nullopt;
    if (text[i] == '0') return std::nullopt;  // no leading zeros
    long row = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        row = row * 10 + (text[i] - '0');
        if (row > 65536) return std::nullopt;
    }
    if (row < 1) return std::nullopt;
    return CellAddress{static_cast<int>(row), column};
}

}  // namespace sbx::cli
