#pragma once
// Numbers as text for the run record: the shortest text that reads back as the same double,
// exactly as std::to_chars writes it, with amounts of up to two decimals (nearly every value
// of a report) written without to_chars's general search, which is most of a record's cost.
namespace sbx {

// Enough room for any double written by writeNumber.
inline constexpr int kNumberTextSize = 32;

// Writes `x` at `at`, which has room for kNumberTextSize characters; returns the end.
char* writeNumber(char* at, double x);

}  // namespace sbx
