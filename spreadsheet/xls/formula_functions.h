#pragma once
// The worksheet functions the evaluator knows, by their BIFF function numbers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/xls/formula_value.h"

namespace sbx::xls::formula {

class Evaluator;

// The argument count of a function with a fixed count (ptgFunc), if it is known.
std::optional<uint8_t> fixedArgumentCount(uint16_t function);

// "VLOOKUP"; empty for a function without a name here.
std::string_view knownFunctionName(uint16_t function);

// "the function VLOOKUP", or "function number 400" for one without a name here.
std::string functionName(uint16_t function);

// The number of a function the evaluator computes, by its English name in capitals ("SUM");
// std::nullopt for any other.
std::optional<uint16_t> computedFunctionNumber(std::string_view name);

// Calls a function; throws Unsupported for one that is not known.
Value callFunction(uint16_t function, const std::vector<Value>& arguments, const Evaluator& evaluator);

}  // namespace sbx::xls::formula
