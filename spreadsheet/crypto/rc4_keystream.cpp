#include "spreadsheet/crypto/rc4_keystream.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace sbx::crypto {

void Rc4Keystream::rekey(std::span<const uint8_t> key) {
    if (key.empty() || key.size() > state_.size()) {
        throw std::invalid_argument("an RC4 key has 1 to 256 bytes, not " + std::to_string(key.size()));
    }
    for (size_t n = 0; n < state_.size(); ++n) state_[n] = static_cast<uint8_t>(n);
    uint8_t j = 0;
    for (size_t n = 0; n < state_.size(); ++n) {
        j = static_cast<uint8_t>(j + state_[n] + key[n % key.size()]);
        std::swap(state_[n], state_[j]);
    }
    i_ = 0;
    j_ = 0;
}

void Rc4Keystream::apply(std::span<uint8_t> data) {
    for (uint8_t& byte : data) {
        i_ = static_cast<uint8_t>(i_ + 1);
        j_ = static_cast<uint8_t>(j_ + state_[i_]);
        std::swap(state_[i_], state_[j_]);
        byte ^= state_[static_cast<uint8_t>(state_[i_] + state_[j_])];
    }
}

}  // namespace sbx::crypto
