#pragma once
// How long a run still needs, from how much of it is done and when. The times are passed
// in, so the estimate is the same whatever clock drives it.
#include <chrono>
#include <deque>
#include <optional>

namespace sbx {

class TimeLeftEstimate {
public:
    using Milliseconds = std::chrono::milliseconds;

    // Before this share of the work and this time, there is nothing to go by.
    static constexpr double kMinimumShare = 0.05;
    static constexpr Milliseconds kMinimumElapsed{3000};
    // The pace of the last this much time counts, so that the estimate follows a run whose
    // files grow or shrink.
    static constexpr Milliseconds kRecentWindow{20000};

    // `done` of `total` units of work `elapsed` after the run began (elapsed never decreases).
    void update(double done, double total, Milliseconds elapsed);

    // The time left after the last update, rounded up to whole seconds; nothing until
    // enough is done to tell, or while nothing moves at all.
    std::optional<std::chrono::seconds> timeLeft() const;

private:
    struct Sample {
        Milliseconds elapsed;
        double done;
    };
    std::deque<Sample> recent_;  // the last kRecentWindow, and the one sample before it
    double done_ = 0;
    double total_ = 0;
    Milliseconds elapsed_{0};
};

}  // namespace sbx
