// The crypto seam on Windows: hashes from CNG (bcrypt.dll, part of Windows, kept up to date
// by it), RC4 from rc4_keystream.cpp (see there why).
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "spreadsheet/crypto/crypto.h"
#include "spreadsheet/crypto/rc4_engine.h"
#include "spreadsheet/crypto/rc4_keystream.h"

namespace sbx::crypto {
namespace {

const wchar_t* algorithmOf(HashKind kind) {
    switch (kind) {
        case HashKind::Md5: return BCRYPT_MD5_ALGORITHM;
        case HashKind::Sha1: return BCRYPT_SHA1_ALGORITHM;
        case HashKind::Sha256: return BCRYPT_SHA256_ALGORITHM;
    }
    return L"?";
}

const char* nameOf(HashKind kind) {
    switch (kind) {
        case HashKind::Md5: return "MD5";
        case HashKind::Sha1: return "SHA-1";
        case HashKind::Sha256: return "SHA-256";
    }
    return "?";
}

[[noreturn]] void throwFailed(const char* name, const char* step, NTSTATUS status) {
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "0x%08lX", static_cast<unsigned long>(status));
    throw CryptoError(std::string("CNG ") + step + " for " + name + " failed with status " + code.data());
}

}  // namespace

struct Hasher::State {
    const char* name;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ULONG length = 0;

    explicit State(HashKind kind) : name(nameOf(kind)) {
        NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, algorithmOf(kind), nullptr, 0);
        if (!BCRYPT_SUCCESS(status)) throwFailed(name, "BCryptOpenAlgorithmProvider", status);
        ULONG written = 0;
        status = BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                   sizeof length, &written, 0);
        // The object buffer is left to CNG (null, size 0); a reusable hash starts over after
        // each BCryptFinishHash.
        if (BCRYPT_SUCCESS(status)) {
            status = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG);
        }
        if (!BCRYPT_SUCCESS(status)) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
            throwFailed(name, "BCryptCreateHash", status);
        }
    }
    ~State() {
        BCryptDestroyHash(hash);
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

Hasher::Hasher(HashKind kind) : state_(std::make_unique<State>(kind)) {}
Hasher::~Hasher() = default;
Hasher::Hasher(Hasher&&) noexcept = default;
Hasher& Hasher::operator=(Hasher&&) noexcept = default;

void Hasher::add(std::span<const uint8_t> data) {
    // BCryptHashData takes at most 4 GiB at a time.
    constexpr size_t kMaxChunk = 1u << 30;
    while (!data.empty()) {
        const auto chunk = data.first(std::min(data.size(), kMaxChunk));
        const NTSTATUS status = BCryptHashData(state_->hash, const_cast<PUCHAR>(chunk.data()),
                                               static_cast<ULONG>(chunk.size()), 0);
        if (!BCRYPT_SUCCESS(status)) throwFailed(state_->name, "BCryptHashData", status);
        data = data.subspan(chunk.size());
    }
}

Bytes Hasher::finish() {
    Bytes out(state_->length);
    const NTSTATUS status = BCryptFinishHash(state_->hash, out.data(), state_->length, 0);
    if (!BCRYPT_SUCCESS(status)) throwFailed(state_->name, "BCryptFinishHash", status);
    return out;
}

std::unique_ptr<Rc4Engine> makePlatformRc4() { return std::make_unique<Rc4Keystream>(); }

}  // namespace sbx::crypto
