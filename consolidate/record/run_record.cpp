#include "consolidate/record/run_record.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <thread>
#include <unordered_map>

#include "consolidate/run/file_digest.h"
#include "consolidate/record/record_cell_line.h"
#include "consolidate/record/record_json_text.h"
#include "consolidate/record/record_merged_cells.h"
#include "spreadsheet/atomic_file.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/path_hash.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

namespace fs = std::filesystem;

std::string utcText(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &t);
#else
    gmtime_r(&t, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string_view outcomeName(CheckOutcome o) {
    switch (o) {
        case CheckOutcome::NothingFlagged: return "nothing flagged";
        case CheckOutcome::IncludedAll: return "flagged files included";
        case CheckOutcome::LeftOut: return "flagged files left out";
        case CheckOutcome::Allowed: return "findings allowed";
    }
    return {};
}

std::string_view skippedName(Skipped::Kind k) {
    switch (k) {
        case Skipped::Kind::WorksheetMissing: return "WORKSHEET_MISSING";
        case Skipped::Kind::SourceUnreadable: return "SOURCE_UNREADABLE";
        case Skipped::Kind::CellRefused: return "CELL_REFUSED";
        case Skipped::Kind::AddsNothing: return "ADDS_NOTHING";
    }
    return {};
}

std::string_view failureName(Failure::Kind k) {
    switch (k) {
        case Failure::Kind::NoSources: return "NO_SOURCES";
        case Failure::Kind::WorksheetMissing: return "WORKSHEET_MISSING";
        case Failure::Kind::SourceUnreadable: return "SOURCE_UNREADABLE";
        case Failure::Kind::SummaryUnusable: return "SUMMARY_UNUSABLE";
        case Failure::Kind::SummaryNotSaved: return "SUMMARY_NOT_SAVED";
        case Failure::Kind::TotalNotFinite: return "TOTAL_NOT_FINITE";
        case Failure::Kind::RangeBeyondSummary: return "RANGE_BEYOND_SUMMARY";
        case Failure::Kind::Cancelled: return "CANCELLED";
    }
    return {};
}

void appendFinding(std::string& out, const Finding& f, const CheckReport& check) {
    out += "{";
    appendJsonField(out, "kind", findingName(f.kind), true);
    if (!f.worksheet.empty()) appendJsonField(out, "worksheet", f.worksheet);
    switch (f.kind) {
        case FindingKind::Unreadable:
        case FindingKind::MissingWorksheet: appendJsonField(out, "reason", f.reason); break;
        case FindingKind::Layout:
            appendJsonField(out, "cell", cellName(f.cell));
            appendJsonField(out, "template", f.templateValue);
            appendJsonField(out, "source", f.sourceValue);
            break;
        case FindingKind::Duplicate:
            appendJsonFileField(out, "of", check.sources[*f.duplicateOf].file);
            appendJsonField(out, "same", f.sameBytes ? "bytes" : "values");
            break;
        case FindingKind::SameUnit:
            appendJsonField(out, "unit", f.reason);
            appendJsonFileField(out, "of", check.sources[*f.duplicateOf].file);
            break;
        case FindingKind::NotANumber:
        case FindingKind::NoResult:
        case FindingKind::Audit:
            appendJsonField(out, "cell", cellName(f.cell));
            if (f.kind == FindingKind::NotANumber) {
                appendJsonField(out, "source", f.sourceValue);
            } else if (f.kind == FindingKind::Audit) {
                appendJsonField(out, "source", f.sourceValue);
                appendJsonField(out, "by_formula", f.templateValue);
                appendJsonField(out, "formula", f.reason);
            } else {
                appendJsonField(out, "reason", f.reason);
            }
            out += ", \"count\": " + std::to_string(f.count) + ", \"cells\": [";
            for (size_t i = 0; i < f.cells.size(); ++i) {
                if (i) out += ", ";
                appendJsonString(out, cellName(f.cells[i]));
            }
            out += "]";
            break;
        case FindingKind::UnmatchedLabel:
            appendJsonField(out, "cell", cellName(f.cell));
            appendJsonField(out, "label", f.sourceValue);
            out += ", \"times\": " + std::to_string(f.labelTimes) + ", \"template_times\": " + std::to_string(f.templateTimes);
            out += ", \"count\": " + std::to_string(f.count) + ", \"cells\": [";
            for (size_t i = 0; i < f.cells.size(); ++i) {
                if (i) out += ", ";
                appendJsonString(out, cellName(f.cells[i]));
            }
            out += "]";
            break;
    }
    out += "}";
}

// Where an aligned source's rows and columns went: [its own, the summary's] for each that
// landed in a range, so that its values can be found in the file. Nothing for a source added
// in place, so that other records stay as they were.
void appendAligned(std::string& out, const SourceCheck& s) {
    if (s.aligned.empty()) return;
    out += ", \"aligned\": [";
    for (size_t k = 0; k < s.aligned.size(); ++k) {
        const AreaAlignment& a = s.aligned[k].alignment;
        out += k ? ", {" : "{";
        appendJsonField(out, "worksheet", s.aligned[k].worksheet, true);
        appendJsonField(out, "range", areaName(a.area));
        out += ", \"rows\": [";
        bool first = true;
        for (size_t i = 0; i < a.rows.size(); ++i) {
            if (a.rows[i] == 0) continue;
            out += (first ? "[" : ", [") + std::to_string(a.rows[i]) + ", " + std::to_string(a.area.firstRow + static_cast<int>(i)) + "]";
            first = false;
        }
        out += "], \"columns\": [";
        first = true;
        for (size_t i = 0; i < a.columns.size(); ++i) {
            if (a.columns[i] == 0) continue;
            out += first ? "[" : ", [";
            appendJsonString(out, columnLetters(a.columns[i]));
            out += ", ";
            appendJsonString(out, columnLetters(a.area.firstColumn + static_cast<int>(i)));
            out += "]";
            first = false;
        }
        out += "]}";
    }
    out += "]";
}

// From the bytes read to parse the file when the cache kept them, else read again; empty
// when the file cannot be read.
std::string digestOf(const fs::path& file, SourceCache& cache) {
    if (std::string digest = cache.digest(file); !digest.empty()) return digest;
    try {
        return sha256OfFile(file);
    } catch (const WorkbookError&) {
        return {};
    }
}

void appendSources(std::string& out, const RunRecordInput& in, SourceCache& cache) {
    std::unordered_map<fs::path, size_t, PathHash> ran;
    for (size_t i = 0; i < in.request.sources.size(); ++i) ran.emplace(in.request.sources[i], i);
    out += "  \"sources\": [\n";
    for (size_t i = 0; i < in.check.sources.size(); ++i) {
        const SourceCheck& s = in.check.sources[i];
        out += "    {";
        appendJsonFileField(out, "file", s.file, true);
        out += ", \"size\": " + std::to_string(s.size);
        appendJsonField(out, "sha256", s.sha256.empty() ? digestOf(s.file, cache) : s.sha256);
        const bool left = !ran.contains(s.file);
        appendJsonField(out, "done", left ? "left out" : s.findings.empty() ? "added" : "added with its findings");
        out += ", \"findings\": [";
        for (size_t f = 0; f < s.findings.size(); ++f) {
            if (f) out += ", ";
            appendFinding(out, s.findings[f], in.check);
        }
        out += "]";
        appendAligned(out, s);
        out += i + 1 < in.check.sources.size() ? "},\n" : "}\n";
    }
    out += "  ],\n";
}

// Who should have reported, with a roster: the units reported and missing, and the reports of
// no unit on it. Nothing without a roster.
void appendRoster(std::string& out, const CheckReport& check) {
    if (!check.roster) return;
    const RosterStatus& roster = *check.roster;
    const auto list = [&out](const char* name, const std::vector<std::string>& items) {
        out += std::string(", \"") + name + "\": [";
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) out += ", ";
            appendJsonString(out, items[i]);
        }
        out += "]";
    };
    out += "  \"roster\": {\"expected\": " + std::to_string(roster.expected);
    list("reported", roster.reported);
    list("missing", roster.missing);
    std::vector<std::string> unknown;
    for (const size_t index : roster.unknown) unknown.push_back(utf8String(check.sources[index].file));
    list("unknown", unknown);
    out += "},\n";
}

