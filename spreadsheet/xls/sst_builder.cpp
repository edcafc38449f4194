#include "spreadsheet/xls/sst_builder.h"

#include <algorithm>

#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xls/text_encoding.h"

namespace sbx::xls {

namespace {

// Reads across the CONTINUE boundaries of a record, as the string layout needs.
class SegmentCursor {
public:
    explicit SegmentCursor(std::vector<std::span<const uint8_t>> segments) : segments_(std::move(segments)) {}

    bool atEnd() {
        settle();
        return segment_ >= segments_.size();
    }
    uint8_t u8() {
        if (!settle()) throwTruncated("the shared string table ends inside a string");
        return segments_[segment_][pos_++];
    }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
    void take(std::vector<uint8_t>& out, size_t n) {
        for (size_t i = 0; i < n; ++i) out.push_back(u8());
    }
    // Characters: a string cut by a CONTINUE boundary goes on after a fresh option byte,
    // even when the boundary falls right before its first character.
    void chars(std::u16string& out, size_t count, bool wide) {
        while (out.size() < count) {
            if (segment_ >= segments_.size()) throwTruncated("the shared string table ends inside a string");
            const auto& seg = segments_[segment_];
            const size_t unit = wide ? 2 : 1;
            while (out.size() < count && pos_ + unit <= seg.size()) {
                out.push_back(wide ? static_cast<char16_t>(seg[pos_] | (seg[pos_ + 1] << 8))
                                   : static_cast<char16_t>(seg[pos_]));
                pos_ += unit;
            }
            if (out.size() == count) break;
            if (pos_ != seg.size()) throwCorrupt("a string character is cut by a record boundary");
            ++segment_;
            pos_ = 0;
            if (segment_ >= segments_.size() || segments_[segment_].empty()) {
                throwTruncated("the shared string table ends inside a string");
            }
            wide = (segments_[segment_][pos_++] & 0x01) != 0;
        }
    }

private:
    bool settle() {
        while (segment_ < segments_.size() && pos_ >= segments_[segment_].size()) {
            ++segment_;
            pos_ = 0;
        }
        return segment_ < segments_.size();
    }
    std::vector<std::span<const uint8_t>> segments_;
    size_t segment_ = 0;
    size_t pos_ = 0;
};

bool fitsInOneByte(const std::u16string& s) {
    return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x100; });
}

// Writes records of at most kMaxRecordBody bytes: the first is an SST, the rest CONTINUE.
class ContinuedWriter {
public:
    ContinuedWriter(BiffOutput& out, uint16_t firstType) : out_(out) { start_ = out_.beginRecord(firstType); }
    size_t room() const { return kMaxRecordBody - (out_.size() - start_ - 4); }
    void next() {
        out_.endRecord(start_);
        start_ = out_.beginRecord(rec::Continue);
    }
    void finish() { out_.endRecord(start_); }
    size_t recordStart() const { return start_; }
    BiffOutput& out() { return out_; }

private:
    BiffOutput& out_;
    size_t start_;
};

}  // namespace

SstBuilder SstBuilder::parse(std::vector<std::span<const uint8_t>> segments) {
    SstBuilder table;
    SegmentCursor in(std::move(segments));
    if (in.atEnd()) return table;
    table.statedReferences_ = in.u32();
    const uint32_t unique = in.u32();
    while (table.entries_.size() < unique && !in.atEnd()) {
        Entry e;
        const size_t count = in.u16();
        const uint8_t options = in.u8();
        const size_t runs = (options & 0x08) ? in.u16() : 0;
        const size_t phonetic = (options & 0x04) ? in.u32() : 0;
        e.chars.reserve(count);
        in.chars(e.chars, count, (options & 0x01) != 0);
        in.take(e.runs, runs * 4);
        in.take(e.phonetic, phonetic);
        table.entries_.push_back(std::move(e));
    }
    return table;
}

