#pragma once
// Walks the records of a BIFF stream: a 4-byte header (number, length) and the body.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sbx::xls {

struct Record {
    uint16_t type = 0;
    size_t offset = 0;  // of the header within the stream
    std::span<const uint8_t> body;
};

class RecordStream {
public:
    explicit RecordStream(std::span<const uint8_t> stream, size_t start = 0)
        : stream_(stream), pos_(start) {}

    // The next record, or false at the end of the stream. A header or body that runs past
    // the end of the stream is a FormatError (Truncated).
    bool next(Record& out);
    // The type of the record that next() would return, or 0 at the end.
    uint16_t peekType() const;
    size_t position() const { return pos_; }
    void seek(size_t pos) { pos_ = pos; }

    // Bodies of the CONTINUE records that directly follow, consumed.
    std::vector<std::span<const uint8_t>> takeContinues();

private:
    std::span<const uint8_t> stream_;
    size_t pos_;
};

}  // namespace sbx::xls
