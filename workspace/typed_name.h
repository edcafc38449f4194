#pragma once
// Names the user types for something inside the pool (a new pool file name, an archive
// folder), screened by one rule so that what lands on disk is what the user named.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sbx {

// Blanks (spaces, tabs, full-width spaces U+3000) removed from both ends.
std::string trimTypedName(std::string_view text);

// Why `name` cannot name an entry of the pool folder: nothing but blanks, a path separator,
// "..", a character or device name that Windows rejects (con, nul.txt, com1 ...), a trailing
// dot (Windows drops it), or too long once an extension of `extensionLength` characters
// (".xls") is added. std::nullopt when it can. Blanks around the name are not refused: they
// belong to it.
std::optional<std::string> screenTypedName(std::string_view name, std::size_t extensionLength = 4);

}  // namespace sbx
