#include "consolidate/record/record_cell_lists.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <span>
#include <thread>

#include "consolidate/record/record_cell_line.h"
#include "consolidate/record/spill_file.h"

namespace sbx {

char* RecordCellLists::Text::room(size_t more) {
    if (size_ + more > capacity_) {
        const size_t capacity = std::max({size_ + more, 2 * capacity_, size_t{256}});
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        if (size_) std::memcpy(data.get(), data_, size_);
        own_ = std::move(data);
        data_ = own_.get();
        capacity_ = capacity;
    }
    return data_ + size_;
}

void RecordCellLists::Text::lend(char* at, size_t capacity) {
    if (size_ > capacity) return;
    if (size_) std::memcpy(at, data_, size_);
    own_.reset();
    data_ = at;
    capacity_ = capacity;
}

struct RecordCellLists::State {
    // Woken for a batch of areas, not for each: a wake-up costs more than laying an area out.
    static constexpr size_t kBatch = 48;
    // Values that only wait to be laid out (the cache does not hold them): beyond half of
    // this the worker is woken, beyond all of it the reader waits.
    static constexpr size_t kMostWaiting = 16u << 20;

    struct Given {
        uint32_t source;
        std::string worksheet;
        std::shared_ptr<const AreaValues> values;
        size_t ownBytes;  // the values' bytes when nobody else holds them, else 0
    };

    State(size_t budget, std::filesystem::path beside, size_t expected)
        : memoryBudget(budget), spillBeside(std::move(beside)), expectedSources(expected) {}

