// One program per working folder: the lock is refused while another process holds it, and a
// holder killed outright (kill -9) does not leave it stuck.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/test_files.h"
#include "workspace/workspace_lock.h"

namespace fs = std::filesystem;
using sbx::WorkspaceLock;
using sbx::WorkspacePaths;

namespace {

#ifndef _WIN32
// Runs a process that takes the lock and waits; returns its id once it holds the lock, or -1
// when it could not take it.
pid_t startHolder(const WorkspacePaths& paths) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        const WorkspaceLock::Attempt held = WorkspaceLock::acquire(paths);
        const char answer = held.lock ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(2);
        for (;;) pause();
    }
    close(ready[1]);
    char answer = 'n';
    const bool told = read(ready[0], &answer, 1) == 1;
    close(ready[0]);
    if (!told || answer != 'y') {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}
#endif

TEST(WorkspaceLock, ASecondProgramIsToldTheFolderIsInUseUntilTheHolderIsKilled) {
#ifdef _WIN32
    GTEST_SKIP() << "no fork() on Windows to hold the lock from another process";
#else
    sbx::testing::TempFolder root("lock");
    const WorkspacePaths paths(root.path() / "kx");  // made by the first holder
    const pid_t holder = startHolder(paths);
    ASSERT_GT(holder, 0);

    const WorkspaceLock::Attempt second = WorkspaceLock::acquire(paths);
    EXPECT_EQ(second.lock, nullptr);
    EXPECT_EQ(second.refusal, sbx::lock_text::kInUse + sbx::utf8String(paths.poolDirectory()));

    // kill -9: no clean-up runs, and still the folder is free again.
    ASSERT_EQ(kill(holder, SIGKILL), 0);
    ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
    const WorkspaceLock::Attempt after = WorkspaceLock::acquire(paths);
    EXPECT_NE(after.lock, nullptr) << after.refusal;
#endif
}

TEST(WorkspaceLock, IsHeldUntilReleasedAndOnlyForItsOwnFolder) {
    sbx::testing::TempFolder root("lock");
    const WorkspacePaths one(root.path() / "one"), other(root.path() / "other");
    WorkspaceLock::Attempt first = WorkspaceLock::acquire(one);
    ASSERT_NE(first.lock, nullptr) << first.refusal;
    EXPECT_EQ(WorkspaceLock::acquire(one).lock, nullptr);
    EXPECT_NE(WorkspaceLock::acquire(other).lock, nullptr);
    first.lock.reset();
    EXPECT_NE(WorkspaceLock::acquire(one).lock, nullptr);
}

TEST(WorkspaceLock, AFolderThatCannotBeMadeIsNamed) {
    sbx::testing::TempFolder root("lock");
    sbx::testing::writeFile(root.path() / "file", "x");
    const WorkspacePaths blocked(root.path() / "file" / "kx");
    const WorkspaceLock::Attempt attempt = WorkspaceLock::acquire(blocked);
    EXPECT_EQ(attempt.lock, nullptr);
    EXPECT_NE(attempt.refusal.find(sbx::utf8String(blocked.poolDirectory())), std::string::npos) << attempt.refusal;
}

}  // namespace
