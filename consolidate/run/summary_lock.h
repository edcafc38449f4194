#pragma once
// One run per summary at a time: a run holds a lock on OUT.lock beside its summary OUT from
// before its check until its record is in place, so that two runs onto one summary never
// interleave their saves and records. A second run is refused at once rather than made to
// wait: a clerk who starts two runs onto one summary has most likely mistaken the summary or
// the folder, and a run that waited would then silently replace the other's totals.
//
// The lock is the operating system's (flock, or on Windows a file opened for no one else), so
// a killed run never leaves the summary locked. The lock file is empty and removed when the
// lock is let go; one a killed run left behind is taken over by the next run.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace sbx {

// "hz/total.xls" -> "hz/total.xls.lock".
std::filesystem::path summaryLockPath(const std::filesystem::path& summary);

class SummaryLock {
public:
    ~SummaryLock();  // lets go of the lock and removes its file
    SummaryLock(const SummaryLock&) = delete;
    SummaryLock& operator=(const SummaryLock&) = delete;

    struct Attempt {
        std::unique_ptr<SummaryLock> lock;  // null when refused
        bool inUse = false;                 // refused because another run holds it
        std::string reason;                 // why it was refused, naming the lock file
    };
    // Takes the lock of `summary` without waiting.
    static Attempt take(const std::filesystem::path& summary);

private:
    SummaryLock(std::filesystem::path file, std::intptr_t handle) : file_(std::move(file)), handle_(handle) {}
    std::filesystem::path file_;
    std::intptr_t handle_;
};

}  // namespace sbx
