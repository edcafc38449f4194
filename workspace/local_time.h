#pragma once
// A moment as local time, in a strftime format: "%Y%m%d-%H%M%S" for file names,
// "%Y-%m-%d %H:%M:%S" for people.
#include <chrono>
#include <string>

namespace sbx {

std::string localTimeText(std::chrono::system_clock::time_point when, const char* format);

}  // namespace sbx