    const size_t memoryBudget;
    const std::filesystem::path spillBeside;
    const size_t expectedSources;
    size_t waitingBytes = 0;  // ownBytes of the values given and not yet laid out
    size_t textBytes = 0;     // the lists' text in memory: the worker's alone
    std::unique_ptr<SpillFile> spill;  // the worker's, then finished()'s caller's

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Given> waiting;
    bool abandoned = false;
    bool ending = false;
    bool flushing = false;  // finished() waits: lay out what is waiting, however little
    bool flushed = false;   // everything given is laid out
    bool working = false;
    std::deque<Area> areas;  // the worker's alone, but while finished() holds them

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] {
                return ending ||
                       (!abandoned && (waiting.size() >= kBatch || waitingBytes > kMostWaiting / 2 || (flushing && !flushed)));
            });
            if (ending) return;
            std::deque<Given> taken;
            taken.swap(waiting);
            const bool flush = flushing;
            working = true;
            lock.unlock();
            size_t freed = 0;
            for (const Given& given : taken) freed += given.ownBytes;
            const bool laidOut = layOutBatch(taken);
            taken.clear();  // the values only the lists needed go now, outside the lock
            lock.lock();
            working = false;
            waitingBytes -= freed;
            if (!laidOut) abandonLocked();
            if (abandoned) {
                std::deque<Area>().swap(areas);
                spill.reset();
            }
            if (freed) changed.notify_all();
            if (flush && waiting.empty()) {
                flushed = true;
                changed.notify_all();
            }
        }
    }

    void abandonLocked() {
        abandoned = true;
        waiting.clear();
        if (!working) {
            std::deque<Area>().swap(areas);
            spill.reset();
        }
        changed.notify_all();
    }

    // Every cell's list so far goes to the spill file, one after the other in area and position
    // order, and is emptied in memory; false when the file cannot be written.
    bool spillAll() {
        try {
            if (!spill) spill = std::make_unique<SpillFile>(spillBeside);
            for (Area& a : areas) {
                std::vector<uint64_t> starts(a.cells.size() + 1);
                for (size_t p = 0; p < a.cells.size(); ++p) {
                    starts[p] = spill->size();
                    spill->append(a.cells[p].from.view());
                    a.cells[p].from.clear();
                }
                starts.back() = spill->size();
                a.spills.push_back(std::move(starts));
            }
            spill->checkWritten();
            textBytes = 0;
            return true;
        } catch (const std::exception&) {
            return false;  // the record merges the values after the run instead
        }
    }

    Area* areaFor(const std::string& worksheet, const CellArea& area) {
        for (Area& a : areas) {
            if (a.worksheet == worksheet && a.area == area) return &a;
        }
        if (area.cellCount() > kMostCells) return nullptr;
        Area& added = areas.emplace_back();
        added.worksheet = worksheet;
        added.area = area;
        added.cells.resize(static_cast<size_t>(area.cellCount()));
        return &added;
    }

    // Lays out a batch of areas the check read, and spills when the lists' text reaches the
    // budget; false when the lists are to be abandoned.
    bool layOutBatch(const std::deque<Given>& taken) {
        // The batch's values of one area, source after source, go into its cells' lists cell by
        // cell: each cell's list then grows by a run of contributions at once, where going
        // source by source wrote a few bytes into every cell's list in turn (a page apart).
        std::vector<bool> done(taken.size());
        std::vector<const Given*> group;
        for (size_t i = 0; i < taken.size(); ++i) {
            if (done[i]) continue;
            Area* area = areaFor(taken[i].worksheet, taken[i].values->area());
            if (!area) return false;
            group.clear();
            for (size_t j = i; j < taken.size(); ++j) {
                if (!done[j] && taken[j].worksheet == taken[i].worksheet && taken[j].values->area() == area->area) {
                    group.push_back(&taken[j]);
                    done[j] = true;
                }
            }
            // The first source of an area alone: the room of the rest is judged by its list.
            std::span<const Given* const> rest(group);
            if (area->sources.empty()) {
                layOut(*area, rest.first(1));
                reserve(*area);
                rest = rest.subspan(1);
            }
            if (!rest.empty()) layOut(*area, rest);
            if (textBytes >= memoryBudget && !spillAll()) return false;
        }
        return true;
    }

    // Appends each source's value to the list of each cell it holds one at, sources in the
    // order given, and adds it to the cell's total.
    void layOut(Area& area, std::span<const Given* const> given) {
        struct Cursor {
            const AreaValues* values;
            const AreaValues::Held* at;
            const AreaValues::Held* end;
            std::string head;
        };
        std::vector<Cursor> cursors;
        for (const Given* g : given) {
            area.sources.push_back(g->source);
            const auto& held = g->values->values();
            cursors.push_back({g->values.get(), held.data(), held.data() + held.size(), contributionHead(g->source)});
        }
        char room[kContributionRoom];
        std::string other;
        const auto put = [&](Cursor& c) {
            const AreaValues::Held& v = *c.at++;
            Cell& cell = area.cells[v.position()];
            c.values->addTo(cell.total, v);
            const std::string_view text = contributionText(c.head, !cell.listed, *c.values, v, room, other);
            std::memcpy(cell.from.room(text.size()), text.data(), text.size());
            cell.from.grow(text.size());
            cell.listed = true;
            textBytes += text.size();
        };
        const auto ascending = [](const Cursor& c) {
            return std::is_sorted(c.at, c.end, [](const AreaValues::Held& a, const AreaValues::Held& b) {
                return a.position() < b.position();
            });
        };
        if (!std::all_of(cursors.begin(), cursors.end(), ascending)) {
            // Not in position order (no reader gives that today): source after source.
            for (Cursor& c : cursors) {
                while (c.at != c.end) put(c);
            }
            return;
        }
        constexpr uint64_t kNone = ~uint64_t{0};
        uint64_t next = kNone;
        for (const Cursor& c : cursors) {
            if (c.at != c.end) next = std::min(next, c.at->position());
        }
        while (next != kNone) {
            const uint64_t position = next;
            next = kNone;
            for (Cursor& c : cursors) {
                if (c.at != c.end && c.at->position() == position) put(c);
                if (c.at != c.end) next = std::min(next, c.at->position());
            }
        }
    }

    // Lists grown by doubling were copied about twice over, each copy in new memory: after the
    // first source, each cell gets room for the sources expected, at that source's longest
    // contribution, all in one block. Never more than twice the lists' budget, which a spill
    // empties; a list that outgrows its room moves out as before.
    void reserve(Area& area) {
        if (area.sources.size() != 1 || expectedSources < 2 || area.cells.empty()) return;
        size_t longest = 0;
        for (const Cell& cell : area.cells) longest = std::max(longest, cell.from.view().size());
        if (longest == 0) return;
        // Each later contribution has its comma, and source numbers may take more digits.
        const size_t each = longest + 1 + std::max(contributionHead(static_cast<uint32_t>(expectedSources)).size(),
                                                   contributionHead(area.sources.front()).size()) -
                            contributionHead(area.sources.front()).size();
        const size_t perCell = std::min(each * expectedSources, 2 * memoryBudget / area.cells.size());
        if (perCell < 256) return;  // the first growth gives as much
        area.block = std::make_unique_for_overwrite<char[]>(perCell * area.cells.size());
        for (size_t p = 0; p < area.cells.size(); ++p) area.cells[p].from.lend(area.block.get() + p * perCell, perCell);
    }

    std::thread worker;  // last: started when the rest is ready
};

