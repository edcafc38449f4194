#pragma once
// The longest file name a folder takes: 255 bytes on the file systems of Linux, 255 UTF-16
// units on Windows. A save whose target, temporary file or record would pass it fails with
// "File name too long" only after the work is done; checking first lets that be said at once.
#include <cstddef>
#include <filesystem>

namespace sbx {

#ifdef _WIN32
inline constexpr const char* kFileNameUnits = "UTF-16 units";
#else
inline constexpr const char* kFileNameUnits = "bytes";
#endif

// The limit of names in `folder`, in the units that system counts (bytes on POSIX systems,
// UTF-16 units on Windows); 255 when the system does not say.
std::size_t fileNameLimit(const std::filesystem::path& folder);

// The length of `file`'s last component, in those units.
std::size_t fileNameLength(const std::filesystem::path& file);

// Whether `file`'s name fits its folder's limit.
inline bool fileNameFits(const std::filesystem::path& file) {
    return fileNameLength(file) <= fileNameLimit(file.parent_path());
}

}  // namespace sbx
