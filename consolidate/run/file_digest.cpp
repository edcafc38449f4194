#include "consolidate/run/file_digest.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "spreadsheet/crypto/crypto.h"
#include "spreadsheet/path_hash.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

struct DigestContext {
    crypto::Hasher hasher{crypto::HashKind::Sha256};
    void add(const void* data, size_t size) { hasher.add({static_cast<const uint8_t*>(data), size}); }
    std::string hex() {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text;
        for (const uint8_t byte : hasher.finish()) {
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
        return text;
    }
};

}  // namespace

std::string sha256Of(std::string_view bytes) {
    DigestContext digest;
    digest.add(bytes.data(), bytes.size());
    return digest.hex();
}

std::string sha256Of(std::span<const uint8_t> bytes) {
    return sha256Of(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string sha256OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int error = errno;
        std::error_code ec;
        const bool exists = std::filesystem::exists(file, ec);
        throw WorkbookError(exists ? WorkbookErrorKind::Unreadable : WorkbookErrorKind::FileNotFound, file,
                            exists ? "the file cannot be read: " + std::string(std::strerror(error))
                                   : "the file does not exist",
                            error);
    }
    DigestContext digest;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        digest.add(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) throw WorkbookError(WorkbookErrorKind::Unreadable, file, "reading the file failed part-way");
    return digest.hex();
}

Fingerprint fingerprintOf(std::span<const uint8_t> bytes) {
    Fingerprint f{0x243f6a8885a308d3ull, 0x13198a2e03707344ull, bytes.size()};
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        // Each step is one-to-one in the lane and in the word.
        f.a = (f.a ^ w) * 0x9e3779b97f4a7c15ull;
        f.b = ((f.b + w) * 0xff51afd7ed558ccdull) ^ (f.b >> 29);
    }
    uint64_t last = 0;
    if (i < bytes.size()) std::memcpy(&last, bytes.data() + i, bytes.size() - i);
    f.a = (f.a ^ last) * 0x9e3779b97f4a7c15ull;
    f.b = ((f.b + last) * 0xff51afd7ed558ccdull) ^ (f.b >> 29);
    return f;
}

struct BackgroundDigests::State {
    // The worker is woken for a batch of files, not for each (a wake-up costs about what
    // hashing a small report does), or when a digest is asked for.
    static constexpr size_t kBatch = 8;
    static constexpr size_t kBatchBytes = 4u << 20;

    std::mutex mutex;
    std::condition_variable changed;
    struct Given {
        std::filesystem::path file;
        FileBytes bytes;
        bool fingerprint;
    };
    std::deque<Given> waiting;
    size_t waitingBytes = 0;
    int asked = 0;  // callers of digestOf waiting
    std::unordered_set<std::filesystem::path, PathHash> given;
    struct Done {
        std::string digest;
        std::optional<Fingerprint> fingerprint;
    };
    std::unordered_map<std::filesystem::path, Done, PathHash> done;
    bool ending = false;
    std::thread worker;

    // What was worked out for `file`, waiting for it; null when no bytes of it were given.
    const Done* waitFor(const std::filesystem::path& file) {
        std::unique_lock lock(mutex);
        if (!given.contains(file)) return nullptr;
        if (!done.contains(file)) {
            ++asked;
            changed.notify_all();
            changed.wait(lock, [&] { return done.contains(file); });
            --asked;
        }
        // Entries are never removed, and a map's entries stay where they are: valid after the lock.
        return &done.find(file)->second;
    }

    bool batchReady() const { return waiting.size() >= kBatch || waitingBytes >= kBatchBytes || (asked > 0 && !waiting.empty()); }

    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return ending || batchReady(); });
            if (waiting.empty()) return;
            std::deque<Given> taken;
            taken.swap(waiting);
            waitingBytes = 0;
            lock.unlock();
            std::vector<Done> digests;
            for (auto& [file, bytes, fingerprint] : taken) {
                Done d;
                try {
                    d.digest = sha256Of(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
                    if (fingerprint) d.fingerprint = sbx::fingerprintOf(*bytes);
                } catch (const std::bad_alloc&) {
                    // No digest then: the record says so by an empty one, as for a file it cannot read.
                }
                bytes.reset();  // the engine may be done with them; they go as soon as both are
                digests.push_back(std::move(d));
            }
            lock.lock();
            for (size_t i = 0; i < taken.size(); ++i) done.try_emplace(std::move(taken[i].file), std::move(digests[i]));
            if (asked > 0) changed.notify_all();
        }
    }
};

BackgroundDigests::BackgroundDigests() : state_(std::make_unique<State>()) {
    state_->worker = std::thread([s = state_.get()] { s->work(); });
}

BackgroundDigests::~BackgroundDigests() {
    {
        std::lock_guard lock(state_->mutex);
        state_->ending = true;
        state_->waiting.clear();
    }
    state_->changed.notify_all();
    state_->worker.join();
}

bool BackgroundDigests::add(const std::filesystem::path& file, FileBytes bytes, bool fingerprint) {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->given.insert(file).second) return false;
        state_->waitingBytes += bytes->size();
        state_->waiting.push_back({file, std::move(bytes), fingerprint});
        if (!state_->batchReady()) return true;
    }
    state_->changed.notify_all();
    return true;
}

std::string BackgroundDigests::digestOf(const std::filesystem::path& file) {
    const State::Done* d = state_->waitFor(file);
    return d ? d->digest : std::string();
}

std::optional<Fingerprint> BackgroundDigests::fingerprintOf(const std::filesystem::path& file) {
    const State::Done* d = state_->waitFor(file);
    return d ? d->fingerprint : std::nullopt;
}

}  // namespace sbx
