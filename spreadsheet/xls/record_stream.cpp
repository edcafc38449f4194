#include "spreadsheet/xls/record_stream.h"

#include <string>

#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/byte_reader.h"

namespace sbx::xls {

bool RecordStream::next(Record& out) {
    if (pos_ >= stream_.size()) return false;
    if (stream_.size() - pos_ < 4) {
        throwTruncated("the workbook stream ends inside a record header at byte " +
                       std::to_string(pos_));
    }
    const uint8_t* header = stream_.data() + pos_;
    const uint16_t type = loadU16(header);
    const size_t length = loadU16(header + 2);
    if (stream_.size() - pos_ - 4 < length) {
        throwTruncated("the workbook stream ends inside record 0x" + [&] {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%04X", type);
            return std::string(buf);
        }() + " at byte " + std::to_string(pos_));
    }
    out.type = type;
    out.offset = pos_;
    out.body = stream_.subspan(pos_ + 4, length);
    pos_ += 4 + length;
    return true;
}

uint16_t RecordStream::peekType() const {
    if (stream_.size() < 4 || pos_ > stream_.size() - 4) return 0;
    return loadU16(stream_.data() + pos_);
}

std::vector<std::span<const uint8_t>> RecordStream::takeContinues() {
    std::vector<std::span<const uint8_t>> parts;
    Record r;
    while (peekType() == rec::Continue && next(r)) parts.push_back(r.body);
    return parts;
}

}  // namespace sbx::xls