// The summary's formulas inside the ranges: kept (their cells' totals are not written, the
// formula computes from the totals) or given the sum, and why.
void appendRangeFormulas(std::string& out, const RunReport& report) {
    out += "  \"formulas\": [";
    for (size_t i = 0; i < report.rangeFormulas.size(); ++i) {
        const RangeFormula& f = report.rangeFormulas[i];
        out += i ? ",\n    {" : "\n    {";
        appendJsonField(out, "worksheet", f.worksheet, true);
        appendJsonField(out, "cell", cellName(f.cell));
        out += f.kept ? ", \"kept\": true" : ", \"kept\": false";
        if (!f.kept) appendJsonField(out, "reason", f.reason);
        out += "}";
    }
    out += report.rangeFormulas.empty() ? "],\n" : "\n  ],\n";
}

void appendSkipped(std::string& out, const RunReport& report) {
    appendRangeFormulas(out, report);
    out += "  \"skipped\": [";
    for (size_t i = 0; i < report.skipped.size(); ++i) {
        const Skipped& s = report.skipped[i];
        out += i ? ",\n    {" : "\n    {";
        appendJsonField(out, "kind", skippedName(s.kind), true);
        appendJsonFileField(out, "file", s.file);
        if (!s.worksheet.empty()) appendJsonField(out, "worksheet", s.worksheet);
        if (s.cell.row > 0) appendJsonField(out, "cell", cellName(s.cell));
        appendJsonField(out, "reason", s.reason);
        out += "}";
    }
    out += report.skipped.empty() ? "]" : "\n  ]";
}

