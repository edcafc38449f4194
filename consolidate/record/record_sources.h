#pragma once
// Where the record reads the sources' values from: the cache the check and the run read them
// through (values held, workbooks kept open, digests), and the cells' lists laid out from
// every area of values the check read. Without lists the record merges the values after the
// run, reading again what the cache does not hold.
#include <filesystem>
#include <memory>

#include "consolidate/record/record_cell_lists.h"
#include "consolidate/run/source_cache.h"

namespace sbx {

struct RecordSources {
    // A cache alone will do: the record then merges the values after the run.
    RecordSources(SourceCache& sourceCache, RecordCellLists* cellLists = nullptr) : cache(sourceCache), lists(cellLists) {}
    SourceCache& cache;
    RecordCellLists* lists;
};

// The record's lists keep this share of the cache's values budget in memory (by default 16 MB
// of text, about 1.2 million contributions), the rest in a temporary file.
inline constexpr size_t kRecordListsShare = 4;

// Lists of cells that `cache` feeds from here on (make them before the check); when they
// outgrow their memory they spill to a temporary file beside `summary`. `sources`: how many
// the check will read (0: not known), for the room each cell's list starts with.
inline std::unique_ptr<RecordCellLists> listCellsForRecord(SourceCache& cache, const std::filesystem::path& summary,
                                                           size_t sources = 0) {
    auto lists = std::make_unique<RecordCellLists>(cache.valuesBudget() / kRecordListsShare, summary, sources);
    cache.tellValuesTo(*lists);
    return lists;
}

}  // namespace sbx
