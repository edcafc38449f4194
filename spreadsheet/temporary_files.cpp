#include "spreadsheet/temporary_files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "spreadsheet/utf8_path.h"

namespace sbx {

namespace {

constexpr const char* kMarker = ".sbx-";
constexpr const char* kRunFolder = ".shubuxing-run-";

long processId() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(::getpid());
#endif
}

bool processRuns(long pid) {
#ifdef _WIN32
    if (pid <= 0) return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    // A process that cannot be looked at (another user's) may be running: keep its files.
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD exitCode = 0;
    const bool running = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
#endif
}

// The writer of `name` if it is a temporary file: .sbx-<pid>-<n>.tmp, or <target>.sbx-<pid>-<n>.tmp
// as earlier versions named them after the file they replaced.
long writerOf(const std::string& name, const std::string& target) {
    std::string prefix = kMarker;
    if (!name.starts_with(prefix)) prefix = target + kMarker;
    if (!name.starts_with(prefix) || !name.ends_with(".tmp")) return -1;
    const std::string rest = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    const size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0) return -1;
    long pid = 0;
    for (size_t i = 0; i < dash; ++i) {
        if (rest[i] < '0' || rest[i] > '9' || pid > 100000000) return -1;
        pid = pid * 10 + (rest[i] - '0');
    }
    return pid;
}

// The temporary files being written, for the signal handler: plain buffers and lock-free
// flags, as a handler may touch nothing else. A few at once: the summary is saved while the
// run record is written beside it. This is the only state of its kind.
struct PendingSlot {
    std::filesystem::path::value_type path[4096];  // UTF-16 on Windows
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 pending
};
static_assert(std::atomic<int>::is_always_lock_free);
PendingSlot pendingSlots[4];

#ifdef _WIN32
// Ctrl+C, Ctrl+Break, a closed console window, logging off or shutting down: the files go,
// then the default handling ends the program.
BOOL WINAPI removePendingOnConsoleEvent(DWORD) {
    for (PendingSlot& slot : pendingSlots) {
        if (slot.state.load() == 2) DeleteFileW(slot.path);
    }
    return FALSE;
}
#else
void removePendingAndDie(int signal) {
    for (PendingSlot& slot : pendingSlots) {
        if (slot.state.load() == 2) ::unlink(slot.path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}  // namespace

std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    std::random_device random;
    const std::string name =
        std::string(kMarker) + std::to_string(processId()) + "-" + std::to_string(random() % 1000000000u) + ".tmp";
    return target.parent_path() / name;
}

void removeLeftoversBeside(const std::filesystem::path& target) {
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    const std::string targetName = utf8String(target.filename());
    const auto now = std::filesystem::file_time_type::clock::now();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = utf8String(it->path().filename());
        std::error_code ignored;
        if (const long pid = writerOf(name, targetName); pid > 0 && pid != processId() && !processRuns(pid)) {
            std::filesystem::remove(it->path(), ignored);
        } else if (name.starts_with(kRunFolder) && it->is_directory(ignored)) {
            // An old run folder still in use is at most minutes old.
            const auto age = now - std::filesystem::last_write_time(it->path(), ignored);
            if (!ignored && age > std::chrono::hours(1)) std::filesystem::remove_all(it->path(), ignored);
        }
    }
}

PendingTemporary::PendingTemporary(const std::filesystem::path& file) {
    const auto& text = file.native();
    if (text.size() >= std::size(pendingSlots[0].path)) return;
    // With every slot taken the file is left to the next save's clean-up of leftovers.
    for (int i = 0; i < static_cast<int>(std::size(pendingSlots)); ++i) {
        int free = 0;
        if (!pendingSlots[i].state.compare_exchange_strong(free, 1)) continue;
        std::memcpy(pendingSlots[i].path, text.c_str(), (text.size() + 1) * sizeof text[0]);
        pendingSlots[i].state.store(2);
        slot_ = i;
        return;
    }
}

PendingTemporary::~PendingTemporary() {
    if (slot_ >= 0) pendingSlots[slot_].state.store(0);
}

void removeTemporaryFilesOnSignals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(removePendingOnConsoleEvent, TRUE);
#else
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, removePendingAndDie);
#endif
}

}  // namespace sbx