// Where the record's text goes, piece after piece: a file, or a string.
using RecordSink = std::function<void(std::span<const std::string_view>)>;

void put(const RecordSink& sink, std::string_view text) { sink(std::span(&text, 1)); }

std::string recordHead(const RunRecordInput& in, SourceCache& sources) {
    std::string out;
    out += "{\n";
    out += "  \"format\": \"shubuxing run record\", \"version\": " + std::to_string(kRunRecordVersion) + ",\n  ";
    appendJsonField(out, "time", utcText(in.started), true);
    appendJsonField(out, "mode", in.request.mode == Mode::Efficiency ? "efficiency" : "function");
    out += ",\n  ";
    appendJsonFileField(out, "template", in.request.templateFile, true);
    appendJsonFileField(out, "summary", in.request.summary);
    out += ",\n  \"job\": [";
    for (size_t i = 0; i < in.request.job.size(); ++i) {
        out += i ? ", {" : "{";
        appendJsonField(out, "worksheet", in.request.job[i].worksheet, true);
        appendJsonField(out, "range", areaName(in.request.job[i].area));
        out += savedInSummary(in.report, i) ? ", \"saved\": true}" : ", \"saved\": false}";
    }
    out += "],\n  ";
    appendJsonField(out, "check", outcomeName(in.outcome), true);
    if (!in.check.templateProblem.empty()) appendJsonField(out, "template problem", in.check.templateProblem);
    out += ",\n  ";
    appendJsonField(out, "outcome", in.report.failure ? "failed" : "finished", true);
    if (const auto& f = in.report.failure) {
        out += ", \"failure\": {";
        appendJsonField(out, "kind", failureName(f->kind), true);
        if (!f->file.empty()) appendJsonFileField(out, "file", f->file);
        if (!f->worksheet.empty()) appendJsonField(out, "worksheet", f->worksheet);
        appendJsonField(out, "reason", f->reason);
        out += "}";
    }
    out += ",\n";
    appendSources(out, in, sources);
    appendRoster(out, in.check);
    out += "  \"cells\": [";
    return out;
}

