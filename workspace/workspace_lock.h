#pragma once
// One program per working folder: a lock on <pool>/.shubuxing.lock, held while the program
// runs. The operating system lets go of it when the process ends, also when it is killed,
// so a crash never leaves the folder locked.
#include <filesystem>
#include <cstdint>
#include <memory>
#include <string>

#include "workspace/workspace_paths.h"

namespace sbx {

namespace lock_text {
inline constexpr const char* kInUse = "工作目录正被另一个数簿星使用：";
}  // namespace lock_text

// <pool>/.shubuxing.lock
std::filesystem::path workspaceLockFile(const WorkspacePaths& paths);

class WorkspaceLock {
public:
    ~WorkspaceLock();
    WorkspaceLock(const WorkspaceLock&) = delete;
    WorkspaceLock& operator=(const WorkspaceLock&) = delete;

    struct Attempt {
        std::unique_ptr<WorkspaceLock> lock;  // null when refused
        std::string refusal;                  // why, for the user: the folder in use, or what failed
    };
    // Makes the working folder if it is missing and takes its lock without waiting.
    static Attempt acquire(const WorkspacePaths& paths);

private:
    explicit WorkspaceLock(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

}  // namespace sbx
