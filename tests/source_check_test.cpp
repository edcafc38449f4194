// The check before a run over a family of reports made from one template (tools/
// make_check_fixtures.py): exactly the faulty ones are flagged, each with its first cell; the
// run record written after a run through the same cache holds the totals xlrd computes.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "consolidate/record/json_value.h"
#include "consolidate/run/run.h"
#include "consolidate/record/run_record.h"
#include "consolidate/record/run_record_reader.h"
#include "consolidate/check/source_check.h"
#include "tests/support/memory_host.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

const fs::path kFamily = fs::path(SBX_TEST_DATA) / "check";
const Job kJob{{"收入明细", *parseCellRange("b4:d11")}, {"支出", *parseCellRange("b2:c6")}};

// In this order, so that a duplicate names the earlier file.
const std::vector<std::string> kFiles{"unit_a.xls",    "unit_b.xls",   "unit_c.xls",         "inserted_row.xls",
                                      "moved_label.xls", "duplicate.xls", "resent.xls", "text_in_amount.xls",
                                      "damaged.xls",   "missing_sheet.xls"};

std::vector<fs::path> family(const std::vector<std::string>& names) {
    std::vector<fs::path> files;
    for (const auto& n : names) files.push_back(kFamily / n);
    return files;
}

// A finding in few words: "LAYOUT 收入明细!a6", "DUPLICATE unit_a.xls", "UNREADABLE".
std::string brief(const Finding& f, const CheckReport& report) {
    std::string text(findingName(f.kind));
    if (f.kind == FindingKind::Layout || f.kind == FindingKind::NotANumber) text += " " + f.worksheet + "!" + cellName(f.cell);
    if (f.kind == FindingKind::MissingWorksheet) text += " " + f.worksheet;
    if (f.kind == FindingKind::Duplicate) text += " " + report.sources[*f.duplicateOf].file.filename().string();
    return text;
}

