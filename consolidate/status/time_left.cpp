#include "consolidate/status/time_left.h"

#include <algorithm>
#include <cmath>

namespace sbx {

void TimeLeftEstimate::update(double done, double total, Milliseconds elapsed) {
    done_ = std::max(0.0, done);
    total_ = total;
    elapsed_ = std::max(elapsed, elapsed_);
    // Updates closer together than this replace the newest sample: the window holds a
    // bounded number of them however often the run reports.
    constexpr Milliseconds kSampleSpacing{250};
    if (recent_.size() >= 2 && elapsed_ - recent_[recent_.size() - 2].elapsed < kSampleSpacing) {
        recent_.back() = {elapsed_, done_};
    } else {
        recent_.push_back({elapsed_, done_});
    }
    // Keep one sample older than the window, so that the window is always spanned.
    while (recent_.size() > 2 && elapsed_ - recent_[1].elapsed >= kRecentWindow) recent_.pop_front();
}

std::optional<std::chrono::seconds> TimeLeftEstimate::timeLeft() const {
    if (total_ <= 0) return std::nullopt;
    const double left = std::max(0.0, total_ - done_);
    if (left == 0) return std::chrono::seconds(0);
    if (done_ / total_ < kMinimumShare || elapsed_ < kMinimumElapsed) return std::nullopt;

    // Units per millisecond: the recent pace once the window is spanned and something moved
    // in it, the whole run's pace otherwise.
    double pace = done_ / static_cast<double>(elapsed_.count());
    const Sample& oldest = recent_.front();
    const auto span = elapsed_ - oldest.elapsed;
    if (span >= kRecentWindow && done_ > oldest.done) pace = (done_ - oldest.done) / static_cast<double>(span.count());
    if (pace <= 0) return std::nullopt;
    return std::chrono::seconds(static_cast<long long>(std::ceil(left / pace / 1000.0)));
}

}  // namespace sbx
