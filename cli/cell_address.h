#pragma once
// Cell addresses on the command line: a3, ab20 (either letter case), rows 1..65536 and
// columns a..iv.
#include <optional>
#include <string_view>

namespace sbx::cli {

struct CellAddress {
    int row = 0;
    int column = 0;
};

std::optional<CellAddress> parseCellAddress(std::string_view text);

}  // namespace sbx::cli
