#pragma once
// Which file a path leads to, whatever its spelling: ./x.xls, a symbolic link and a hard link
// to one file all give the same identity (the device and the inode on POSIX systems, the
// volume serial number and the file index on Windows). Comparing canonical paths misses hard
// links; comparing identities does not.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace sbx {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file `path` leads to (links followed); nothing when it does not exist
// or cannot be looked at.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);

struct FileIdentityHash {
    std::size_t operator()(const FileIdentity& id) const noexcept {
        return std::hash<std::uint64_t>()(id.index * 0x9e3779b97f4a7c15ull ^ id.device);
    }
};

}  // namespace sbx
