#pragma once
// How worksheet names are kept for the job: a name with leading or trailing blanks gets as
// many blanks appended as it has there, so " 表 1 " is kept as " 表 1   ". The padded text is
// the check box caption, the chosen name and the name in the range table.
#include <string>
#include <string_view>

namespace sbx {

std::string padBlankEdgedName(std::string_view name);

}  // namespace sbx
