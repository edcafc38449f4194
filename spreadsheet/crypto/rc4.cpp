// crypto::Rc4 on every platform: the key check here, the cipher from the platform's engine.
#include <string>

#include "spreadsheet/crypto/crypto.h"
#include "spreadsheet/crypto/rc4_engine.h"

namespace sbx::crypto {

Rc4::Rc4() : engine_(makePlatformRc4()) {}
Rc4::~Rc4() = default;
Rc4::Rc4(Rc4&&) noexcept = default;
Rc4& Rc4::operator=(Rc4&&) noexcept = default;

void Rc4::rekey(std::span<const uint8_t> key) {
    if (key.empty() || key.size() > 256) {
        throw CryptoError("cannot key RC4 with " + std::to_string(key.size() * 8) + " bits");
    }
    engine_->rekey(key);
}

void Rc4::apply(std::span<uint8_t> data) { engine_->apply(data); }

}  // namespace sbx::crypto
