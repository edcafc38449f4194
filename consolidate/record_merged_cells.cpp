#include "consolidate/record_merged_cells.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <span>
#include <stdexcept>
#include <unordered_map>

#include "consolidate/record_cell_line.h"
#include "consolidate/record_json_text.h"
#include "spreadsheet/path_hash.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

namespace fs = std::filesystem;

// The values of every source in one area of the job, source by source (request order):
// those the check held, or read again through the cache for the sources it did not hold.
struct AreaSources {
    std::vector<uint32_t> index;             // the source's index in the check's list
    std::vector<const AreaValues*> values;   // null: the source has no part in this area
};

std::vector<AreaSources> gatherValues(const RunRecordInput& in, SourceCache& cache, std::deque<AreaValues>& readAgain) {
    std::vector<AreaSources> areas(in.request.job.size());
    std::unordered_map<fs::path, size_t, PathHash> indexOf;
    for (size_t i = 0; i < in.check.sources.size(); ++i) indexOf.emplace(in.check.sources[i].file, i);
    // Source by source, so that a workbook the cache does not keep is parsed once for all its worksheets.
    for (const fs::path& file : in.request.sources) {
        const auto known = indexOf.find(file);
        const auto source = static_cast<uint32_t>(known == indexOf.end() ? 0 : known->second);
        std::optional<SourceArea> opened;
        for (size_t j = 0; j < in.request.job.size(); ++j) {
            const SheetJob& sheet = in.request.job[j];
            const AreaValues* values = nullptr;
            if (savedInSummary(in.report, j) && !leftOutOf(in.report, file, sheet.worksheet)) {
                const SourceArea where{file, sheet.worksheet, sheet.area};
                values = cache.held(where);
                if (!values) {
                    // The run added this source up: a record without its values (it cannot be
                    // read now, or it changed since) would not describe the summary.
                    try {
                        const OpenedSource book = cache.open(where);
                        opened = where;
                        values = &readAgain.emplace_back(book.sheet, sheet.area, book.dates1904);
                    } catch (const WorkbookError& e) {
                        throw std::runtime_error("the source " + utf8String(file) +
                                                 " could not be read again for the record: " + e.reason());
                    }
                }
            }
            areas[j].index.push_back(source);
            areas[j].values.push_back(values);
        }
        if (opened) cache.release(*opened);
    }
    return areas;
}

// The positions of the area that some source holds a value at, in order.
std::vector<uint64_t> heldPositions(const CellArea& area, const AreaSources& from) {
    std::vector<uint64_t> positions;
    if (area.cellCount() <= (1 << 20)) {
        std::vector<bool> seen(static_cast<size_t>(area.cellCount()));
        for (const AreaValues* values : from.values) {
            if (!values) continue;
            for (const AreaValues::Held& v : values->values()) seen[v.position()] = true;
        }
        for (uint64_t p = 0; p < seen.size(); ++p) {
            if (seen[p]) positions.push_back(p);
        }
        return positions;
    }
    for (const AreaValues* values : from.values) {
        if (!values) continue;
        for (const AreaValues::Held& v : values->values()) positions.push_back(v.position());
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

// Room in `out` for `more` characters written through a pointer: the text is written once,
// without a check of its size for every character.
char* roomFor(std::string& out, size_t& used, size_t more) {
    if (used + more > out.size()) out.resize(std::max({out.capacity(), out.size() * 2, used + more}));
    return out.data() + used;
}

// One line per cell of the area that a source holds a value at, row by row: its total by the
// run's rules and the sources' values, merged from the sources' values (each in position order).
// The lines of the cells at `positions` (every position of the area a source holds a value
// at, in order), each led by ",\n" but the very first of the record.
void appendCells(std::string& out, const RunRecordInput& in, const SheetJob& sheet, const AreaSources& from,
                 const std::vector<std::string>& heads, std::span<const uint64_t> positions, bool& firstCell) {
    const std::set<std::pair<int, int>> refused = refusedCells(in.report, sheet.worksheet);
    const CellArea& area = sheet.area;
    struct Cursor {
        const AreaValues::Held* at;
        const AreaValues::Held* end;
        const AreaValues* values;
        const std::string* head;
    };
    std::vector<Cursor> cursors;  // each source's next value, side by side for the merge
    for (size_t s = 0; s < from.values.size(); ++s) {
        if (const AreaValues* values = from.values[s]; values && !values->values().empty()) {
            const auto& held = values->values();
            cursors.push_back({held.data(), held.data() + held.size(), values, &heads[from.index[s]]});
        }
    }
    const std::string head = cellLineWorksheet(sheet.worksheet);
    std::string line;
    std::string values;  // the "from" list of one cell, written while its total is added up
    char room[kContributionRoom];
    std::string other;
    size_t used = out.size();
    for (const uint64_t position : positions) {
        const CellAddress at = area.cellAt(position);
        CellTotal total;
        size_t length = 0;
        for (Cursor& c : cursors) {
            if (c.at == c.end || c.at->position() != position) continue;
            const AreaValues::Held& v = *c.at++;
            c.values->addTo(total, v);
            const std::string_view text = contributionText(*c.head, length == 0, *c.values, v, room, other);
            if (values.size() < length + text.size()) values.resize(2 * values.size() + text.size());
            std::memcpy(values.data() + length, text.data(), text.size());
            length += text.size();
        }
        line.clear();
        appendCellLineHead(line, firstCell, head, at, total.written(), refused.contains({at.row, at.column}));
        firstCell = false;
        char* to = roomFor(out, used, line.size() + length + 2);
        std::memcpy(to, line.data(), line.size());
        std::memcpy(to + line.size(), values.data(), length);
        std::memcpy(to + line.size() + length, "]}", 2);
        used += line.size() + length + 2;
    }
    out.resize(used);
}

}  // namespace

bool appendMergedCells(std::string& out, const RunRecordInput& in, SourceCache& sources) {
    // About 13 bytes a contribution ("[12,1011.25],"): the text is written once, without moving it as it grows.
    long long cells = 0;
    for (const SheetJob& sheet : in.request.job) cells += std::min<long long>(sheet.area.cellCount(), 1 << 16);
    out.reserve(static_cast<size_t>(std::min<long long>(cells * static_cast<long long>(in.request.sources.size()) * 16, 64ll << 20)));
    std::deque<AreaValues> readAgain;
    const std::vector<AreaSources> values = gatherValues(in, sources, readAgain);
    std::vector<std::string> heads;  // ",[12," for each source
    for (size_t i = 0; i < in.check.sources.size(); ++i) heads.push_back(contributionHead(static_cast<uint32_t>(i)));
    if (heads.empty()) heads.push_back(contributionHead(0));
    bool firstCell = true;
    for (size_t j = 0; j < in.request.job.size(); ++j) {
        if (!savedInSummary(in.report, j)) continue;
        const std::vector<uint64_t> positions = heldPositions(in.request.job[j].area, values[j]);
        appendCells(out, in, in.request.job[j], values[j], heads, positions, firstCell);
    }
    return !firstCell;
}

}  // namespace sbx
