#pragma once
// The order in which people expect numbered files: 单位2 before 单位10, 第9期 before 第10期,
// as file managers show them. Runs of digits compare by their value, ASCII letters without
// regard to case, everything else byte by byte; names equal in that sense fall back to their
// bytes, so that the order is total and the same on every run.
#include <string>
#include <string_view>
#include <vector>

namespace sbx {

bool naturalLess(std::string_view a, std::string_view b);

void sortNaturally(std::vector<std::string>& names);

}  // namespace sbx
