#pragma once
// Files as the tests look at them: whole contents as bytes, small files written in one go, and
// a scratch folder per use.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace sbx::testing {

// The whole file; empty when it cannot be read.
inline std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> byteVectorOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes `content` to `file`, making its folders.
inline void writeFile(const std::filesystem::path& file, const std::string& content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

// Removes `folder` with everything in it, read-only entries too (Windows deletes no read-only
// file).
inline void removeAllOf(const std::filesystem::path& folder) {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(folder, ignored);
}

// A folder of its own under the system's temporary folder, removed with everything in it
// (read-only entries too) when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::string& label = "test") {
        static int made = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("sbx-" + label + "-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { removeAllOf(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // A writable copy of `file` in the folder, under its own name.
    std::filesystem::path copy(const std::filesystem::path& file) const {
        const std::filesystem::path to = path_ / file.filename();
        std::filesystem::copy_file(file, to, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        return to;
    }
    std::filesystem::path write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(path_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path_ / name;
    }
    size_t entries() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                                 std::filesystem::directory_iterator()));
    }

private:
    std::filesystem::path path_;
};

}  // namespace sbx::testing
