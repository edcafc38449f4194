#pragma once
// Text that reads as a number, as the spreadsheet application takes it when typed into a
// cell: blanks around, a sign, digits (thousands separators allowed in groups of three),
// one decimal point and an exponent. The same in every locale.
#include <optional>
#include <string_view>

namespace sbx {

std::optional<double> parseTypedNumber(std::string_view text);

}  // namespace sbx
