#include "consolidate/record_cell_lists.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "consolidate/record_cell_line.h"

namespace sbx {

char* RecordCellLists::Text::room(size_t more) {
    if (size_ + more > capacity_) {
        const size_t capacity = std::max({size_ + more, 2 * capacity_, size_t{256}});
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

    struct Given {
        uint32_t source;
        std::string worksheet;
        std::shared_ptr<const AreaValues> values;
    };

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
                return ending || (!abandoned && (waiting.size() >= kBatch || (flushing && !flushed)));
            });
            if (ending) return;
            std::deque<Given> taken;
            taken.swap(waiting);
            const bool flush = flushing;
            working = true;
            lock.unlock();
            bool laidOut = true;
            for (const Given& given : taken) {
                if (!(laidOut = layOut(given))) break;
            }
            lock.lock();
            working = false;
            if (!laidOut) abandonLocked();
            if (abandoned) std::deque<Area>().swap(areas);
            if (flush && waiting.empty()) {
                flushed = true;
                changed.notify_all();
            }
        }
    }

    void abandonLocked() {
        abandoned = true;
        waiting.clear();
        if (!working) std::deque<Area>().swap(areas);
        changed.notify_all();
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

    // Appends the source's value to the list of each cell it holds one at, and adds it to the
    // cell's total.
    bool layOut(const Given& given) {
        const AreaValues& values = *given.values;
        Area* area = areaFor(given.worksheet, values.area());
        if (!area) return false;
        area->sources.push_back(given.source);
        const std::string head = contributionHead(given.source);
        char room[kContributionRoom];
        std::string other;
        for (const AreaValues::Held& v : values.values()) {
            Cell& cell = area->cells[v.position()];
            values.addTo(cell.total, v);
            const std::string_view text = contributionText(head, cell.from.empty(), values, v, room, other);
            std::memcpy(cell.from.room(text.size()), text.data(), text.size());
            cell.from.grow(text.size());
        }
        return true;
    }

    std::thread worker;  // last: started when the rest is ready
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
