#include "job/sheet_names.h"

namespace sbx {

std::string padBlankEdgedName(std::string_view name) {
    const size_t first = name.find_first_not_of(' ');
    // All blanks: every blank is leading and trailing at once.
    if (first == std::string_view::npos) return std::string(name) + std::string(2 * name.size(), ' ');
    const size_t trailing = name.size() - 1 - name.find_last_not_of(' ');
    return std::string(name) + std::string(first + trailing, ' ');
}

}  // namespace sbx