uint32_t SstBuilder::indexOf(std::string_view utf8) {
    if (!indexed_) {
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].runs.empty() && entries_[i].phonetic.empty()) {
                plainIndex_.emplace(entries_[i].chars, static_cast<uint32_t>(i));
            }
        }
        indexed_ = true;
    }
    std::u16string chars = utf8ToUtf16(utf8);
    if (chars.size() > 32767) chars.resize(32767);  // the longest text a cell holds
    const auto [it, added] = plainIndex_.emplace(chars, static_cast<uint32_t>(entries_.size()));
    if (added) entries_.push_back(Entry{std::move(chars), {}, {}});
    return it->second;
}

void SstBuilder::writeSst(BiffOutput& out, size_t streamBase) {
    const size_t count = entries_.size();
    stringsPerBucket_ = static_cast<uint16_t>(std::max<size_t>(8, (count + 127) / 128));
    buckets_.clear();

    ContinuedWriter w(out, rec::Sst);
    const int64_t references = std::max<int64_t>(static_cast<int64_t>(statedReferences_) + referenceDelta_,
                                                 static_cast<int64_t>(count));
    out.u32(static_cast<uint32_t>(std::min<int64_t>(references, UINT32_MAX)));
    out.u32(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const Entry& e = entries_[i];
        const bool wide = !fitsInOneByte(e.chars);
        const size_t unit = wide ? 2 : 1;
        const size_t header = 3 + (e.runs.empty() ? 0 : 2) + (e.phonetic.empty() ? 0 : 4);
        const size_t whole = header + e.chars.size() * unit + e.runs.size() + e.phonetic.size();
        // A string starts in a fresh record when its header and first character would be
        // cut, or when it would fit a fresh record whole but not the rest of this one.
        if (w.room() < header + unit || (whole > w.room() && whole <= kMaxRecordBody)) w.next();
        if (i % stringsPerBucket_ == 0) {
            buckets_.push_back({static_cast<uint32_t>(streamBase + out.size()),
                                static_cast<uint16_t>(out.size() - w.recordStart())});
        }
        out.u16(static_cast<uint16_t>(e.chars.size()));
        out.u8(static_cast<uint8_t>((wide ? 0x01 : 0) | (e.runs.empty() ? 0 : 0x08) | (e.phonetic.empty() ? 0 : 0x04)));
        if (!e.runs.empty()) out.u16(static_cast<uint16_t>(e.runs.size() / 4));
        if (!e.phonetic.empty()) out.u32(static_cast<uint32_t>(e.phonetic.size()));
        size_t done = 0;
        while (done < e.chars.size()) {
            if (w.room() < unit) {
                w.next();
                out.u8(wide ? 0x01 : 0x00);  // the continued characters' option byte
            }
            const size_t n = std::min(e.chars.size() - done, w.room() / unit);
            for (size_t k = 0; k < n; ++k) {
                const char16_t c = e.chars[done + k];
                if (wide) {
                    out.u16(static_cast<uint16_t>(c));
                } else {
                    out.u8(static_cast<uint8_t>(c));
                }
            }
            done += n;
        }
        // Runs go on whole (4 bytes each), the phonetic block byte by byte.
        for (size_t r = 0; r < e.runs.size(); r += 4) {
            if (w.room() < 4) w.next();
            out.append(std::span<const uint8_t>(e.runs).subspan(r, 4));
        }
        for (size_t p = 0; p < e.phonetic.size();) {
            if (w.room() == 0) w.next();
            const size_t n = std::min(e.phonetic.size() - p, w.room());
            out.append(std::span<const uint8_t>(e.phonetic).subspan(p, n));
            p += n;
        }
    }
    w.finish();
}

void SstBuilder::writeExtSst(BiffOutput& out) const {
    const size_t start = out.beginRecord(rec::ExtSst);
    out.u16(stringsPerBucket_);
    for (const Bucket& b : buckets_) {
        out.u32(b.streamPos);
        out.u16(b.recordOffset);
        out.u16(0);
    }
    out.endRecord(start);
}

}  // namespace sbx::xls
