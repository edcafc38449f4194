// The crypto seam against published test vectors (RFC 1321, FIPS 180, RFC 6229): the same
// cases run on libcrypto under Linux and on CNG and the own RC4 under Windows.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "spreadsheet/crypto/crypto.h"
#include "spreadsheet/crypto/rc4_keystream.h"

namespace sbx::crypto {
namespace {

std::string hex(const Bytes& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes unhex(std::string_view text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

struct HashCase {
    HashKind kind;
    std::string_view message;
    std::string_view digest;
};

constexpr HashCase kHashCases[] = {
    {HashKind::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {HashKind::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {HashKind::Sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {HashKind::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
};

TEST(Crypto, HashesMatchPublishedDigestsWholeInPiecesAndAgain) {
    for (const HashCase& c : kHashCases) {
        SCOPED_TRACE(std::string(c.message) + " -> " + std::string(c.digest));
        Hasher hasher(c.kind);
        const Bytes message = bytesOf(c.message);
        EXPECT_EQ(hex(hasher.digestOf(message)), c.digest);
        // In two pieces, on the same hasher: finish() must have started it over.
        const std::span<const uint8_t> all(message);
        hasher.add(all.first(message.size() / 2));
        hasher.add(all.subspan(message.size() / 2));
        EXPECT_EQ(hex(hasher.finish()), c.digest);
    }
}

struct Rc4Case {
    std::string_view key;
    std::string_view keystream;  // the first 32 bytes
};

constexpr Rc4Case kRc4Cases[] = {
    {"0102030405", "b2396305f03dc027ccc3524a0a1118a86982944f18fc82d589c403a47a0d0919"},
    {"0102030405060708090a0b0c0d0e0f10", "9ac7cc9a609d1ef7b2932899cde41b975248c4959014126a6e8a84f11d1a9e1c"},
};

// Both RC4s: the seam's, and the library-free one the Windows build uses behind it.
template <class Cipher>
void expectRc4Keystreams() {
    Cipher cipher;
    for (const Rc4Case& c : kRc4Cases) {
        SCOPED_TRACE(std::string("key ") + std::string(c.key));
        cipher.rekey(unhex(c.key));
        Bytes stream(32, 0);
        // In two calls: the keystream continues.
        cipher.apply(std::span(stream).first(7));
        cipher.apply(std::span(stream).subspan(7));
        EXPECT_EQ(hex(stream), c.keystream);
    }
    // Re-keying starts the keystream over.
    cipher.rekey(unhex(kRc4Cases[0].key));
    Bytes again(32, 0);
    cipher.apply(again);
    EXPECT_EQ(hex(again), kRc4Cases[0].keystream);
}

TEST(Crypto, Rc4KeystreamsMatchRfc6229) {
    expectRc4Keystreams<Rc4>();
    expectRc4Keystreams<Rc4Keystream>();
}

TEST(Crypto, Rc4RefusesKeysOutsideOneTo256Bytes) {
    EXPECT_THROW(Rc4().rekey({}), CryptoError);
    EXPECT_THROW(Rc4Keystream().rekey(Bytes(257, 1)), std::invalid_argument);
}

}  // namespace
}  // namespace sbx::crypto