// The cells' lists laid out while the check read the sources, when they hold exactly what the
// run added: for every area saved, the values of the sources the run did not leave out, in the
// run's order. (A source the run read again was compared with the bytes the check read.) One list per job entry saved (null: no
// source holds a value there); nullopt when the lists do not serve.
std::optional<std::vector<const RecordCellLists::Area*>> laidOutLists(const RunRecordInput& in, RecordCellLists* cellLists) {
    const std::deque<RecordCellLists::Area>* lists = cellLists ? cellLists->finished() : nullptr;
    if (!lists) return std::nullopt;
    const auto indexOf = checkIndexByFile(in.check);
    std::vector<const RecordCellLists::Area*> chosen(in.request.job.size(), nullptr);
    std::vector<uint32_t> expected;
    for (size_t j = 0; j < in.request.job.size(); ++j) {
        if (!savedInSummary(in.report, j)) continue;
        const SheetJob& sheet = in.request.job[j];
        expected.clear();
        for (const fs::path& file : in.request.sources) {
            if (leftOutOf(in.report, file, sheet.worksheet)) continue;
            const auto known = indexOf.find(file);
            if (known == indexOf.end()) return std::nullopt;
            expected.push_back(known->second);
        }
        for (const RecordCellLists::Area& a : *lists) {
            if (a.worksheet == sheet.worksheet && a.area == sheet.area) chosen[j] = &a;
        }
        if (chosen[j] ? chosen[j]->sources != expected : !expected.empty()) return std::nullopt;
    }
    return chosen;
}

// The cells' lines from the laid-out lists, a chunk of cells at a time: each line's head written
// here, its list read back from where it lies. Whether there was any line.
bool writeListLines(const RecordSink& sink, const RunRecordInput& in, RecordCellLists& cellLists,
                    const std::vector<const RecordCellLists::Area*>& lists) {
    bool first = true;
    std::string heads;
    std::vector<size_t> headEnds;
    std::vector<std::string_view> pieces;
    for (size_t j = 0; j < lists.size(); ++j) {
        if (!lists[j]) continue;
        const SheetJob& sheet = in.request.job[j];
        const std::set<std::pair<int, int>> refused = refusedCells(in.report, sheet.worksheet);
        const std::string worksheetField = cellLineWorksheet(sheet.worksheet);
        const auto& cells = lists[j]->cells;
        const auto columns = static_cast<size_t>(sheet.area.columns());
        cellLists.readBack(*lists[j], [&](const RecordCellLists::Chunk& chunk) {
            heads.clear();
            headEnds.clear();
            pieces.clear();
            for (const size_t position : chunk.positions) {
                const CellAddress at{sheet.area.firstRow + static_cast<int>(position / columns),
                                     sheet.area.firstColumn + static_cast<int>(position % columns)};
                appendCellLineHead(heads, first, worksheetField, at, cells[position].total.written(),
                                   refused.contains({at.row, at.column}));
                first = false;
                headEnds.push_back(heads.size());
            }
            size_t headStart = 0, part = 0;
            for (size_t i = 0; i < chunk.positions.size(); ++i) {
                pieces.push_back(std::string_view(heads).substr(headStart, headEnds[i] - headStart));
                headStart = headEnds[i];
                for (; part < chunk.partsEnd[i]; ++part) pieces.push_back(chunk.parts[part]);
                pieces.push_back("]}");
            }
            sink(pieces);
        });
    }
    return !first;
}

// Last but what was left out: the digest of the summary this record describes, known once
// the run's last save is on disk.
std::string recordTail(const RunReport& report) {
    std::string out = ",\n  ";
    appendJsonField(out, "summary sha256", report.summarySha256, true);
    out += ",\n";
    appendSkipped(out, report);
    out += "\n}\n";
    return out;
}

void writeRecord(const RecordSink& sink, const RunRecordInput& in, RecordSources sources) {
    put(sink, recordHead(in, sources.cache));
    bool anyCell = false;
    if (const auto lists = laidOutLists(in, sources.lists)) {
        anyCell = writeListLines(sink, in, *sources.lists, *lists);
    } else {
        std::string cells;
        anyCell = appendMergedCells(cells, in, sources.cache);
        put(sink, cells);
    }
    put(sink, anyCell ? "\n  ]" : "]");
    put(sink, recordTail(in.report));
}

// Whether the run went as runs mostly do, as the record written while it went expected: every
// worksheet saved, no source and no cell left out (values that add nothing aside).
bool wentAsExpected(const RunReport& report, size_t jobSize) {
    if (report.failure || report.worksheets.size() != jobSize || report.worksheetsSaved() != static_cast<int>(jobSize)) return false;
    return std::none_of(report.skipped.begin(), report.skipped.end(), [](const Skipped& s) {
        return s.kind == Skipped::Kind::CellRefused || s.kind == Skipped::Kind::WorksheetMissing ||
               s.kind == Skipped::Kind::SourceUnreadable;
    });
}

}  // namespace

