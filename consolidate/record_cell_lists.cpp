#include "consolidate/record_cell_lists.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

#include "consolidate/number_text.h"
#include "consolidate/record_json_text.h"

namespace sbx {

char* RecordCellLists::Text::room(size_t more) {
    if (size_ + more > capacity_) {
        const size_t capacity = std::max({size_ + more, 2 * capacity_, size_t{512}});
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        if (size_) std::memcpy(data.get(), data_.get(), size_);
        data_ = std::move(data);
        capacity_ = capacity;
    }
    return data_.get() + size_;
}

struct RecordCellLists::State {
    // Woken for a batch of areas, not for each: a wake-up costs more than laying an area out.
    static constexpr size_t kBatch = 16;
    // The sources of an area are laid out this many at a time, cell by cell: each cell's list
    // then grows by one longer piece per block instead of by one value per source, which
    // keeps the writes within a few places of memory at a time (by source, every value went
    // to another place, and the run waited for the memory).
    static constexpr size_t kBlock = 32;

    struct Given {
        uint32_t source;
        std::string worksheet;
        std::shared_ptr<const AreaValues> values;
    };
    struct Pending {
        Area* area;
        std::vector<Given> block;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Given> waiting;
    bool abandoned = false;
    bool ending = false;
    bool flushing = false;  // finished() waits: lay out what is waiting, blocks begun included
    bool flushed = false;   // everything given is laid out
    bool working = false;
    // The worker's alone, but while finished() holds them.
    std::deque<Area> areas;
    std::vector<Pending> pending;
    std::thread worker;

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] {
                return ending || (!abandoned && (waiting.size() >= kBatch || (flushing && !flushed)));
            });
            if (ending) return;
            std::deque<Given> taken;
            taken.swap(waiting);
            const bool flush = flushing;
            working = true;
            lock.unlock();
            bool laidOut = true;
            for (Given& given : taken) {
                if (!(laidOut = take(std::move(given)))) break;
            }
            if (laidOut && flush) layOutBegunBlocks();
            lock.lock();
            working = false;
            if (!laidOut) abandonLocked();
            if (abandoned) dropLists();
            if (flush && waiting.empty()) {
                flushed = true;
                changed.notify_all();
            }
        }
    }

    void abandonLocked() {
        abandoned = true;
        waiting.clear();
        if (!working) dropLists();
        changed.notify_all();
    }

    void dropLists() {
        pending.clear();
        std::deque<Area>().swap(areas);
    }

    Pending* pendingFor(const std::string& worksheet, const CellArea& area) {
        for (Pending& p : pending) {
            if (p.area->worksheet == worksheet && p.area->area == area) return &p;
        }
        if (area.cellCount() > kMostCells) return nullptr;
        Area& added = areas.emplace_back();
        added.worksheet = worksheet;
        added.area = area;
        added.cells.resize(static_cast<size_t>(area.cellCount()));
        Pending& p = pending.emplace_back();
        p.area = &added;
        p.block.reserve(kBlock);
        return &p;
    }

    bool take(Given given) {
        Pending* p = pendingFor(given.worksheet, given.values->area());
        if (!p) return false;
        p->area->sources.push_back(given.source);
        p->block.push_back(std::move(given));
        if (p->block.size() == kBlock) layOut(*p);
        return true;
    }

    void layOutBegunBlocks() {
        for (Pending& p : pending) {
            if (!p.block.empty()) layOut(p);
        }
    }

    // Appends the block's values to the lists of the cells, source by source within each cell,
    // and adds them to the cells' totals.
    void layOut(Pending& p) {
        struct Cursor {
            const AreaValues::Held* at;
            const AreaValues::Held* end;
            const AreaValues* values;
            char head[24];  // ",[12345,"
            size_t headSize;
        };
        std::vector<Cursor> cursors;
        cursors.reserve(p.block.size());
        for (const Given& g : p.block) {
            const auto& held = g.values->values();
            if (held.empty()) continue;
            Cursor& c = cursors.emplace_back(Cursor{held.data(), held.data() + held.size(), g.values.get(), {}, 0});
            c.headSize = static_cast<size_t>(std::snprintf(c.head, sizeof c.head, ",[%u,", g.source));
        }
        std::string other;
        constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
        for (;;) {
            uint32_t position = kNone;
            for (const Cursor& c : cursors) {
                if (c.at != c.end) position = std::min(position, c.at->position);
            }
            if (position == kNone) break;
            Cell& cell = p.area->cells[position];
            for (Cursor& c : cursors) {
                if (c.at == c.end || c.at->position != position) continue;
                const AreaValues::Held& v = *c.at++;
                c.values->addTo(cell.total, v);
                const size_t skip = cell.from.empty() ? 1 : 0;  // the first value of a list has no ","
                if (v.whole == AreaValues::kNumberOnly) {
                    char* const start = cell.from.room(c.headSize + kNumberTextSize + 1);
                    std::memcpy(start, c.head + skip, c.headSize - skip);
                    char* end = writeNumber(start + c.headSize - skip, v.number);
                    *end++ = ']';
                    cell.from.grow(static_cast<size_t>(end - start));
                } else {
                    other.assign(c.head + skip, c.headSize - skip);
                    appendJsonValue(other, c.values->value(v));
                    other += ']';
                    std::memcpy(cell.from.room(other.size()), other.data(), other.size());
                    cell.from.grow(other.size());
                }
            }
        }
        p.block.clear();
    }
};

RecordCellLists::RecordCellLists() : state_(std::make_unique<State>()) {
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

void RecordCellLists::add(uint32_t source, std::string worksheet, std::shared_ptr<const AreaValues> values) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->abandoned) return;
        state_->waiting.push_back({source, std::move(worksheet), std::move(values)});
        state_->flushed = false;
        if (state_->waiting.size() < State::kBatch && !state_->flushing) return;
    }
    state_->changed.notify_all();
}

void RecordCellLists::abandon() {
    std::lock_guard lock(state_->mutex);
    state_->abandonLocked();
}

void RecordCellLists::release() {
    std::deque<Area> gone;
    {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, [&] { return !state_->working; });
        state_->abandoned = true;
        state_->waiting.clear();
        state_->pending.clear();
        gone.swap(state_->areas);
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

}  // namespace sbx
