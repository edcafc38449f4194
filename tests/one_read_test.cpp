// One read of every value: the run adding up the values the check read (and held in the
// source cache) writes the same summary, byte for byte, and the same report as a run that
// reads the sources itself, in both modes, over ranges holding every kind of value
// (tools/make_one_read_fixtures.py); the record lists the same text from held values as from
// values read again, and its digests, worked out from the bytes read at parse time, are the
// files' own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "consolidate/run/file_digest.h"
#include "consolidate/run/run.h"
#include "consolidate/record/run_record.h"
#include "consolidate/check/source_check.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

const fs::path kPool = fs::path(SBX_TEST_DATA) / "one_read";

std::string sha256(const std::string& bytes) { return testing::sha256Hex(bytes); }

// What a report says of what was left out, for comparing two runs.
std::vector<std::string> skippedOf(const RunReport& report) {
    std::vector<std::string> lines;
    for (const Skipped& s : report.skipped) {
        lines.push_back(std::to_string(static_cast<int>(s.kind)) + " " + s.file.filename().string() + " " + s.worksheet + "!" +
                        cellName(s.cell) + " " + s.reason);
    }
    lines.push_back("ignored " + std::to_string(report.ignoredValues) + ", misplaced " + std::to_string(report.misplacedValues));
    return lines;
}

struct Outcome {
    std::string summary;
    std::vector<std::string> skipped;
    std::string record;
};

enum class Values { ReadByTheRun, HeldByTheCheck, PartlyHeld };

Outcome runOnce(Mode mode, Values values, const fs::path& folder) {
    RunRequest request;
    for (int unit = 1; unit <= 4; ++unit) request.sources.push_back(kPool / ("unit_" + std::to_string(unit) + ".xls"));
    request.templateFile = kPool / "template.xls";
    request.summary = folder / "total.xls";
    request.job = {{"明细", *parseCellRange("b3:e9")}, {"附表", *parseCellRange("b2:c4")}, {"明细", *parseCellRange("c4:d8")}};
    request.mode = mode;
    request.saving = Saving::OnceAtEnd;
    const auto started = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));
    auto host = makeNativeHost();
    RunEvents events;
    StrictDecisions decisions;
    Outcome out;
    // A budget for about two areas' values leaves the other sources to be read again.
    size_t budget = SourceCache::kValuesBudget;
    if (values == Values::PartlyHeld) {
        budget = 2 * AreaValues(host->open(request.sources[0]).worksheet("明细"), request.job[0].area, false).bytes() + 64;
        host->quit();
    }
    SourceCache cache(*host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes, budget);
    const auto lists = listCellsForRecord(cache, request.summary);
    CheckReport check;
    if (values != Values::ReadByTheRun) check = checkSources({request.sources, request.templateFile, request.job}, cache);
    const RunReport report = values == Values::ReadByTheRun ? run(request, *host, events, decisions)
                                                            : run(request, *host, events, decisions, cache);
    EXPECT_TRUE(report.succeeded()) << (report.failure ? report.failure->reason : "");
    out.summary = testing::bytesOf(request.summary);
    out.skipped = skippedOf(report);
    if (values == Values::ReadByTheRun) {
        // The record of a run whose values nobody held: read again from the workbooks.
        check = checkSources({request.sources, request.templateFile, request.job}, *std::make_unique<SourceCache>(*host));
        SourceCache fresh(*host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes, 0);
        out.record = runRecordText({started, check, CheckOutcome::IncludedAll, request, report}, fresh);
    } else {
        out.record = runRecordText({started, check, CheckOutcome::IncludedAll, request, report}, {cache, lists.get()});
    }
    return out;
}

TEST(OneReadTest, HeldValuesAddUpAndRecordExactlyAsValuesReadAgain) {
    for (const Mode mode : {Mode::Efficiency, Mode::Function}) {
        SCOPED_TRACE(mode == Mode::Efficiency ? "efficiency" : "function");
        testing::TempFolder dir("one-read");  // one summary for all, which the record names
        const Outcome read = runOnce(mode, Values::ReadByTheRun, dir.path());
        ASSERT_GT(read.skipped.size(), 1u);  // texts, errors and booleans were left out, and reported
        ASSERT_NE(read.record.find("{\"date\": "), std::string::npos);
        ASSERT_NE(read.record.find("{\"error\": \"#N/A\"}"), std::string::npos);
        for (const Values values : {Values::HeldByTheCheck, Values::PartlyHeld}) {
            SCOPED_TRACE(values == Values::PartlyHeld ? "partly held" : "held");
            const Outcome held = runOnce(mode, values, dir.path());
            EXPECT_TRUE(held.summary == read.summary) << "the summaries differ";
            EXPECT_EQ(held.skipped, read.skipped);
            const auto differs = std::mismatch(held.record.begin(), held.record.end(), read.record.begin(), read.record.end());
            EXPECT_TRUE(held.record == read.record) << "the records differ from: " << std::string(differs.first, held.record.end()).substr(0, 200);
        }
    }
}

