#pragma once
// The record of a run, written beside the summary right after it (total.xls.run.json): when
// and how the run went, every source with its size and SHA-256, the check's findings and
// what was done with them, what the run left out, and for every summary cell of the job its
// total and the sources' non-empty values behind it. JSON, indented for people, one cell per
// line for scripts and for the viewer (run_record_reader.h).
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "consolidate/record/record_sources.h"
#include "consolidate/record/run_record_input.h"
#include "consolidate/check/source_check.h"

namespace sbx {

// The record's format: 2 adds "summary sha256", the digest of the summary's bytes as the run
// saved them, so that a reader can tell whether the summary on disk is the one described.
inline constexpr int kRunRecordVersion = 2;

// "hz/total.xls" -> "hz/total.xls.run.json".
std::filesystem::path runRecordPath(const std::filesystem::path& summary);

// The record as text. The cells' values come from `sources`: the lists laid out while the
// check read, when they hold what the run added; else the values the check held in the cache,
// or, for sources it did not hold, read again from the workbooks it keeps open. The digests
// come from the bytes the cache read, when it kept them.
std::string runRecordText(const RunRecordInput& input, RecordSources sources);

// Writes the record beside input.request.summary in one atomic step; throws WorkbookError
// (Unwritable) naming the record file.
void writeRunRecord(const RunRecordInput& input, RecordSources sources);

// The record after a run, so that the record beside the summary always describes the summary
// on disk. A run that saved the summary, whole or the worksheets before its failure (saving
// after each worksheet), gets a record of what was saved (its cells; `outcome` and `failure`
// tell the rest). A run that saved nothing (it failed first, or was cancelled and the summary
// put back) left the summary as it was, and so its record: untouched. Should the new record
// not be written, the old one is removed (it would describe totals no longer there), and
// why returned (naming the record file); nullopt otherwise.
std::optional<WorkbookError> recordRun(const RunRecordInput& input, RecordSources sources);

// The record of a run, begun as the run begins. While the run goes, the record of a run that
// goes as runs mostly do (every worksheet saved, no source and no cell left out) is written,
// on a thread of its own, to a temporary file beside the summary and flushed to the disk; when
// the run went so, only what it left out is added after it before the file takes the record's
// place. A run that went otherwise has its record written whole after it, as by recordRun().
// Only what the check left in the cache (values held, digests) is read while the run goes.
class RunRecordWriter {
public:
    // `check`, `request` and `sources` must outlive the writer; `request` must not change.
    RunRecordWriter(std::chrono::system_clock::time_point started, const CheckReport& check, CheckOutcome outcome,
                    const RunRequest& request, RecordSources sources);
    ~RunRecordWriter();  // an unfinished record's temporary file is removed
    RunRecordWriter(const RunRecordWriter&) = delete;
    RunRecordWriter& operator=(const RunRecordWriter&) = delete;

    // After the run: recordRun()'s work for its report, and its answer.
    std::optional<WorkbookError> finish(const RunReport& report);
    // After finish(): whether the record was the one written while the run went.
    bool writtenWhileRunning() const { return writtenWhileRunning_; }

private:
    struct Early;
    std::chrono::system_clock::time_point started_;
    const CheckReport& check_;
    CheckOutcome outcome_;
    const RunRequest& request_;
    RecordSources sources_;
    std::unique_ptr<Early> early_;
    bool writtenWhileRunning_ = false;
};

}  // namespace sbx
