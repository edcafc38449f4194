#include "spreadsheet/workbook_file_check.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMegabyte = 1024 * 1024;

[[noreturn]] void refuseType(const fs::path& file, const char* what) {
    throw WorkbookError(WorkbookErrorKind::NotAFile, file, std::string("this is ") + what + ", not a workbook file");
}

void checkType(const fs::path& file, fs::file_type type) {
    switch (fileKindOf(type)) {
        case FileKind::Regular: return;
        case FileKind::Folder: refuseType(file, "a folder");
        case FileKind::NamedPipe: refuseType(file, "a named pipe (FIFO)");
        case FileKind::Device: refuseType(file, "a device");
        case FileKind::Socket: refuseType(file, "a socket");
        default: refuseType(file, "a special file");
    }
}

void checkSize(const fs::path& file, std::uintmax_t size) {
    if (size <= kWorkbookSizeLimit) return;
    throw WorkbookError(WorkbookErrorKind::TooLarge, file,
                        "the file is larger than any real workbook (" + std::to_string(size / kMegabyte) +
                            " MB; the limit is " + std::to_string(kWorkbookSizeLimit / kMegabyte) + " MB)");
}

fs::file_type typeOfMode(unsigned mode) {
    switch (mode & S_IFMT) {
        case S_IFREG: return fs::file_type::regular;
        case S_IFDIR: return fs::file_type::directory;
        case S_IFCHR: return fs::file_type::character;
#ifdef S_IFIFO
        case S_IFIFO: return fs::file_type::fifo;
#endif
#ifdef S_IFBLK
        case S_IFBLK: return fs::file_type::block;
#endif
#ifdef S_IFSOCK
        case S_IFSOCK: return fs::file_type::socket;
#endif
        default: return fs::file_type::unknown;
    }
}

#ifdef _WIN32
int openForReading(const fs::path& p) { return _wopen(p.c_str(), _O_RDONLY | _O_BINARY); }
bool statOpen(int fd, unsigned& mode, std::uintmax_t& size) {
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0) return false;
    mode = st.st_mode;
    size = static_cast<std::uintmax_t>(st.st_size);
    return true;
}
long readAt(int fd, uint8_t* into, size_t count, std::uintmax_t offset) {
    if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
    return _read(fd, into, static_cast<unsigned>(std::min<size_t>(count, INT_MAX)));
}
void closeFile(int fd) { _close(fd); }
#else
// Non-blocking, so that a named pipe without a writer does not hold the open; the flag is
// taken off again once the descriptor is known to be a regular file.
int openForReading(const fs::path& p) { return ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }
bool statOpen(int fd, unsigned& mode, std::uintmax_t& size) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    mode = st.st_mode;
    size = static_cast<std::uintmax_t>(st.st_size);
    return true;
}
long readAt(int fd, uint8_t* into, size_t count, std::uintmax_t offset) {
    return ::pread(fd, into, count, static_cast<off_t>(offset));
}
void closeFile(int fd) { ::close(fd); }
#endif

}  // namespace

FileKind fileKindOf(fs::file_type type) {
    switch (type) {
        case fs::file_type::regular: return FileKind::Regular;
        case fs::file_type::not_found: return FileKind::Missing;
        case fs::file_type::directory: return FileKind::Folder;
        case fs::file_type::fifo: return FileKind::NamedPipe;
        case fs::file_type::block:
        case fs::file_type::character: return FileKind::Device;
        case fs::file_type::socket: return FileKind::Socket;
        case fs::file_type::none: return FileKind::Unlooked;
        default: return FileKind::Other;
    }
}

FileKind fileKindOf(const fs::path& file) {
    std::error_code error;
    return fileKindOf(fs::status(file, error).type());
}

void checkWorkbookFile(const fs::path& file) {
#ifndef _WIN32
    // One look at the file when it is there; the reasons why it is not are worked out below.
    struct stat st;
    if (::stat(file.c_str(), &st) == 0) {
        checkType(file, typeOfMode(st.st_mode));
        checkSize(file, static_cast<std::uintmax_t>(st.st_size));
        return;
    }
#endif
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (status.type() == fs::file_type::not_found) {
        std::error_code linkError;
        if (fs::is_symlink(fs::symlink_status(file, linkError))) {
            throw WorkbookError(WorkbookErrorKind::FileNotFound, file,
                                "the link points to a file that does not exist");
        }
        throw WorkbookError(WorkbookErrorKind::FileNotFound, file, "the file does not exist");
    }
    if (error) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, "the file cannot be looked at: " + error.message(),
                            error.value());
    }
    checkType(file, status.type());
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file, "the file's size cannot be read: " + error.message(),
                            error.value());
    }
    checkSize(file, size);
}

WorkbookFileReader::WorkbookFileReader(const fs::path& file) : file_(file) {
    // Opened first and looked at through the descriptor: a file that cannot be opened is
    // looked at by name then, for the reason (a folder, a link to nothing).
    fd_ = openForReading(file);
    if (fd_ < 0) {
        const int error = errno;
        checkWorkbookFile(file);
        if (error == ENOENT) throw WorkbookError(WorkbookErrorKind::FileNotFound, file, "the file does not exist");
        throw WorkbookError(WorkbookErrorKind::Unreadable, file,
                            std::string("the file cannot be opened: ") + std::strerror(error), error);
    }
    try {
        // What counts is what was opened, looked at through the descriptor.
        unsigned mode = 0;
        if (!statOpen(fd_, mode, size_)) {
            const int error = errno;
            throw WorkbookError(WorkbookErrorKind::Unreadable, file,
                                std::string("the file cannot be looked at: ") + std::strerror(error), error);
        }
        checkType(file, typeOfMode(mode));
        checkSize(file, size_);
#ifndef _WIN32
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
#endif
    } catch (...) {
        closeFile(fd_);
        throw;
    }
}

WorkbookFileReader::~WorkbookFileReader() {
    if (fd_ >= 0) closeFile(fd_);
}

std::vector<uint8_t> WorkbookFileReader::readFromStart(size_t count) const {
    std::vector<uint8_t> bytes(count);
    size_t done = 0;
    while (done < count) {
        const long n = readAt(fd_, bytes.data() + done, count - done, done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            throw WorkbookError(WorkbookErrorKind::Unreadable, file_,
                                std::string("the file cannot be read: ") + std::strerror(error), error);
        }
        if (n == 0) break;  // the file became shorter since it was opened
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

std::vector<uint8_t> WorkbookFileReader::head(size_t count) const {
    return readFromStart(static_cast<size_t>(std::min<std::uintmax_t>(count, size_)));
}

std::vector<uint8_t> WorkbookFileReader::readAll() const { return readFromStart(static_cast<size_t>(size_)); }

}  // namespace sbx
