#pragma once
// Replacing a file so that a crash, a full disk or a refused write never leaves it half
// written: the new content goes to a temporary file in the same folder, is flushed to the
// disk, and takes the old file's place in one rename.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

namespace sbx {

// The low-level steps, replaceable so that tests can make one fail part-way. Each returns
// what its POSIX namesake returns and sets errno the same way.
struct FileWriteSteps {
    std::function<long(int fd, const uint8_t* data, size_t size)> write;
    std::function<int(int fd)> sync;
    std::function<int(const std::filesystem::path& from, const std::filesystem::path& to)> rename;

    static FileWriteSteps system();
};

// What a symbolic link at the target stands for. Follow: the file the user saves through it
// (the file it points to is replaced, in its own folder, and the link stays). Replace: a name
// someone else may have planted in a shared folder (the link itself is replaced by the new
// file; nothing is ever written through it).
enum class LinkAtTarget { Follow, Replace };

// How a workbook's save puts its file in place: a link at the target as `link` says, and the
// bytes handed to `written` (when set) just before they are written, for their digest.
struct SavePlacement {
    LinkAtTarget link = LinkAtTarget::Follow;
    std::function<void(std::span<const uint8_t>)> written;
};

// Writes `bytes` to `target` through a temporary file beside it, a link at `target` treated
// as `link` says. The replaced file keeps its permissions. On failure the temporary file is removed, `target` is as it was,
// and WorkbookError (Unwritable) names `target` and says why.
void replaceFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                           const FileWriteSteps& steps = FileWriteSteps::system(),
                           LinkAtTarget link = LinkAtTarget::Follow);
// The same, the content given as pieces that follow one another (small ones gathered into
// large writes), so that a text laid out in parts is not copied whole first.
void replaceFileAtomically(const std::filesystem::path& target, std::span<const std::string_view> pieces,
                           const FileWriteSteps& steps = FileWriteSteps::system(),
                           LinkAtTarget link = LinkAtTarget::Follow);

// A replacement made in steps, for content that comes in parts over time: written to the
// temporary file beside the target part by part (small pieces gathered into large writes),
// flushed, and put in the target's place by commit(). Destroyed uncommitted, or after a
// failure, it removes the temporary file and leaves the target as it was. Each step throws
// WorkbookError (Unwritable) naming the target, as replaceFileAtomically does.
class FileReplacement {
public:
    explicit FileReplacement(const std::filesystem::path& target, FileWriteSteps steps = FileWriteSteps::system(),
                             LinkAtTarget link = LinkAtTarget::Follow);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void write(std::span<const std::string_view> pieces);
    // Flushes what was written to the disk, so that the commit has only the rest to flush.
    void flush();
    // Flushes, closes and renames over the target.
    void commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Flushes a file that was written by other means (a copy) to the disk, before it takes
// another file's place. Returns 0, or the errno value of the failure.
int flushFileToDisk(const std::filesystem::path& file);

}  // namespace sbx
