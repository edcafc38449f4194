#include "spreadsheet/xls/biff_crypto.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "spreadsheet/crypto/crypto.h"
#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/format_error.h"

namespace sbx::xls {
namespace {

constexpr uint16_t kRecordFilePass = 0x002F;
constexpr uint16_t kRecordBoundSheet = 0x0085;
constexpr size_t kRecordHeaderSize = 4;
// BOUNDSHEET keeps its stream position (lbPlyPos) in the clear so that sheets can be found
// before decrypting.
constexpr size_t kBoundSheetClearPrefix = 4;
// RC4 is re-keyed for every block of this many bytes of stream position.
constexpr size_t kRc4BlockSize = 1024;

[[noreturn]] void throwEncrypted(const std::string& reason) {
    throw FormatError(WorkbookErrorKind::Encrypted, reason);
}

std::string hex(uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%04X", static_cast<unsigned>(value));
    return text.data();
}

// Records Excel always writes in the clear, even after FILEPASS.
bool isNeverEncrypted(uint16_t type) {
    switch (type) {
        case 0x0809:  // BOF
        case 0x002F:  // FILEPASS
        case 0x0194:  // USREXCL
        case 0x0195:  // FILELOCK
        case 0x00E1:  // INTERFACEHDR
        case 0x0196:  // RRDINFO
        case 0x0138:  // RRDHEAD
            return true;
        default:
            return false;
    }
}

// Calls decryptRange(begin, end, recordSize) for every encrypted byte range after the
// FILEPASS record. A record cut short by the end of the stream yields only the bytes that
// exist; fewer than four trailing bytes are no header and are left alone.
template <class DecryptRange>
void forEachEncryptedRange(std::span<uint8_t> stream, size_t firstRecord,
                           DecryptRange&& decryptRange) {
    size_t pos = firstRecord;
    while (pos + kRecordHeaderSize <= stream.size()) {
        const uint16_t type = loadU16(&stream[pos]);
        const uint16_t size = loadU16(&stream[pos + 2]);
        const size_t dataBegin = pos + kRecordHeaderSize;
        const size_t dataEnd = std::min(dataBegin + size, stream.size());
        if (!isNeverEncrypted(type)) {
            const size_t clear = type == kRecordBoundSheet ? kBoundSheetClearPrefix : 0;
            const size_t begin = std::min(dataBegin + clear, dataEnd);
            if (begin < dataEnd) decryptRange(begin, dataEnd, size);
        }
        pos = dataBegin + size;
    }
}

// ---------------------------------------------------------------------------------------
// The hashes of both RC4 schemes, set up once per decryption (see spreadsheet/crypto/).

using Bytes = std::vector<uint8_t>;

struct Hashes {
    crypto::Hasher md5{crypto::HashKind::Md5};
    crypto::Hasher sha1{crypto::HashKind::Sha1};
};

Bytes utf16le(std::u16string_view text) {
    Bytes out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

void appendU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// ---------------------------------------------------------------------------------------
// RC4 (MD5-based, version 1.1) and CryptoAPI RC4 (SHA-1, versions 2.2/3.2/4.2). Both derive
// a key per block number from a password hash and check the password the same way: the
// block-0 key decrypts a random verifier and its hash, which must agree.

struct Rc4Scheme {
    enum class Hash { Md5, Sha1 } hash = Hash::Md5;
    Bytes salt;
    Bytes passwordHash;  // what block keys are derived from; set once the password is known
    size_t keyBytes = 16;
    Bytes verifier;
    Bytes verifierHash;
};

crypto::Hasher& hasherOf(Hashes& hashes, Rc4Scheme::Hash hash) {
    return hash == Rc4Scheme::Hash::Md5 ? hashes.md5 : hashes.sha1;
}

Bytes blockKey(Hashes& hashes, const Rc4Scheme& scheme, uint32_t block) {
    Bytes input = scheme.passwordHash;
    appendU32(input, block);
    Bytes key = hasherOf(hashes, scheme.hash).digestOf(input);
    key.resize(scheme.keyBytes);
    // A 40-bit CryptoAPI key is used as a 128-bit key whose last 88 bits are zero.
    if (scheme.hash == Rc4Scheme::Hash::Sha1 && scheme.keyBytes == 5) key.resize(16, 0);
    return key;
}

Bytes concat(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    Bytes out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

void deriveRc4PasswordHash(Hashes& hashes, Rc4Scheme& scheme,
                           std::u16string_view password) {
    const Bytes& salt = scheme.salt;
    const Bytes pw = utf16le(password);
    if (scheme.hash == Rc4Scheme::Hash::Sha1) {
        scheme.passwordHash = hashes.sha1.digestOf(concat(salt, pw));
        return;
    }
    // Version 1.1: the first 40 bits of MD5(password), followed by the salt, 16 times over,
    // hashed again and truncated to 40 bits.
    Bytes h0 = hashes.md5.digestOf(pw);
    h0.resize(5);
    Bytes repeated;
    for (int i = 0; i < 16; ++i) {
        repeated.insert(repeated.end(), h0.begin(), h0.end());
        repeated.insert(repeated.end(), salt.begin(), salt.end());
    }
    scheme.passwordHash = hashes.md5.digestOf(repeated);
    scheme.passwordHash.resize(5);
}

bool rc4PasswordMatches(Hashes& hashes, const Rc4Scheme& scheme) {
    crypto::Rc4 rc4;
    rc4.rekey(blockKey(hashes, scheme, 0));
    Bytes verifier = scheme.verifier;
    Bytes verifierHash = scheme.verifierHash;
    rc4.apply(verifier);
    rc4.apply(verifierHash);  // continues the same keystream
    Bytes expected = hasherOf(hashes, scheme.hash).digestOf(verifier);
    expected.resize(verifierHash.size());
    return expected == verifierHash;
}

void rc4DecryptStream(Hashes& hashes, const Rc4Scheme& scheme,
                      std::span<uint8_t> stream, size_t firstRecord) {
    crypto::Rc4 rc4;
    std::array<uint8_t, kRc4BlockSize> keystream{};
    size_t currentBlock = SIZE_MAX;
    forEachEncryptedRange(stream, firstRecord, [&](size_t begin, size_t end, size_t) {
        for (size_t pos = begin; pos < end;) {
            const size_t block = pos / kRc4BlockSize;
            if (block != currentBlock) {
                rc4.rekey(blockKey(hashes, scheme, static_cast<uint32_t>(block)));
                keystream.fill(0);
                rc4.apply(keystream);
                currentBlock = block;
            }
            const size_t blockEnd = std::min(end, (block + 1) * kRc4BlockSize);
            for (; pos < blockEnd; ++pos) stream[pos] ^= keystream[pos % kRc4BlockSize];
        }
    });
}

// The encryption header of CryptoAPI RC4: checks the algorithms and returns the key length.
size_t readCryptoApiHeader(ByteReader& in) {
    in.u32();  // flags, repeated inside the header
    const uint32_t headerSize = in.u32();
    const size_t headerStart = in.position();
    constexpr uint32_t kFixedHeaderSize = 32;
    if (headerSize < kFixedHeaderSize) {
        throwCorrupt("FILEPASS encryption header is " + std::to_string(headerSize) +
                     " bytes, less than the 32 its fixed fields need");
    }
    const uint32_t flags = in.u32();
    in.u32();  // sizeExtra
    const uint32_t algId = in.u32();
    const uint32_t algIdHash = in.u32();
    uint32_t keyBits = in.u32();
    constexpr uint32_t kAlgRc4 = 0x6801;
    constexpr uint32_t kAlgSha1 = 0x8004;
    constexpr uint32_t kFlagAes = 0x20;
    // An algorithm id of zero leaves the choice to the flags.
    if ((algId != kAlgRc4 && algId != 0) || (algId == 0 && (flags & kFlagAes) != 0)) {
        throwEncrypted("CryptoAPI encryption with algorithm " + hex(algId) + " (flags " +
                       hex(flags) + ") is not RC4 and not supported");
    }
    if (algIdHash != kAlgSha1 && algIdHash != 0) {
        throwEncrypted("CryptoAPI encryption with hash algorithm " + hex(algIdHash) +
                       " instead of SHA-1 is not supported");
    }
    if (keyBits == 0) keyBits = 40;  // zero stands for the 40-bit default
    if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) {
        throwEncrypted("CryptoAPI RC4 with a " + std::to_string(keyBits) +
                       "-bit key is not supported");
    }
    in.seek(headerStart + headerSize);  // the provider name is of no use here
    return keyBits / 8;
}

Rc4Scheme readRc4Scheme(ByteReader& in) {
    const uint16_t major = in.u16();
    const uint16_t minor = in.u16();
    Rc4Scheme scheme;
    Bytes& salt = scheme.salt;
    if (major == 1 && minor == 1) {
        scheme.hash = Rc4Scheme::Hash::Md5;
        auto s = in.bytes(16);
        salt.assign(s.begin(), s.end());
        auto v = in.bytes(16);
        scheme.verifier.assign(v.begin(), v.end());
        auto h = in.bytes(16);
        scheme.verifierHash.assign(h.begin(), h.end());
    } else if (major >= 2 && major <= 4 && minor == 2) {
        scheme.hash = Rc4Scheme::Hash::Sha1;
        scheme.keyBytes = readCryptoApiHeader(in);
        const uint32_t saltSize = in.u32();
        if (saltSize != 16) {
            throwCorrupt("FILEPASS salt is " + std::to_string(saltSize) + " bytes, not 16");
        }
        auto s = in.bytes(16);
        salt.assign(s.begin(), s.end());
        auto v = in.bytes(16);
        scheme.verifier.assign(v.begin(), v.end());
        const uint32_t hashSize = in.u32();
        if (hashSize != 20) {
            throwCorrupt("FILEPASS verifier hash is " + std::to_string(hashSize) +
                         " bytes, not the 20 of SHA-1");
        }
        auto h = in.bytes(20);
        scheme.verifierHash.assign(h.begin(), h.end());
    } else {
        throwEncrypted("RC4 encryption version " + std::to_string(major) + "." +
                       std::to_string(minor) + " is not supported");
    }
    return scheme;
}

bool decryptRc4(std::span<uint8_t> stream, size_t firstRecord, ByteReader& filepass,
                std::u16string_view password) {
    Rc4Scheme scheme = readRc4Scheme(filepass);
    try {
        Hashes hashes;
        deriveRc4PasswordHash(hashes, scheme, password);
        if (!rc4PasswordMatches(hashes, scheme)) return false;
        rc4DecryptStream(hashes, scheme, stream, firstRecord);
    } catch (const crypto::CryptoError& e) {
        throwEncrypted(e.what());
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// XOR obfuscation (method 1): a 16-bit key and a 16-bit verifier made from the password, and
// a 16-byte array that every encrypted byte is XORed with.

constexpr size_t kXorMaxPassword = 15;

constexpr std::array<uint16_t, kXorMaxPassword> kXorInitialCode = {
    0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
    0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};

// Seven words per password position; row 14 belongs to the last character.
constexpr std::array<uint16_t, kXorMaxPassword * 7> kXorMatrix = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09,  //
    0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF,  //
    0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0,  //
    0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40,  //
    0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5,  //
    0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A,  //
    0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9,  //
    0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0,  //
    0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC,  //
    0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10,  //
    0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168,  //
    0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,  //
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD,  //
    0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC,  //
    0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};

// Fills the array after the password characters.
constexpr std::array<uint8_t, kXorMaxPassword> kXorPad = {
    0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

uint8_t rotateLeft(uint8_t value, unsigned bits) {
    return static_cast<uint8_t>((value << bits) | (value >> (8 - bits)));
}

// Excel hashes one byte per character: the low byte, or the high byte when the low one is 0.
Bytes xorPasswordBytes(std::u16string_view password) {
    Bytes out;
    for (char16_t c : password.substr(0, kXorMaxPassword)) {
        const auto low = static_cast<uint8_t>(c & 0xFF);
        out.push_back(low != 0 ? low : static_cast<uint8_t>(c >> 8));
    }
    return out;
}

uint16_t xorKey(const Bytes& pw) {
    uint16_t key = kXorInitialCode[pw.size() - 1];
    size_t row = kXorMaxPassword - pw.size();
    for (uint8_t c : pw) {
        for (size_t bit = 0; bit < 7; ++bit) {
            if ((c >> bit) & 1) key ^= kXorMatrix[row * 7 + bit];
        }
        ++row;
    }
    return key;
}

uint16_t xorVerifier(const Bytes& pw) {
    uint16_t verifier = 0;
    auto mix = [&verifier](uint8_t byte) {
        // A 15-bit rotation to the left, then the byte.
        verifier = static_cast<uint16_t>((((verifier >> 14) & 1) | ((verifier << 1) & 0x7FFF)) ^ byte);
    };
    for (auto it = pw.rbegin(); it != pw.rend(); ++it) mix(*it);
    mix(static_cast<uint8_t>(pw.size()));
    return static_cast<uint16_t>(verifier ^ 0xCE4B);
}

std::array<uint8_t, 16> xorArray(const Bytes& pw, uint16_t key) {
    std::array<uint8_t, 16> out{};
    std::copy(pw.begin(), pw.end(), out.begin());
    std::copy_n(kXorPad.begin(), out.size() - pw.size(), out.begin() + static_cast<ptrdiff_t>(pw.size()));
    const std::array<uint8_t, 2> keyBytes = {static_cast<uint8_t>(key & 0xFF),
                                             static_cast<uint8_t>(key >> 8)};
    for (size_t i = 0; i < out.size(); ++i) out[i] = rotateLeft(out[i] ^ keyBytes[i & 1], 2);
    return out;
}

bool decryptXor(std::span<uint8_t> stream, size_t firstRecord, ByteReader& filepass,
                std::u16string_view password) {
    const uint16_t storedKey = filepass.u16();
    const uint16_t storedVerifier = filepass.u16();
    const Bytes pw = xorPasswordBytes(password);
    if (pw.empty() || xorKey(pw) != storedKey || xorVerifier(pw) != storedVerifier) return false;
    const auto array = xorArray(pw, storedKey);
    forEachEncryptedRange(stream, firstRecord, [&](size_t begin, size_t end, size_t recordSize) {
        // The array index starts at (data offset + record size) and follows the stream.
        for (size_t pos = begin; pos < end; ++pos) {
            stream[pos] = static_cast<uint8_t>(rotateLeft(stream[pos], 3) ^ array[(pos + recordSize) & 15]);
        }
    });
    return true;
}

}  // namespace

bool decryptWorkbookStream(std::vector<uint8_t>& stream, size_t filepassPos, BiffVersion version,
                           std::u16string_view password) {
    if (filepassPos > stream.size() || stream.size() - filepassPos < kRecordHeaderSize) {
        throwTruncated("the stream ends before the FILEPASS record header at offset " +
                       std::to_string(filepassPos));
    }
    const uint16_t type = loadU16(&stream[filepassPos]);
    if (type != kRecordFilePass) {
        throwCorrupt("record at offset " + std::to_string(filepassPos) + " is " + hex(type) +
                     ", not FILEPASS");
    }
    const size_t size = loadU16(&stream[filepassPos + 2]);
    const size_t dataBegin = filepassPos + kRecordHeaderSize;
    if (stream.size() - dataBegin < size) {
        throwTruncated("the stream ends inside the FILEPASS record (" + std::to_string(size) +
                       " bytes declared, " + std::to_string(stream.size() - dataBegin) + " present)");
    }
    const std::span<uint8_t> all(stream);
    ByteReader filepass(all.subspan(dataBegin, size), "FILEPASS record");
    const size_t firstRecord = dataBegin + size;

    if (version == BiffVersion::Biff5) return decryptXor(all, firstRecord, filepass, password);

    const uint16_t encryptionType = filepass.u16();
    switch (encryptionType) {
        case 0: return decryptXor(all, firstRecord, filepass, password);
        case 1: return decryptRc4(all, firstRecord, filepass, password);
        default:
            throwEncrypted("FILEPASS names encryption type " + std::to_string(encryptionType) +
                           ", which is neither XOR obfuscation (0) nor RC4 (1)");
    }
}

}  // namespace sbx::xls
