#include "consolidate/record/spill_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "spreadsheet/utf8_path.h"

namespace sbx {

SpillFile::SpillFile(const std::filesystem::path& target)
    : path_(temporaryNameBeside(target)), pending_(std::make_unique<PendingTemporary>(path_)) {
    errno = 0;
    file_.open(path_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file_) fail("could not be created");
}

SpillFile::~SpillFile() {
    file_.close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void SpillFile::append(std::string_view text) {
    if (reading_) {
        // A stream must be positioned between reading and writing.
        file_.seekp(static_cast<std::streamoff>(size_));
        reading_ = false;
    }
    file_.write(text.data(), static_cast<std::streamsize>(text.size()));
    size_ += text.size();
}

void SpillFile::checkWritten() {
    errno = 0;
    if (!file_.flush()) fail("could not be written");
}

void SpillFile::read(uint64_t offset, char* to, size_t length) {
    errno = 0;
    reading_ = true;
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(to, static_cast<std::streamsize>(length));
    if (!file_ || static_cast<size_t>(file_.gcount()) != length) fail("could not be read back");
}

void SpillFile::fail(std::string_view what) {
    const int error = errno;
    throw std::runtime_error("the temporary file of the record's cell lists " + utf8String(path_) + " " + std::string(what) +
                             (error ? ": " + std::string(std::strerror(error)) : std::string()));
}

}  // namespace sbx
