// The crypto seam on Linux: OpenSSL 3's libcrypto.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <array>
#include <string>

#include "spreadsheet/crypto/crypto.h"
#include "spreadsheet/crypto/rc4_engine.h"

namespace sbx::crypto {
namespace {

std::string lastOpensslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "no detail from libcrypto";
    std::array<char, 256> text{};
    ERR_error_string_n(code, text.data(), text.size());
    return text.data();
}

const char* nameOf(HashKind kind) {
    switch (kind) {
        case HashKind::Md5: return "MD5";
        case HashKind::Sha1: return "SHA1";
        case HashKind::Sha256: return "SHA256";
    }
    return "?";
}

struct LibCtxFree {
    void operator()(OSSL_LIB_CTX* p) const { OSSL_LIB_CTX_free(p); }
};
struct ProviderUnload {
    void operator()(OSSL_PROVIDER* p) const { OSSL_PROVIDER_unload(p); }
};
struct MdFree {
    void operator()(EVP_MD* p) const { EVP_MD_free(p); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct CipherFree {
    void operator()(EVP_CIPHER* p) const { EVP_CIPHER_free(p); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
};

}  // namespace

struct Hasher::State {
    const char* name;
    std::unique_ptr<EVP_MD, MdFree> md;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx{EVP_MD_CTX_new()};

    explicit State(HashKind kind) : name(nameOf(kind)), md(EVP_MD_fetch(nullptr, name, nullptr)) {
        if (!md || !ctx) throw CryptoError(std::string("libcrypto lacks ") + name + ": " + lastOpensslError());
        start();
    }
    void start() {
        if (EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr) != 1) {
            throw CryptoError(std::string("cannot start ") + name + ": " + lastOpensslError());
        }
    }
};

Hasher::Hasher(HashKind kind) : state_(std::make_unique<State>(kind)) {}
Hasher::~Hasher() = default;
Hasher::Hasher(Hasher&&) noexcept = default;
Hasher& Hasher::operator=(Hasher&&) noexcept = default;

void Hasher::add(std::span<const uint8_t> data) {
    if (EVP_DigestUpdate(state_->ctx.get(), data.data(), data.size()) != 1) {
        throw CryptoError(std::string(state_->name) + " failed: " + lastOpensslError());
    }
}

Bytes Hasher::finish() {
    Bytes out(static_cast<size_t>(EVP_MD_get_size(state_->md.get())));
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->ctx.get(), out.data(), &length) != 1) {
        throw CryptoError(std::string(state_->name) + " failed: " + lastOpensslError());
    }
    out.resize(length);
    state_->start();
    return out;
}

// RC4 lives in OpenSSL 3's legacy provider; it is loaded into a library context of its own,
// so the process-wide configuration is untouched.
class LibcryptoRc4 final : public Rc4Engine {
public:
    LibcryptoRc4() {
        if (!libCtx_ || !ctx_) throw CryptoError("cannot set up libcrypto: " + lastOpensslError());
        defaultProvider_.reset(OSSL_PROVIDER_load(libCtx_.get(), "default"));
        legacyProvider_.reset(OSSL_PROVIDER_load(libCtx_.get(), "legacy"));
        if (!defaultProvider_ || !legacyProvider_) {
            throw CryptoError("RC4 decryption needs OpenSSL's default and legacy providers, which "
                              "could not be loaded: " + lastOpensslError());
        }
        cipher_.reset(EVP_CIPHER_fetch(libCtx_.get(), "RC4", nullptr));
        if (!cipher_) throw CryptoError("libcrypto lacks RC4: " + lastOpensslError());
    }

    void rekey(std::span<const uint8_t> key) override {
        EVP_CIPHER_CTX* ctx = ctx_.get();
        // The key length must be set before the key itself: CryptoAPI keys need not be 128 bits.
        if (EVP_DecryptInit_ex2(ctx, cipher_.get(), nullptr, nullptr, nullptr) != 1 ||
            EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) != 1 ||
            EVP_DecryptInit_ex2(ctx, nullptr, key.data(), nullptr, nullptr) != 1) {
            throw CryptoError("cannot key RC4 with " + std::to_string(key.size() * 8) +
                              " bits: " + lastOpensslError());
        }
    }

    void apply(std::span<uint8_t> data) override {
        int written = 0;
        if (!data.empty() && (EVP_DecryptUpdate(ctx_.get(), data.data(), &written, data.data(),
                                                static_cast<int>(data.size())) != 1 ||
                              static_cast<size_t>(written) != data.size())) {
            throw CryptoError("RC4 failed: " + lastOpensslError());
        }
    }

private:
    // Declared in the order they must be released in reverse.
    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> libCtx_{OSSL_LIB_CTX_new()};
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> defaultProvider_;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> legacyProvider_;
    std::unique_ptr<EVP_CIPHER, CipherFree> cipher_;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx_{EVP_CIPHER_CTX_new()};
};

std::unique_ptr<Rc4Engine> makePlatformRc4() { return std::make_unique<LibcryptoRc4>(); }

}  // namespace sbx::crypto