fs::path runRecordPath(const fs::path& summary) {
    fs::path record = summary;
    record += ".run.json";
    return record;
}

std::string runRecordText(const RunRecordInput& in, RecordSources sources) {
    std::string whole;
    writeRecord([&](std::span<const std::string_view> pieces) {
        for (const std::string_view piece : pieces) whole += piece;
    }, in, sources);
    return whole;
}

std::optional<WorkbookError> recordRun(const RunRecordInput& input, RecordSources sources) {
    if (input.report.worksheetsSaved() == 0) return std::nullopt;
    const fs::path record = runRecordPath(input.request.summary);
    std::optional<WorkbookError> problem;
    try {
        writeRunRecord(input, sources);
        return std::nullopt;
    } catch (const WorkbookError& e) {
        problem = e;
    } catch (const std::exception& e) {
        problem = WorkbookError(WorkbookErrorKind::Unwritable, record, e.what());
    }
    // A record left would describe totals no longer there; anything else at its name (a
    // folder) is not the program's to remove.
    std::error_code ignored;
    if (!fs::is_directory(fs::symlink_status(record, ignored))) fs::remove(record, ignored);
    return problem;
}

void writeRunRecord(const RunRecordInput& input, RecordSources sources) {
    FileReplacement file(runRecordPath(input.request.summary), FileWriteSteps::system(), LinkAtTarget::Replace);
    writeRecord([&](std::span<const std::string_view> pieces) { file.write(pieces); }, input, sources);
    file.commit();
}

struct RunRecordWriter::Early {
    RunReport expected;
    std::optional<FileReplacement> file;  // written and flushed: the record but its tail
    std::thread writer;
};

RunRecordWriter::RunRecordWriter(std::chrono::system_clock::time_point started, const CheckReport& check, CheckOutcome outcome,
                                 const RunRequest& request, RecordSources sources)
    : started_(started), check_(check), outcome_(outcome), request_(request), sources_(sources), early_(std::make_unique<Early>()) {
    for (const SheetJob& sheet : request.job) early_->expected.worksheets.push_back({sheet.worksheet, 0, true, sheet.area});
    early_->writer = std::thread([this, e = early_.get()] {
        try {
            const RunRecordInput expected{started_, check_, outcome_, request_, e->expected};
            // The head first: the digests are ready before the last sources' lists are.
            const std::string head = recordHead(expected, sources_.cache);
            e->file.emplace(runRecordPath(request_.summary), FileWriteSteps::system(), LinkAtTarget::Replace);
            const RecordSink toFile = [&](std::span<const std::string_view> pieces) { e->file->write(pieces); };
            put(toFile, head);
            const auto lists = laidOutLists(expected, sources_.lists);
            if (!lists) {
                e->file.reset();
                return;
            }
            put(toFile, writeListLines(toFile, expected, *sources_.lists, *lists) ? "\n  ]" : "]");
            // Their memory (and their spill file) goes while the run goes, not after it; a
            // record written whole after an unexpected run merges the values instead.
            sources_.lists->release();
            e->file->flush();
        } catch (const std::exception&) {
            // Written after the run then, where a failure is reported.
            e->file.reset();
        }
    });
}

RunRecordWriter::~RunRecordWriter() {
    if (early_->writer.joinable()) early_->writer.join();
}

std::optional<WorkbookError> RunRecordWriter::finish(const RunReport& report) {
    if (early_->writer.joinable()) early_->writer.join();
    if (early_->file && wentAsExpected(report, request_.job.size())) {
        try {
            const std::string tail = recordTail(report);
            const std::string_view piece = tail;
            early_->file->write(std::span(&piece, 1));
            early_->file->commit();
            writtenWhileRunning_ = true;
            return std::nullopt;
        } catch (const std::exception&) {
            // Written whole below, where a failure is reported.
        }
    }
    early_->file.reset();
    return recordRun({started_, check_, outcome_, request_, report}, sources_);
}

}  // namespace sbx
