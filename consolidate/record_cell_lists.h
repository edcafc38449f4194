#pragma once
// The run record's list for every cell (its total and each source's value behind it, as
// "[3,12.5],[4,{"date": 45292}]"), laid out on a thread of its own while the check reads
// the sources, so that the record after the run is little more than a write. The lists are
// fed the values the source cache holds, in the order it holds them; a list that would miss
// some (values beyond the cache's budget, an area too large to lay out cell by cell) is
// abandoned, and the record merges the held values after the run instead.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/area_values.h"
#include "spreadsheet/cell_total.h"

namespace sbx {

class RecordCellLists {
public:
    // Areas of more cells are not laid out: a list per cell would cost more than the merge.
    static constexpr long long kMostCells = 1 << 16;

    // Text grown by doubling, without std::string's zero fill on resize.
    class Text {
    public:
        std::string_view view() const { return {data_.get(), size_}; }
        bool empty() const { return size_ == 0; }
        // Room for `more` characters at the end, written through the pointer, then kept by grow().
        char* room(size_t more);
        void grow(size_t written) { size_ += written; }

    private:
        std::unique_ptr<char[]> data_;
        size_t size_ = 0;
        size_t capacity_ = 0;
    };
    struct Cell {
        CellTotal total;
        Text from;  // empty: no source holds a value there
    };
    struct Area {
        std::string worksheet;  // as the job spells it
        CellArea area;
        std::vector<uint32_t> sources;  // the check's numbers of the sources added, in order
        std::vector<Cell> cells;        // by position: (row - firstRow) * columns + column - firstColumn
    };

    RecordCellLists();
    ~RecordCellLists();  // stops the work under way
    RecordCellLists(const RecordCellLists&) = delete;
    RecordCellLists& operator=(const RecordCellLists&) = delete;

    // Adds the values of source number `source` (its place in the check's list) in one area of
    // `worksheet`. The values must not change until the lists are finished or abandoned.
    void add(uint32_t source, std::string worksheet, std::shared_ptr<const AreaValues> values);
    // Some values will not be added: the lists are dropped, and finished() is null.
    void abandon();
    // Waits for the areas added to be laid out; null when abandoned.
    const std::deque<Area>* finished();
    // Done with the lists (they are written): their memory goes now, from the caller's thread,
    // and finished() is null from here on.
    void release();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sbx
