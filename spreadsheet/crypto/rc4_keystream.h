#pragma once
// RC4 on its own, without a library: Windows' CNG has RC4, but Wine (where the Windows build
// is tested) does not, so the Windows build uses this one. Not for keeping secrets: it decrypts
// workbooks encrypted with Excel's published default password.
#include <array>
#include <cstdint>
#include <span>

#include "spreadsheet/crypto/rc4_engine.h"

namespace sbx::crypto {

class Rc4Keystream final : public Rc4Engine {
public:
    // Keys of 1 to 256 bytes (throws std::invalid_argument otherwise).
    void rekey(std::span<const uint8_t> key) override;
    void apply(std::span<uint8_t> data) override;

private:
    std::array<uint8_t, 256> state_{};
    uint8_t i_ = 0;
    uint8_t j_ = 0;
};

}  // namespace sbx::crypto
