#include "workspace/natural_order.h"

#include <algorithm>

namespace sbx {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char foldedAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The run of digits starting at `at`, without its leading zeros (but "0" for zeros only).
std::string_view digitRun(std::string_view text, size_t& at) {
    const size_t start = at;
    while (at < text.size() && isDigit(text[at])) ++at;
    size_t first = start;
    while (first + 1 < at && text[first] == '0') ++first;
    return text.substr(first, at - first);
}

// Negative, zero or positive as `a` comes before, with or after `b` in natural order.
int naturalCompare(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::string_view x = digitRun(a, i), y = digitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            if (const int c = x.compare(y); c != 0) return c;
            continue;
        }
        const auto x = static_cast<unsigned char>(foldedAscii(a[i])), y = static_cast<unsigned char>(foldedAscii(b[j]));
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
    const int c = naturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

void sortNaturally(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
}

}  // namespace sbx
