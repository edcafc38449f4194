#include "consolidate/status/run_clock.h"

#include <chrono>
#include <ctime>

namespace sbx {

TimeOfDay SystemRunClock::now() const {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec};
}

void ElapsedTime::add(const TimeOfDay& start, const TimeOfDay& end) {
    long long h1 = end.hours;
    long long m1 = end.minutes;
    long long s1 = end.seconds;
    if (s1 - start.seconds < 0) {
        m1 -= 1;
        s1 += 60;
    }
    if (m1 - start.minutes < 0) {
        h1 -= 1;
        m1 += 60;
    }
    if (h1 - start.hours < 0) h1 += 24;  // the pass crossed midnight
    hours_ += h1 - start.hours;
    minutes_ += m1 - start.minutes;
    seconds_ += s1 - start.seconds;
    while (seconds_ >= 60) {
        seconds_ -= 60;
        minutes_ += 1;
    }
    while (minutes_ >= 60) {
        minutes_ -= 60;
        hours_ += 1;
    }
}

std::string ElapsedTime::text() const {
    // As a clock reads: 0:00:48, 1:05:02.
    const auto two = [](long long n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    return std::to_string(hours_) + ":" + two(minutes_) + ":" + two(seconds_);
}

}  // namespace sbx
