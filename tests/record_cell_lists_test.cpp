// The run record's per-cell lists read back the same text, contribution for contribution,
// however they were laid out: with or without room made for the sources expected (and with
// too little room, where lists outgrow it), a few sources at a time or many, in memory or
// partly spilled to a file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "consolidate/record/record_cell_lists.h"
#include "tests/support/memory_host.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

// Sources of one area b2:d3 whose numbers grow longer source by source (so lists outgrow the
// room the first source suggests), with a cell some sources leave empty and one text.
std::vector<std::shared_ptr<const AreaValues>> sourcesValues(int count) {
    test::MemoryFiles files;
    test::MemoryHost host(files);
    const CellArea area = *parseCellRange("b2:d3");
    std::vector<std::shared_ptr<const AreaValues>> all;
    for (int s = 0; s < count; ++s) {
        const fs::path file = "/pool/" + std::to_string(s) + ".xls";
        test::MemorySheet& sheet = files.put(file).add("表");
        double amount = s + 1;
        for (int k = 0; k < s % 7; ++k) amount = amount * 10 + 0.25;
        sheet.set(2, 2, CellValue::number(amount)).set(2, 3, CellValue::number(-0.5 * s));
        if (s % 3 != 1) sheet.set(3, 3, CellValue::number(s));
        sheet.set(3, 4, s == 2 ? CellValue::text("见附表") : CellValue::number(1e15 + s));
        all.push_back(std::make_shared<const AreaValues>(host.open(file).worksheet("表"), area, false));
    }
    return all;
}

// Every cell's list as read back, one line a cell, with its total.
std::string readBack(size_t budget, size_t expected, const std::vector<std::shared_ptr<const AreaValues>>& values,
                     const fs::path& beside) {
    RecordCellLists lists(budget, beside, expected);
    for (size_t s = 0; s < values.size(); ++s) lists.add(static_cast<uint32_t>(s), "表", values[s], true);
    const auto* areas = lists.finished();
    if (!areas || areas->size() != 1) return "abandoned";
    std::string text;
    lists.readBack(areas->front(), [&](const RecordCellLists::Chunk& chunk) {
        for (size_t i = 0, part = 0; i < chunk.positions.size(); ++i) {
            const auto& cell = areas->front().cells[chunk.positions[i]];
            text += std::to_string(chunk.positions[i]) + " " + std::to_string(cell.total.written().numberValue()) + ":";
            for (; part < chunk.partsEnd[i]; ++part) text += chunk.parts[part];
            text += "\n";
        }
    });
    return text;
}

TEST(RecordCellListsTest, ListsReadBackTheSameHoweverTheyWereLaidOut) {
    const testing::TempFolder dir("record-cell-lists");
    const auto values = sourcesValues(120);
    const std::string plain = readBack(1u << 20, 0, values, dir.path() / "total.xls");
    ASSERT_NE(plain, "abandoned");
    // Pins the form of a list: source numbers, values as written, the text whole.
    EXPECT_NE(plain.find("\n4 4760.000000:[0,0],[2,2],[3,3],[5,5],[6,6],[8,8],"), std::string::npos) << plain.substr(0, 400);
    EXPECT_NE(plain.find(",[2,\"见附表\"],"), std::string::npos);
    const struct {
        const char* what;
        size_t budget;
        size_t expected;
    } cases[] = {
        {"room for every source", 1u << 20, 120},
        {"room for too few sources", 1u << 20, 3},
        {"room for too many sources", 1u << 20, 100000},
        {"spilled every few sources", 700, 120},
        {"spilled, without room made", 700, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(readBack(c.budget, c.expected, values, dir.path() / "total.xls"), plain) << c.what;
}

}  // namespace
}  // namespace sbx