// The record written while the run goes, its tail added after it, is byte for byte the record
// written whole after the run. Values beyond the cache's budget are in it all the same (their
// lists outgrow a budget as small and go through the spill file); a run that went otherwise
// and a source left out after the check get their record written after the run instead; a run
// that saved nothing leaves the old record. No temporary file stays beside it.
TEST(OneReadTest, TheRecordWrittenWhileTheRunGoesIsTheOneWrittenAfterIt) {
    enum class Case { AsExpected, SourceLeftOut, PartlyHeld, CellRefused, NothingSaved };
    const struct {
        Case which;
        const char* name;
        bool whileRunning;
    } cases[] = {{Case::AsExpected, "as expected", true},
                 {Case::SourceLeftOut, "a flagged source left out", false},
                 {Case::PartlyHeld, "values beyond the budget", true},
                 {Case::CellRefused, "a summary cell refused its total", false},
                 {Case::NothingSaved, "nothing saved", false}};
    const auto started = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempFolder dir("record-while-running");
        RunRequest request;
        for (int unit = 1; unit <= 4; ++unit) request.sources.push_back(kPool / ("unit_" + std::to_string(unit) + ".xls"));
        request.templateFile = kPool / "template.xls";
        request.summary = dir.path() / "total.xls";
        request.job = {{"明细", *parseCellRange("b3:e9")}, {"附表", *parseCellRange("b2:c4")}};
        request.saving = Saving::AfterEachWorksheet;
        const fs::path record = runRecordPath(request.summary);
        testing::writeFile(record, "the record of an earlier run");
        auto host = makeNativeHost();
        const size_t budget = c.which == Case::PartlyHeld ? 300 : SourceCache::kValuesBudget;
        SourceCache cache(*host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes, budget);
        const auto lists = listCellsForRecord(cache, request.summary);
        const CheckReport check = checkSources({request.sources, request.templateFile, request.job}, cache);
        if (c.which == Case::SourceLeftOut) request.sources.erase(request.sources.begin() + 2);
        const CheckOutcome outcome = c.which == Case::SourceLeftOut ? CheckOutcome::LeftOut : CheckOutcome::IncludedAll;

        RunRecordWriter writer(started, check, outcome, request, {cache, lists.get()});
        RunEvents events;
        StrictDecisions decisions;
        RunReport report = run(request, *host, events, decisions, cache);
        ASSERT_TRUE(report.succeeded());
        if (c.which == Case::CellRefused) report.skipped.push_back({Skipped::Kind::CellRefused, request.summary, "明细", {4, 3}, "locked"});
        if (c.which == Case::NothingSaved) {
            for (WorksheetOutcome& w : report.worksheets) w.saved = false;
            report.failure = Failure{Failure::Kind::SummaryNotSaved, request.summary, {}, "disk full", std::nullopt};
        }
        const auto problem = writer.finish(report);
        EXPECT_FALSE(problem) << problem->what();
        EXPECT_EQ(writer.writtenWhileRunning(), c.whileRunning);

        SourceCache readAgain(*host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes, 0);
        const std::string expected = c.which == Case::NothingSaved
                                         ? "the record of an earlier run"
                                         : runRecordText({started, check, outcome, request, report}, readAgain);
        EXPECT_TRUE(testing::bytesOf(record) == expected) << testing::bytesOf(record).substr(0, 300);
        if (c.which == Case::CellRefused) {
            const size_t line = expected.find("\"worksheet\": \"明细\", \"cell\": \"c4\", \"total\": ");
            ASSERT_NE(line, std::string::npos);
            EXPECT_NE(expected.substr(line, expected.find('\n', line) - line).find("\"refused\": true"), std::string::npos);
        }
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            EXPECT_EQ(entry.path().filename().string().find(".sbx-"), std::string::npos) << entry.path();
        }
    }
}

