#pragma once
// SHA-256 of a file's bytes, for telling one report sent twice and for the run record.
#include <filesystem>
#include <string>

namespace sbx {

// Lower-case hex digest of the file; throws WorkbookError (Unreadable or FileNotFound) naming
// the file when it cannot be read.
std::string sha256OfFile(const std::filesystem::path& file);

// Lower-case hex digest of `bytes`.
std::string sha256Of(std::string_view bytes);

}  // namespace sbx
