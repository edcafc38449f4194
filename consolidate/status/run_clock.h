#pragma once
// The time of day a run measures its worksheets by, and the elapsed time it shows. The clock
// is passed in so that tests can set the times.
#include <chrono>
#include <string>

namespace sbx {

struct TimeOfDay {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

class RunClock {
public:
    virtual ~RunClock() = default;
    virtual TimeOfDay now() const = 0;
    // A clock that never jumps (the time of day does, with clock changes), for the time a run
    // has taken and still needs.
    virtual std::chrono::milliseconds steadyNow() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    }
};

// The local time of day.
class SystemRunClock final : public RunClock {
public:
    TimeOfDay now() const override;
};

// Hours, minutes and seconds added up over the worksheets of a run.
class ElapsedTime {
public:
    // Adds the duration from `start` to `end`: a difference of times of day, borrowing a
    // minute and then an hour where needed; a pass that crosses midnight counts the time up to
    // and after it. Seconds carry into minutes and minutes into hours.
    void add(const TimeOfDay& start, const TimeOfDay& end);
    // H:M:S without leading zeros, e.g. 0:1:5.
    std::string text() const;

    long long hours() const { return hours_; }
    long long minutes() const { return minutes_; }
    long long seconds() const { return seconds_; }

private:
    long long hours_ = 0;
    long long minutes_ = 0;
    long long seconds_ = 0;
};

}  // namespace sbx
