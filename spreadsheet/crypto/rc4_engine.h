#pragma once
// The platform's RC4 behind crypto::Rc4 (crypto.h), which checks the key's length before it
// hands the key on: libcrypto's on Linux (crypto_libcrypto.cpp), the library-free
// Rc4Keystream on Windows (crypto_cng.cpp).
#include <cstdint>
#include <memory>
#include <span>

namespace sbx::crypto {

class Rc4Engine {
public:
    virtual ~Rc4Engine() = default;
    // Keys of 1 to 256 bytes; the keystream starts again from its beginning.
    virtual void rekey(std::span<const uint8_t> key) = 0;
    virtual void apply(std::span<uint8_t> data) = 0;
};

// Defined once per platform.
std::unique_ptr<Rc4Engine> makePlatformRc4();

}  // namespace sbx::crypto
