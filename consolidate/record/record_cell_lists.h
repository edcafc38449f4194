#pragma once
// The run record's list for every cell (its total and each source's value behind it, as
// "[3,12.5],[4,{"date": 45292}]"), laid out on a thread of its own while the check reads
// the sources, so that the record after the run is little more than a write. The lists are
// fed every value the check reads, in the order it reads them, whether the source cache holds
// them or not, so that no source is read again for the record; lists that would miss some (an
// area too large to lay out cell by cell, a spill that fails) are abandoned, and the record
// merges the values after the run instead.
//
// Memory does not follow the pool: once the lists' text reaches a budget, each cell's list so
// far goes to a temporary file (a spill), and the lists are read back in chunks of cells, each
// from its spills and then from memory, when the record is written.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "consolidate/run/source_cache.h"
#include "spreadsheet/area_values.h"
#include "spreadsheet/cell_total.h"

namespace sbx {

class RecordCellLists final : public AreaValuesListener {
public:
    // Areas of more cells are not laid out: a list per cell would cost more than the merge.
    static constexpr long long kMostCells = 1 << 16;

    // Text grown by doubling, without std::string's zero fill on resize; it may start in room
    // lent from its area's block, and only moves to memory of its own when that is full.
    class Text {
    public:
        std::string_view view() const { return {data_, size_}; }
        bool empty() const { return size_ == 0; }
        // Emptied after a spill; the room stays, for the next part of the list.
        void clear() { size_ = 0; }
        // Room for `more` characters at the end, written through the pointer, then kept by grow().
        char* room(size_t more);
        void grow(size_t written) { size_ += written; }
        // Moves the text so far into `capacity` characters at `at`, which outlive it.
        void lend(char* at, size_t capacity);

    private:
        char* data_ = nullptr;
        size_t size_ = 0;
        size_t capacity_ = 0;
        std::unique_ptr<char[]> own_;
    };
    struct Cell {
        CellTotal total;
        Text from;           // the list since the last spill
        bool listed = false;  // false: no source holds a value there
    };
    struct Area {
        std::string worksheet;  // as the job spells it
        CellArea area;
        std::vector<uint32_t> sources;  // the check's numbers of the sources added, in order
        std::vector<Cell> cells;        // by position: (row - firstRow) * columns + column - firstColumn
        // For each spill, where each cell's part of it starts in the spill file, and its end.
        std::vector<std::vector<uint64_t>> spills;
        // One block that the cells' lists start in, sized by the first source's list and the
        // sources expected: no list is copied as it grows (see State::reserve).
        std::unique_ptr<char[]> block;
    };
    // Some cells' lists, read back: cell i of `positions` has parts[partsEnd[i - 1] .. partsEnd[i]).
    struct Chunk {
        std::vector<size_t> positions;
        std::vector<size_t> partsEnd;
        std::vector<std::string_view> parts;
    };

    // `memoryBudget`: the bytes of list text kept in memory before a spill; spills go to a
    // temporary file beside `spillBeside` (the summary).
    // `expectedSources`: how many sources the check will read (0: not known), for the room laid
    // out for each cell's list.
    explicit RecordCellLists(size_t memoryBudget, std::filesystem::path spillBeside, size_t expectedSources = 0);
    ~RecordCellLists() override;  // stops the work under way
    RecordCellLists(const RecordCellLists&) = delete;
    RecordCellLists& operator=(const RecordCellLists&) = delete;

    // Adds the values of source number `source` (its place in the check's list) in one area of
    // `worksheet`. The values must not change until the lists are finished or abandoned.
    // `heldElsewhere`: the values are kept anyway (by the cache); those that are not are
    // waiting in memory only until laid out, and the caller waits while too many are.
    void add(uint32_t source, std::string worksheet, std::shared_ptr<const AreaValues> values, bool heldElsewhere);
    // The values a source cache read, as add().
    void valuesRead(uint32_t checkIndex, const std::string& worksheet, std::shared_ptr<const AreaValues> values,
                    bool held) override {
        add(checkIndex, worksheet, std::move(values), held);
    }
    // Some values will not be added: the lists are dropped, and finished() is null.
    void abandon();
    // Waits for the areas added to be laid out; null when abandoned.
    const std::deque<Area>* finished();
    // The lists of the cells of `area` (one of finished()'s) that hold a value, in position
    // order, a chunk at a time: `each` is called for every chunk, whose views last until it
    // returns. Throws std::runtime_error naming the spill file when it cannot be read back.
    void readBack(const Area& area, const std::function<void(const Chunk&)>& each);
    // Done with the lists (they are written): their memory goes now, from the caller's thread,
    // and finished() is null from here on.
    void release();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sbx
