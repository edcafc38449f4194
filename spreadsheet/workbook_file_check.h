#pragma once
// Making sure a path names a file a workbook can be read from before anything reads it: a
// named pipe would block the reader forever, a device would never end, and a huge file would
// be loaded whole into memory only to be refused.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace sbx {

// No workbook comes near this size. The largest sheet an Excel 97-2003 workbook can hold
// (65536 rows by 256 columns of 18-byte NUMBER records) takes about 300 MB, the application
// itself never managed more than a fraction of that, and the compound file format of that
// generation stops at 2 GB. A gibibyte keeps a margin over any real file while refusing,
// before a byte is read, what could only exhaust memory.
inline constexpr std::uintmax_t kWorkbookSizeLimit = std::uintmax_t{1} << 30;

// What a path names, as far as reading a workbook from it goes. Every check of a file's type
// before it is read or copied (the engine's, the pool's, the viewer's) classifies by this.
enum class FileKind { Regular, Missing, Folder, NamedPipe, Device, Socket, Unlooked, Other };
FileKind fileKindOf(std::filesystem::file_type type);
// Links followed; the file is never opened, so a named pipe does not block. Unlooked: the
// system would not say (no permission on the folder, say).
FileKind fileKindOf(const std::filesystem::path& file);

// Throws WorkbookError unless `file` (links followed) is a regular file of at most
// kWorkbookSizeLimit bytes: FileNotFound, NotAFile (a folder, a named pipe, a device, a
// socket) or TooLarge, each with its reason. Looks at the file's type and size only; never
// opens it.
void checkWorkbookFile(const std::filesystem::path& file);

// A workbook file opened for reading, with checkWorkbookFile's rules applied to what was
// opened (its type and size, through the descriptor). Opening does not wait on a named pipe,
// so only a regular file within the limit is ever read.
class WorkbookFileReader {
public:
    // Throws WorkbookError as checkWorkbookFile does, or Unreadable when opening fails.
    explicit WorkbookFileReader(const std::filesystem::path& file);
    ~WorkbookFileReader();
    WorkbookFileReader(const WorkbookFileReader&) = delete;
    WorkbookFileReader& operator=(const WorkbookFileReader&) = delete;

    std::uintmax_t size() const { return size_; }
    // The first `count` bytes, or the whole of a shorter file.
    std::vector<uint8_t> head(size_t count) const;
    // The whole file.
    std::vector<uint8_t> readAll() const;

private:
    std::vector<uint8_t> readFromStart(size_t count) const;

    std::filesystem::path file_;
    int fd_ = -1;
    std::uintmax_t size_ = 0;
};

}  // namespace sbx