RecordCellLists::RecordCellLists(size_t memoryBudget, std::filesystem::path spillBeside, size_t expectedSources)
    : state_(std::make_unique<State>(memoryBudget, std::move(spillBeside), expectedSources)) {
    state_->worker = std::thread([s = state_.get()] { s->work(); });
}

RecordCellLists::~RecordCellLists() {
    {
        std::lock_guard lock(state_->mutex);
        state_->ending = true;
    }
    state_->changed.notify_all();
    state_->worker.join();
}

void RecordCellLists::add(uint32_t source, std::string worksheet, std::shared_ptr<const AreaValues> values, bool heldElsewhere) {
    const size_t own = heldElsewhere ? 0 : values->bytes();
    {
        std::unique_lock lock(state_->mutex);
        // The worker was woken when the bytes waiting passed half the bound.
        state_->changed.wait(lock, [&] {
            return state_->abandoned || state_->ending || state_->waitingBytes <= State::kMostWaiting;
        });
        if (state_->abandoned || state_->ending) return;
        state_->waiting.push_back({source, std::move(worksheet), std::move(values), own});
        state_->waitingBytes += own;
        state_->flushed = false;
        if (state_->waiting.size() < State::kBatch && !state_->flushing && state_->waitingBytes <= State::kMostWaiting / 2) return;
    }
    state_->changed.notify_all();
}

void RecordCellLists::abandon() {
    std::lock_guard lock(state_->mutex);
    state_->abandonLocked();
}

void RecordCellLists::release() {
    std::deque<Area> gone;
    std::unique_ptr<SpillFile> spilled;
    {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, [&] { return !state_->working; });
        state_->abandoned = true;
        state_->waiting.clear();
        gone.swap(state_->areas);
        spilled.swap(state_->spill);
    }
    // Freed outside the lock: 8 MB of lists take a few milliseconds to give back.
}

const std::deque<RecordCellLists::Area>* RecordCellLists::finished() {
    std::unique_lock lock(state_->mutex);
    state_->flushing = true;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return state_->abandoned || state_->flushed; });
    if (state_->abandoned) return nullptr;
    return &state_->areas;
}

void RecordCellLists::readBack(const Area& area, const std::function<void(const Chunk&)>& each) {
    // About this much text a chunk: one read from each spill for a chunk of cells.
    constexpr uint64_t kChunkBytes = 4u << 20;
    const size_t cells = area.cells.size();
    std::unique_ptr<char[]> spilled;
    size_t room = 0;
    std::vector<size_t> base(area.spills.size());  // where each spill's bytes of the chunk lie in `spilled`
    Chunk chunk;
    for (size_t first = 0, end = 0; first < cells; first = end) {
        uint64_t bytes = 0, fromSpills = 0;
        for (end = first; end < cells && (end == first || bytes < kChunkBytes); ++end) {
            bytes += area.cells[end].from.view().size();
            for (const auto& starts : area.spills) bytes += starts[end + 1] - starts[end];
        }
        for (const auto& starts : area.spills) fromSpills += starts[end] - starts[first];
        if (fromSpills > room) {
            room = static_cast<size_t>(fromSpills);
            spilled = std::make_unique_for_overwrite<char[]>(room);
        }
        size_t at = 0;
        for (size_t s = 0; s < area.spills.size(); ++s) {
            const auto& starts = area.spills[s];
            const auto length = static_cast<size_t>(starts[end] - starts[first]);
            base[s] = at;
            if (length) state_->spill->read(starts[first], spilled.get() + at, length);
            at += length;
        }
        chunk.positions.clear();
        chunk.partsEnd.clear();
        chunk.parts.clear();
        for (size_t p = first; p < end; ++p) {
            const Cell& cell = area.cells[p];
            if (!cell.listed) continue;
            for (size_t s = 0; s < area.spills.size(); ++s) {
                const auto& starts = area.spills[s];
                if (starts[p + 1] == starts[p]) continue;
                chunk.parts.emplace_back(spilled.get() + base[s] + (starts[p] - starts[first]), starts[p + 1] - starts[p]);
            }
            if (!cell.from.empty()) chunk.parts.push_back(cell.from.view());
            chunk.positions.push_back(p);
            chunk.partsEnd.push_back(chunk.parts.size());
        }
        if (!chunk.positions.empty()) each(chunk);
    }
}

}  // namespace sbx
