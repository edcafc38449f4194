#include "consolidate/run/source_cache.h"

#include <algorithm>
#include <optional>
#include <span>
#include <system_error>

#include "spreadsheet/workbook_error.h"

namespace sbx {

SourceCache::SourceCache(SpreadsheetHost& host, uintmax_t budgetBytes, ForRecord forRecord, size_t valuesBudget)
    : host_(host), budget_(budgetBytes), valuesBudget_(valuesBudget),
      digests_(forRecord == ForRecord::Yes ? std::make_unique<BackgroundDigests>() : nullptr) {}

SourceCache::~SourceCache() {
    for (auto& [path, entry] : open_) {
        try {
            host_.close(*entry.book, false);
        } catch (...) {
            // Closing without saving writes nothing; there is nothing to report.
        }
    }
}

OpenedSource SourceCache::open(const SourceArea& source) {
    const std::filesystem::path& file = source.file;
    auto it = open_.find(file);
    if (it == open_.end()) {
        std::optional<uintmax_t> read;  // the size of the bytes parsed, when the host hands them over
        bool package = false;
        Workbook& book = digests_ ? host_.openHandingBytes(file,
                                                           [&](const FileBytes& bytes) {
                                                               read = bytes->size();
                                                               package = bytes->size() >= 2 && (*bytes)[0] == 'P' && (*bytes)[1] == 'K';
                                                               digestOrCompare(file, bytes);
                                                           })
                                  : host_.open(file);
        std::error_code ec;
        const uintmax_t size = read ? *read : std::filesystem::file_size(file, ec);
        const uintmax_t cost = size * (package ? kPackageWeight : kBiffWeight);
        Entry entry{&book, false, size, cost};
        if (!ec && used_ + cost <= budget_) {
            entry.kept = true;
            used_ += cost;
        } else if (ec) {
            entry.kept = true;  // not a file on disk (a host of its own): nothing to budget
        }
        it = open_.emplace(file, entry).first;
    }
    Workbook& book = *it->second.book;
    return {book.worksheet(source.worksheet), book.uses1904Dates()};
}

uintmax_t SourceCache::fileSize(const std::filesystem::path& file) {
    if (const auto it = open_.find(file); it != open_.end()) return it->second.size;
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    return ec ? 0 : size;
}

void SourceCache::release(const SourceArea& source) {
    const auto it = open_.find(source.file);
    if (it == open_.end() || it->second.kept) return;
    Workbook* book = it->second.book;
    open_.erase(it);
    host_.close(*book, false);
}

void SourceCache::hold(const SourceArea& source, AreaValues values, uint32_t checkIndex, Keep always) {
    if (held(source)) return;
    const size_t bytes = values.bytes();
    const bool keep = always == Keep::Always || valuesUsed_ + bytes <= valuesBudget_;
    auto shared = std::make_shared<const AreaValues>(std::move(values));
    if (listener_) listener_->valuesRead(checkIndex, source.worksheet, shared, keep);
    if (!keep) {
        valuesSpent_ = true;
        return;
    }
    valuesUsed_ += bytes;
    held_[source.file].push_back({source.worksheet, std::move(shared)});
}

void SourceCache::closeIfHeld(const std::filesystem::path& file, size_t areas) {
    const auto values = held_.find(file);
    if (areas == 0 || values == held_.end() || values->second.size() != areas) return;
    const auto it = open_.find(file);
    if (it == open_.end()) return;
    Workbook* book = it->second.book;
    if (it->second.kept) used_ -= std::min(used_, it->second.cost);
    open_.erase(it);
    host_.close(*book, false);
}

const AreaValues* SourceCache::held(const SourceArea& source) {
    const auto it = held_.find(source.file);
    if (it == held_.end()) return nullptr;
    for (const HeldArea& h : it->second) {
        if (h.worksheet == source.worksheet && h.values->area() == source.area) return h.values.get();
    }
    return nullptr;
}

void SourceCache::digestOrCompare(const std::filesystem::path& file, const FileBytes& bytes) {
    // Only a source read once the values' budget is spent can be read again by the run: the
    // others' values are held. Those read before go without a fingerprint.
    if (digests_->add(file, bytes, valuesSpent_)) return;
    // Read again (its workbook was not kept): it must be the file the run read before, or the
    // totals and the record would mix two versions of one report. The fingerprints tell; the
    // digests only say how it differs.
    const auto first = digests_->fingerprintOf(file);
    if (first && *first == fingerprintOf(std::span<const uint8_t>(*bytes))) return;
    const std::string before = digests_->digestOf(file);
    const std::string now = sha256Of(std::span<const uint8_t>(*bytes));
    if (!before.empty() && now != before) {
        throw WorkbookError(WorkbookErrorKind::Unreadable, file,
                            "the file changed while the run was reading it (SHA-256 " + before + " when first read, " +
                                now + " now); run again to add up one version of it");
    }
}

std::string SourceCache::digest(const std::filesystem::path& file) { return digests_ ? digests_->digestOf(file) : std::string(); }

}  // namespace sbx
