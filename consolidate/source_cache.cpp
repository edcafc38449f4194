#include "consolidate/source_cache.h"

#include <system_error>

namespace sbx {

SourceCache::SourceCache(SpreadsheetHost& host, uintmax_t budgetBytes) : host_(host), budget_(budgetBytes) {}

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
        Workbook& book = host_.open(file);
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(file, ec);
        Entry entry{&book, false};
        if (!ec && used_ + size <= budget_) {
            entry.kept = true;
            used_ += size;
        } else if (ec) {
            entry.kept = true;  // not a file on disk (a host of its own): nothing to budget
        }
        it = open_.emplace(file, entry).first;
    }
    Workbook& book = *it->second.book;
    return {book.worksheet(source.worksheet), book.uses1904Dates()};
}

void SourceCache::release(const SourceArea& source) {
    const auto it = open_.find(source.file);
    if (it == open_.end() || it->second.kept) return;
    Workbook* book = it->second.book;
    open_.erase(it);
    host_.close(*book, false);
}

}  // namespace sbx