TEST(SourceCheckTest, FlagsExactlyTheFaultyReportsWithTheirFirstCell) {
    const std::map<std::string, std::set<std::string>> expected{
        {"unit_a.xls", {}},
        {"unit_b.xls", {}},
        {"unit_c.xls", {}},  // a year of its own outside the ranges, "1200" as text inside
        {"inserted_row.xls", {"LAYOUT 收入明细!a6"}},
        {"moved_label.xls", {"LAYOUT 收入明细!a9"}},
        {"duplicate.xls", {"DUPLICATE unit_a.xls"}},
        {"resent.xls", {"DUPLICATE unit_b.xls"}},
        {"text_in_amount.xls", {"NOT_A_NUMBER 收入明细!c7", "NOT_A_NUMBER 支出!b3"}},
        {"damaged.xls", {"UNREADABLE"}},
        {"missing_sheet.xls", {"MISSING_WORKSHEET 支出"}},
    };
    const auto before = testing::bytesOf(kFamily / "unit_a.xls") + testing::bytesOf(kFamily / "damaged.xls");
    auto host = makeNativeHost();
    CheckReport report;
    {
        SourceCache cache(*host);
        report = checkSources({family(kFiles), kFamily / "template.xls", kJob}, cache);
    }
    ASSERT_EQ(report.sources.size(), kFiles.size());
    EXPECT_TRUE(report.templateProblem.empty()) << report.templateProblem;
    for (const SourceCheck& source : report.sources) {
        std::set<std::string> found;
        for (const Finding& f : source.findings) found.insert(brief(f, report));
        EXPECT_EQ(found, expected.at(source.file.filename().string())) << source.file;
    }
    EXPECT_EQ(before, testing::bytesOf(kFamily / "unit_a.xls") + testing::bytesOf(kFamily / "damaged.xls"));

    // What the findings say of the cells, as xlrd reads them.
    const auto& inserted = report.sources[3].findings.at(0);
    EXPECT_EQ(inserted.templateValue, "“投资收益”");
    EXPECT_EQ(inserted.sourceValue, "“新增项目”");
    const auto& moved = report.sources[4].findings.at(0);
    EXPECT_EQ(moved.templateValue, "“利息收入”");
    EXPECT_EQ(moved.sourceValue, "(empty)");
    EXPECT_EQ(report.sources[7].findings.at(0).sourceValue, "“见附表”");
    EXPECT_FALSE(report.sources[8].findings.at(0).reason.empty());
    EXPECT_EQ(report.sources[0].sha256, report.sources[5].sha256);
    EXPECT_EQ(report.sources[0].sha256.size(), 64u);

    AllowedFindings layoutAndDuplicates;
    layoutAndDuplicates.allow(FindingKind::Layout);
    layoutAndDuplicates.allow(FindingKind::Duplicate);
    EXPECT_EQ(report.flagged(), (std::vector<size_t>{3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(report.flagged(layoutAndDuplicates), (std::vector<size_t>{7, 8, 9}));
}

// What the form holds is told apart from what each unit fills in by what most reports hold:
// the unit's name above the range and a remark typed into an amount cell of the template's
// own unit are no heading and no label column; an inserted row still is a layout fault.
TEST(SourceCheckTest, TheFormIsWhatMostReportsHold) {
    test::MemoryFiles files;
    const Job job{{"表1", *parseCellRange("b2:c4")}};
    struct Unit {
        std::string name;
        bool insertedRow = false;
        bool remarkInAmount = false;
        std::set<std::string> expected;
    };
    const std::vector<Unit> units{
        {"东城区", false, false, {}},
        {"西城区", false, false, {}},
        {"海淀区", true, false, {"LAYOUT 表1!a3"}},
        {"朝阳区", false, true, {"NOT_A_NUMBER 表1!c2"}},  // the template's own unit
    };
    std::vector<fs::path> sources;
    for (const Unit& u : units) {
        test::MemoryBook book;
        test::MemorySheet& sheet = book.add("表1");
        sheet.set(1, 1, CellValue::text("单位")).set(1, 2, CellValue::text(u.name));
        const std::vector<std::string> rows = u.insertedRow ? std::vector<std::string>{"收入", "新增", "支出"}
                                                            : std::vector<std::string>{"收入", "支出", "其他"};
        for (int r = 0; r < 3; ++r) {
            sheet.set(2 + r, 1, CellValue::text(rows[static_cast<size_t>(r)])).set(2 + r, 2, CellValue::number(10.0 + r));
        }
        sheet.set(2, 3, u.remarkInAmount ? CellValue::text("见附表") : CellValue::number(5));
        sheet.set(3, 3, CellValue::number(static_cast<double>(sources.size()) + 1.0));
        sheet.set(4, 3, CellValue::text("不适用"));  // the form's own label inside the range
        sources.push_back(fs::path("/pool") / (u.name + ".xls"));
        files.put(sources.back(), book);
    }
    files.put("/pool/hz/total.xls", files.book(sources.back()));
    test::MemoryHost host(files);
    SourceCache cache(host);
    const CheckReport report = checkSources({sources, "/pool/hz/total.xls", job}, cache);
    ASSERT_EQ(report.sources.size(), units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        std::set<std::string> found;
        for (const Finding& f : report.sources[i].findings) found.insert(brief(f, report));
        EXPECT_EQ(found, units[i].expected) << units[i].name;
    }
    EXPECT_EQ(report.sources[3].findings.at(0).sourceValue, "“见附表”");
}

TEST(SourceCheckTest, FindingNamesReadBackInAnyLetterCase) {
    for (const auto kind : {FindingKind::Unreadable, FindingKind::MissingWorksheet, FindingKind::Layout,
                            FindingKind::Duplicate, FindingKind::NotANumber}) {
        std::string lower(findingName(kind));
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(findingFromName(lower), kind);
    }
    EXPECT_EQ(findingFromName("LAYOUTS"), std::nullopt);
    EXPECT_EQ(findingFromName(""), std::nullopt);
}

// The totals of unit_a, unit_b and unit_c by xlrd, by worksheet and cell.
std::map<std::pair<std::string, std::string>, double> expectedTotals() {
    std::map<std::pair<std::string, std::string>, double> totals;
    std::ifstream in(kFamily / "expected_totals.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string sheet, cell, total;
        std::getline(fields, sheet, '\t');
        std::getline(fields, cell, '\t');
        std::getline(fields, total, '\t');
        totals[{sheet, cell}] = std::stod(total);
    }
    return totals;
}

std::string digestOf(const std::string& bytes) { return testing::sha256Hex(bytes); }

TEST(RunRecordTest, HoldsEveryWrittenCellsTotalAndItsContributions) {
    testing::TempFolder dir("record");
    RunRequest request;
    request.sources = family({"unit_a.xls", "unit_b.xls", "unit_c.xls"});
    request.templateFile = kFamily / "template.xls";
    request.summary = dir.path() / "hz" / "total.xls";
    fs::create_directories(request.summary.parent_path());
    request.job = kJob;
    request.saving = Saving::OnceAtEnd;
    auto host = makeNativeHost();
    CheckReport check;
    {
        SourceCache cache(*host);
        check = checkSources({request.sources, request.templateFile, request.job}, cache);
        RunEvents events;
        StrictDecisions decisions;
        const RunReport report = run(request, *host, events, decisions, cache);
        ASSERT_TRUE(report.succeeded());
        writeRunRecord({std::chrono::system_clock::now(), check, CheckOutcome::NothingFlagged, request, report}, cache);
    }
    const fs::path record = dir.path() / "hz" / "total.xls.run.json";
    ASSERT_TRUE(fs::exists(record));

    const JsonValue root = JsonValue::parse(testing::bytesOf(record));
    ASSERT_EQ(root["sources"].array().size(), 3u);
    EXPECT_EQ(root["sources"].array()[0]["size"].number(), static_cast<double>(fs::file_size(request.sources[0])));
    for (size_t i = 0; i < request.sources.size(); ++i) {
        // The check hashed none of these (no two share their values): the record works the digests out.
        EXPECT_TRUE(check.sources[i].sha256.empty());
        EXPECT_EQ(root["sources"].array()[i]["sha256"].string(), digestOf(testing::bytesOf(request.sources[i])));
    }
    EXPECT_EQ(root["mode"].string(), "efficiency");

    const auto totals = expectedTotals();
    ASSERT_EQ(totals.size(), 8u * 3 + 5u * 2);
    ASSERT_EQ(root["cells"].array().size(), totals.size());
    EXPECT_EQ(root["version"].number(), 2);
    EXPECT_EQ(root["summary sha256"].string(), digestOf(testing::bytesOf(request.summary)));
    for (const auto& [where, total] : totals) {
        const auto cell = contributionsFromRecord(request.summary, where.first, *parseCellAddress(where.second));
        ASSERT_TRUE(cell) << where.second;
        EXPECT_DOUBLE_EQ(std::stod(cell->total), total) << where.first << "!" << where.second;
        EXPECT_EQ(cell->from.size(), 3u);
    }
    const auto textAmount = contributionsFromRecord(request.summary, "收入明细", *parseCellAddress("c5"));
    ASSERT_TRUE(textAmount);
    EXPECT_EQ(textAmount->from.at(2).value, "“1200”");
    EXPECT_FALSE(textAmount->from.at(2).addsNothing);  // a text that reads as a number
    EXPECT_TRUE(textAmount->from.at(2).file.ends_with("unit_c.xls"));
    EXPECT_EQ(contributionsFromRecord(request.summary, "收入明细", *parseCellAddress("a1")), std::nullopt);

    // The record serves only the summary it describes: not one changed after it (or saved by a
    // run killed before its record), nor, from a record that kept no digest, any summary.
    const std::string summaryBytes = testing::bytesOf(request.summary), recordBytes = testing::bytesOf(record);
    const struct {
        const char* what;
        std::string summary, record;
        RecordOutOfDate::Why why;
    } outOfDate[] = {
        {"summary changed", summaryBytes + "x", recordBytes, RecordOutOfDate::Why::SummaryChanged},
        {"summary replaced by another", testing::bytesOf(request.sources[0]), recordBytes, RecordOutOfDate::Why::SummaryChanged},
        {"a record of the first version",
         summaryBytes,
         std::regex_replace(recordBytes, std::regex("\"summary sha256\": \"[0-9a-f]+\",\n  "), ""),
         RecordOutOfDate::Why::NoDigest},
    };
    for (const auto& c : outOfDate) {
        testing::writeFile(request.summary, c.summary);
        testing::writeFile(record, c.record);
        try {
            contributionsFromRecord(request.summary, "收入明细", *parseCellAddress("c5"));
            ADD_FAILURE() << c.what << ": the record was used";
        } catch (const RecordOutOfDate& e) {
            EXPECT_EQ(e.why(), c.why) << c.what;
            EXPECT_NE(std::string(e.what()).find("total.xls.run.json"), std::string::npos) << e.what();
        }
    }
}

TEST(RunRecordTest, ABrokenRecordIsAnErrorNamingIt) {
    testing::TempFolder dir("record-broken");
    testing::writeFile(dir.path() / "x", "a summary");
    for (const std::string text : {"", "{", "{\"format\": \"other\"}", "[1, 2", "{\"cells\": [}", "\"\\u12\""}) {
        const fs::path record = dir.path() / "x.run.json";
        testing::writeFile(record, text);
        try {
            contributionsFromRecord(dir.path() / "x", "a", {1, 1});
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("x.run.json"), std::string::npos) << e.what();
        }
    }
}

TEST(RunRecordTest, RecordedValuesReadBackByTheRunsRules) {
    testing::TempFolder dir("record-values");
    testing::writeFile(dir.path() / "t.xls", "the summary");
    testing::writeFile(dir.path() / "t.xls.run.json", R"({"format": "shubuxing run record", "version": 2,
      "summary sha256": ")" + digestOf("the summary") + R"(",
      "sources": [{"file": "a.xls"}, {"file": "b.xls"}],
      "cells": [{"worksheet": "Sheet1", "cell": "b2", "total": {"date": 45000}, "refused": true,
                 "from": [[0, 12.5], [1, "合计"], [0, "12"], [1, true], [0, {"error": "#DIV/0!"}], [1, {"date": 45000}]]}]})");
    const auto cell = contributionsFromRecord(dir.path() / "t.xls", "SHEET1", *parseCellAddress("b2"));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->total, "45000");
    EXPECT_TRUE(cell->refused);
    const std::vector<std::tuple<std::string, std::string, bool>> expected{
        {"a.xls", "12.5", false}, {"b.xls", "“合计”", true},   {"a.xls", "“12”", false},
        {"b.xls", "TRUE", true},  {"a.xls", "#DIV/0!", true}, {"b.xls", "45000", false}};
    ASSERT_EQ(cell->from.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(cell->from[i].file, std::get<0>(expected[i])) << i;
        EXPECT_EQ(cell->from[i].value, std::get<1>(expected[i])) << i;
        EXPECT_EQ(cell->from[i].addsNothing, std::get<2>(expected[i])) << i;
    }
}

TEST(JsonValueTest, ReadsWhatTheRecordWrites) {
    const JsonValue v = JsonValue::parse(R"({"a": [1, -2.5e3, true, null, "x\"\\\n\u6c47"], "b": {"c": false}})");
    ASSERT_EQ(v["a"].array().size(), 5u);
    EXPECT_EQ(v["a"].array()[1].number(), -2500.0);
    EXPECT_TRUE(v["a"].array()[2].boolean());
    EXPECT_TRUE(v["a"].array()[3].isNull());
    EXPECT_EQ(v["a"].array()[4].string(), "x\"\\\n汇");
    EXPECT_EQ(v["b"]["c"].type(), JsonValue::Type::Boolean);
    EXPECT_TRUE(v["missing"].isNull());
}

}  // namespace
}  // namespace sbx