// A source replaced while the run goes (by another unit's report), in a pool whose workbooks
// and values the cache keeps none of, so that it is read again: read again for the second
// worksheet, the run stops and names it, the record is not written (nor is the record of the
// run before left), and the problem names it. Replaced after the run, it is not read again:
// the record lists the values the run added, as the check read them, with their digest.
TEST(OneReadTest, ASourceChangedWhileTheRunGoesIsNeitherAddedNorRecordedAsAnother) {
    enum class When { BetweenWorksheets, AfterTheRun };
    for (const When when : {When::BetweenWorksheets, When::AfterTheRun}) {
        SCOPED_TRACE(when == When::AfterTheRun ? "after the run" : "between the worksheets");
        testing::TempFolder dir("changed-source");
        RunRequest request;
        for (int unit = 1; unit <= 3; ++unit) request.sources.push_back(dir.copy(kPool / ("unit_" + std::to_string(unit) + ".xls")));
        request.templateFile = kPool / "template.xls";
        request.summary = dir.path() / "total.xls";
        request.job = {{"明细", *parseCellRange("b3:e9")}, {"附表", *parseCellRange("b2:c4")}};
        request.saving = Saving::AfterEachWorksheet;
        const fs::path changed = request.sources[1], record = runRecordPath(request.summary);
        testing::writeFile(record, "the record of an earlier run");
        auto replace = [&] { fs::copy_file(kPool / "unit_4.xls", changed, fs::copy_options::overwrite_existing); };
        struct ReplacingAfterTheFirstWorksheet final : RunEvents {
            std::function<void()> replace;
            void worksheetFinished(int index, int, const WorksheetOutcome&) override {
                if (index == 1 && replace) replace();
            }
        } events;
        if (when == When::BetweenWorksheets) events.replace = replace;

        auto host = makeNativeHost();
        SourceCache cache(*host, 0, SourceCache::ForRecord::Yes, 0);
        const auto lists = listCellsForRecord(cache, request.summary);
        const CheckReport check = checkSources({request.sources, request.templateFile, request.job}, cache);
        RunRecordWriter writer(std::chrono::system_clock::now(), check, CheckOutcome::NothingFlagged, request, {cache, lists.get()});
        StrictDecisions decisions;
        const RunReport report = run(request, *host, events, decisions, cache);
        if (when == When::AfterTheRun) {
            ASSERT_TRUE(report.succeeded());
            replace();
        } else {
            ASSERT_TRUE(report.failure);
            EXPECT_EQ(report.failure->file, changed);
            EXPECT_NE(report.failure->reason.find("changed while the run"), std::string::npos) << report.failure->reason;
        }
        const auto problem = writer.finish(report);
        if (when == When::AfterTheRun) {
            EXPECT_FALSE(problem) << problem->what();
            EXPECT_TRUE(writer.writtenWhileRunning());
            const std::string written = testing::bytesOf(record);
            EXPECT_NE(written.find(sha256(testing::bytesOf(kPool / "unit_2.xls"))), std::string::npos);
            EXPECT_EQ(written.find(sha256(testing::bytesOf(kPool / "unit_4.xls"))), std::string::npos);
            continue;
        }
        ASSERT_TRUE(problem);  // the record would list unit_4's values as unit_2's
        EXPECT_EQ(problem->file(), record);
        EXPECT_NE(problem->reason().find(changed.string()), std::string::npos) << problem->reason();
        EXPECT_FALSE(fs::exists(record));
    }
}

// A file read again is told from its first read by its fingerprint: any one byte changed,
// in a whole word or in the tail, and a byte more, change it.
TEST(OneReadTest, AFingerprintChangesWithAnyByte) {
    for (const size_t length : {0, 1, 7, 8, 13, 27136}) {
        std::vector<uint8_t> bytes(length);
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
        const Fingerprint first = fingerprintOf(bytes);
        for (size_t i = 0; i < length; i += (length > 64 && i + 997 < length) ? 997 : 1) {
            bytes[i] ^= 0x40;
            EXPECT_NE(fingerprintOf(bytes), first) << "byte " << i << " of " << length;
            bytes[i] ^= 0x40;
        }
        EXPECT_EQ(fingerprintOf(bytes), first);
        bytes.push_back(0);
        EXPECT_NE(fingerprintOf(bytes), first) << "a zero byte after " << length;
    }
}

TEST(OneReadTest, DigestsFromTheBytesReadAtParseTimeAreTheFilesOwn) {
    auto host = makeNativeHost();
    SourceCache cache(*host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes);
    const std::vector<fs::path> files{kPool / "unit_1.xls", kPool / "unit_4.xls", fs::path(SBX_TEST_DATA) / "check" / "damaged.xls"};
    for (const fs::path& file : files) {
        try {
            cache.open({file, "明细", {}});
        } catch (const WorkbookError&) {
            // damaged.xls cannot be parsed, and lacks the worksheet: its bytes were read all the same.
        }
    }
    for (const fs::path& file : files) EXPECT_EQ(cache.digest(file), sha256(testing::bytesOf(file))) << file;
    EXPECT_EQ(cache.digest(kPool / "unit_2.xls"), "");  // never opened
    SourceCache without(*host);
    without.open({files[0], "明细", {}});
    EXPECT_EQ(without.digest(files[0]), "");
}

}  // namespace
}  // namespace sbx
