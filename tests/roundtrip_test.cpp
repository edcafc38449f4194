// Saving real workbooks: without writes the file stays as it was; after writes of every
// kind our reader sees the written values, every other cell as before, and positions in
// the stream that point at other records still do.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/formula_recalc.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "written_stream_check.h"
#include "tests/support/test_files.h"
#include "tests/support/shared_fixtures.h"

namespace fs = std::filesystem;
using sbx::testing::TempFolder;
using sbx::testing::byteVectorOf;
using sbx::CellKind;
using sbx::CellValue;

namespace {

// Stands for the real-world workbooks when the build has no copy of them, so that their
// tests show as skipped.
constexpr const char* kSharedAbsent = "shared_fixtures_absent";

// Every BIFF8 fixture the reader opens, shared and our own.
std::vector<std::string> writableFixtures() {
    std::vector<std::string> out;
    std::vector<fs::path> folders{fs::path(SBX_TEST_DATA) / "fixtures"};
    if (sbx::testing::haveSharedFixtures()) {
        folders.emplace_back(SBX_SHARED_FIXTURES);
    } else {
        out.emplace_back(kSharedAbsent);
    }
    for (const fs::path& dir : folders) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() != ".xls") continue;
            try {
                if (sbx::xls::WorkbookReader::open(entry.path()).version() == sbx::xls::BiffVersion::Biff8) {
                    out.push_back(entry.path().string());
                }
            } catch (const sbx::WorkbookError&) {
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

using Snapshot = std::map<std::tuple<int, int, int>, CellValue>;

Snapshot snapshot(sbx::Workbook& book) {
    Snapshot out;
    for (int s = 1; s <= book.worksheetCount(); ++s) {
        book.worksheet(s).forEachValue(sbx::CellArea{}, [&](int r, int c, const CellValue& v) { out[{s, r, c}] = v; });
    }
    return out;
}

// A number written into a date-formatted cell reads back as that date.
bool readsAsWritten(const CellValue& written, const CellValue& read, bool date1904) {
    if (written.kind() == CellKind::Number && read.kind() == CellKind::Date) {
        return read.numberValue() == written.numberValue() + (date1904 ? sbx::kDate1904Offset : 0.0);
    }
    return written == read;
}

std::string longText() {
    std::string s;
    for (int i = 0; i < 3000; ++i) s += "汇总";  // 6000 wide characters: the SST needs CONTINUE records
    return s;
}

class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, ClosingWithoutWritesLeavesTheFileAsItWas) {
    if (GetParam() == kSharedAbsent) GTEST_SKIP() << sbx::testing::kNoSharedFixtures;
    TempFolder temp{"roundtrip"};
    const fs::path file = temp.copy(GetParam());
    const auto before = byteVectorOf(file);
    const auto stamp = fs::last_write_time(file);
    sbx::NativeHost host;
    host.close(host.open(file), true);
    EXPECT_EQ(byteVectorOf(file), before);
    EXPECT_EQ(fs::last_write_time(file), stamp);
}

TEST_P(RoundTrip, WrittenCellsReadBackAndEveryOtherCellStays) {
    if (GetParam() == kSharedAbsent) GTEST_SKIP() << sbx::testing::kNoSharedFixtures;
    TempFolder temp{"roundtrip"};
    const fs::path file = temp.copy(GetParam());
    sbx::NativeHost host;
    auto& book = host.open(file);
    const bool date1904 = static_cast<sbx::NativeWorkbook&>(book).reader().uses1904Dates();
    const bool wasEncrypted = static_cast<sbx::NativeWorkbook&>(book).reader().wasEncrypted();
    const Snapshot before = snapshot(book);

    // A block over existing cells (formulas, shared strings, MULRK runs), and a row below
    // the data that had no ROW record.
    const std::vector<CellValue> values = {
        CellValue::number(42.5),          CellValue::number(7),         CellValue::number(1e300),
        CellValue::number(-0.1),          CellValue::text("写入 text"), CellValue::text(longText()),
        CellValue::boolean(true),         CellValue::boolean(false),    CellValue::error(sbx::error_code::Div0),
        CellValue(),                      CellValue::date(45000.25),    CellValue::text(""),
    };
    int sheetIndex = 1;  // the first sheet without protection, if there is one
    while (sheetIndex < book.worksheetCount() && book.worksheet(sheetIndex).isProtected()) ++sheetIndex;
    auto& sheet = book.worksheet(sheetIndex);
    const int belowData = std::min(sheet.lastValueCell().first + 3, 65536);
    std::map<std::tuple<int, int, int>, CellValue> written;
    size_t next = 0;
    auto write = [&](int r, int c) {
        const CellValue& v = values[next++ % values.size()];
        if (sheet.isProtected() && sheet.isCellLocked(r, c)) return;
        sheet.setCell(r, c, v);
        written[{sheetIndex, r, c}] = v;
    };
    for (int r = 2; r <= 4; ++r) {
        for (int c = 2; c <= 5; ++c) write(r, c);
    }
    for (int c = 1; c <= 3; ++c) write(belowData, c);
    if (written.empty()) GTEST_SKIP() << "every cell of the block is locked";
    // Formulas that depend on the written cells get new results (formula_recalc_test checks
    // them); no other cell may change.
    std::set<std::tuple<int, int, int>> recomputed;
    const auto& native = static_cast<sbx::NativeWorkbook&>(book);
    for (const auto& [sheetIndex0, updates] : sbx::xls::formula::recalculate(native.reader(), native.edits()).updates) {
        for (const auto& [key, update] : updates) {
            if (!update.keepCached) recomputed.insert({static_cast<int>(sheetIndex0) + 1, static_cast<int>(key >> 8) + 1, static_cast<int>(key & 0xFF) + 1});
        }
    }
    host.close(book, true);

    const auto reread = sbx::xls::WorkbookReader::open(file);
    EXPECT_EQ(reread.wasEncrypted(), wasEncrypted) << "encrypted again as it was";
    EXPECT_EQ(sbx::test::checkWrittenStream(reread.workbookStream()), "");

    auto& after = host.open(file);
    const Snapshot now = snapshot(after);
    for (const auto& [key, value] : written) {
        const auto it = now.find(key);
        const CellValue read = it == now.end() ? CellValue() : it->second;
        const CellValue expected = value.kind() == CellKind::Text && value.textValue().empty() ? CellValue::text("") : value;
        EXPECT_TRUE(readsAsWritten(expected, read, date1904))
            << "row " << std::get<1>(key) << " column " << std::get<2>(key) << ": wrote " << sbx::describe(value)
            << ", read " << sbx::describe(read);
    }
    size_t differences = 0;
    for (const auto& [key, value] : before) {
        if (written.count(key) || recomputed.count(key)) continue;
        const auto it = now.find(key);
        if (it == now.end() || !(it->second == value)) {
            if (++differences <= 5) {
                ADD_FAILURE() << "sheet " << std::get<0>(key) << " row " << std::get<1>(key) << " column "
                              << std::get<2>(key) << " was " << sbx::describe(value) << ", now "
                              << (it == now.end() ? "empty" : sbx::describe(it->second));
            }
        }
    }
    for (const auto& [key, value] : now) {
        if (!written.count(key) && !before.count(key) && ++differences <= 5) {
            ADD_FAILURE() << "a new value at sheet " << std::get<0>(key) << " row " << std::get<1>(key) << ": "
                          << sbx::describe(value);
        }
    }
    EXPECT_EQ(differences, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RoundTrip, ::testing::ValuesIn(writableFixtures()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = fs::path(param.param).stem().string();
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

}  // namespace
