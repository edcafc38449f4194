#pragma once
// The run record's cell lines made after the run, by merging the sources' values position by
// position: the values the check held, or read again through the cache for the sources it did
// not hold. For the runs whose lines were not laid out while the check read (a failed run, a
// source left out, values beyond the cache's budget).
#include <string>

#include "consolidate/record/run_record_input.h"
#include "consolidate/run/source_cache.h"

namespace sbx {

// Appends the line of every cell of the saved job entries where a source holds a value, each
// led by "," but the first; whether there was any. Throws std::runtime_error naming the
// source when one the run added up cannot be read again, or is no longer what the run read.
bool appendMergedCells(std::string& out, const RunRecordInput& in, SourceCache& sources);

}  // namespace sbx
