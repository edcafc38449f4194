#pragma once
// Hashes and the RC4 stream cipher, from the platform's own library: libcrypto on Linux
// (crypto_libcrypto.cpp), CNG (bcrypt) on Windows (crypto_cng.cpp). Failures throw CryptoError
// naming the algorithm and the library's reason.
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace sbx::crypto {

class Rc4Engine;

using Bytes = std::vector<uint8_t>;

class CryptoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class HashKind { Md5, Sha1, Sha256 };

// An incremental hash; finish() returns the digest and starts over, so that one hasher serves
// many short messages without setting the algorithm up again.
class Hasher {
public:
    explicit Hasher(HashKind kind);
    ~Hasher();
    Hasher(Hasher&&) noexcept;
    Hasher& operator=(Hasher&&) noexcept;

    void add(std::span<const uint8_t> data);
    Bytes finish();
    // add() and finish() in one.
    Bytes digestOf(std::span<const uint8_t> data) {
        add(data);
        return finish();
    }

private:
    struct State;
    std::unique_ptr<State> state_;
};

// An RC4 stream cipher that can be re-keyed; XORs its keystream onto data in place.
class Rc4 {
public:
    Rc4();
    ~Rc4();
    Rc4(Rc4&&) noexcept;
    Rc4& operator=(Rc4&&) noexcept;

    // Keys of 1 to 256 bytes; the keystream starts again from its beginning.
    void rekey(std::span<const uint8_t> key);
    // Continues the keystream of the last key.
    void apply(std::span<uint8_t> data);

private:
    std::unique_ptr<Rc4Engine> engine_;  // the platform's (rc4_engine.h)
};

}  // namespace sbx::crypto
