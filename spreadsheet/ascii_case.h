#pragma once
// Letter case of the ASCII letters alone: std::tolower and std::toupper follow the C locale,
// and in a single-byte locale they change bytes of UTF-8 texts such as worksheet names.
namespace sbx {

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace sbx
