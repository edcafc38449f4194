// Decryption of encrypted workbook streams, checked against the fixtures' decryption by
// msoffcrypto-tool (tests/data/crypto/make_expected.py writes the expectations).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "spreadsheet/xls/biff_crypto.h"
#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/compound_file.h"
#include "spreadsheet/xls/format_error.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/shared_fixtures.h"

namespace sbx::xls {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kBoundSheet = 0x0085;

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes workbookStream(const std::string& fixture) {
    const Bytes file = readFile(std::filesystem::path(SBX_SHARED_FIXTURES) / fixture);
    const CompoundFile cfb = CompoundFile::parse(file);
    const CfbNode* workbook = cfb.root().child(u"Workbook");
    if (workbook == nullptr || !workbook->isStream()) throw std::runtime_error(fixture + ": no Workbook");
    return workbook->data;
}

std::string sha256(const uint8_t* data, size_t size) {
    return sbx::testing::sha256Hex({reinterpret_cast<const char*>(data), size});
}

struct Record {
    size_t pos;
    uint16_t type;
    uint16_t size;
};

// Walks the record headers; the last record may run past the end of a cut stream.
std::vector<Record> records(const Bytes& stream) {
    std::vector<Record> out;
    for (size_t pos = 0; pos + 4 <= stream.size();) {
        out.push_back({pos, loadU16(&stream[pos]), loadU16(&stream[pos + 2])});
        pos += 4 + out.back().size;
    }
    return out;
}

size_t filepassPosition(const Bytes& stream) {
    for (const Record& r : records(stream)) {
        if (r.type == kFilePass) return r.pos;
    }
    throw std::runtime_error("no FILEPASS record");
}

struct Expected {
    std::string fixture;
    std::u16string password;
    size_t filepassPos = 0;
    size_t filepassEnd = 0;
    size_t streamSize = 0;
    std::vector<std::pair<size_t, std::string>> blockHashes;
};

std::vector<Expected> loadExpectations() {
    std::ifstream in(std::filesystem::path(SBX_TEST_DATA) / "crypto" / "expected.txt");
    std::vector<Expected> out;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "fixture") {
            Expected e;
            std::string password;
            fields >> e.fixture >> password >> e.filepassPos >> e.filepassEnd >> e.streamSize;
            e.password.assign(password.begin(), password.end());  // ASCII passwords
            out.push_back(e);
        } else if (kind == "block" && !out.empty()) {
            size_t block = 0;
            std::string hash;
            fields >> block >> hash;
            out.back().blockHashes.emplace_back(block, hash);
        }
    }
    return out;
}

const std::vector<Expected>& expectations() {
    static const std::vector<Expected> all = loadExpectations();
    return all;
}

const Expected& expectationFor(const std::string& fixture) {
    for (const Expected& e : expectations()) {
        if (e.fixture == fixture) return e;
    }
    throw std::runtime_error("no expectation for " + fixture);
}

// Hashes of the decrypted stream laid out as make_expected.py does.
std::vector<std::pair<size_t, std::string>> blockHashes(const Bytes& stream, size_t start) {
    std::vector<std::pair<size_t, std::string>> out;
    for (size_t block = start / 1024; block * 1024 < stream.size(); ++block) {
        const size_t lo = std::max(block * 1024, start);
        const size_t hi = std::min((block + 1) * 1024, stream.size());
        out.emplace_back(block, sha256(stream.data() + lo, hi - lo));
    }
    return out;
}

// ---------------------------------------------------------------------------------------

class FixtureDecryption : public ::testing::TestWithParam<std::string> {};

TEST_P(FixtureDecryption, MatchesReferenceBlockByBlockAndKeepsClearBytes) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const Expected& e = expectationFor(GetParam());
    Bytes stream = workbookStream(e.fixture);
    ASSERT_EQ(stream.size(), e.streamSize);
    ASSERT_EQ(filepassPosition(stream), e.filepassPos);
    const Bytes original = stream;

    ASSERT_TRUE(decryptWorkbookStream(stream, e.filepassPos, BiffVersion::Biff8, e.password));

    EXPECT_EQ(blockHashes(stream, e.filepassEnd), e.blockHashes);
    // BOF and FILEPASS stay as they were, and so does every record header.
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + static_cast<ptrdiff_t>(e.filepassEnd),
                           stream.begin()));
    for (const Record& r : records(original)) {
        EXPECT_EQ(loadU32(&stream[r.pos]), loadU32(&original[r.pos])) << "header at " << r.pos;
    }
}

// The decrypted stream must hold up on its own: every sheet position in BOUNDSHEET leads to
// a BOF, whose record type is in the clear but whose body (version, sheet type) was
// encrypted in none of the files.
TEST_P(FixtureDecryption, SheetPositionsLeadToWorksheetBofs) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const Expected& e = expectationFor(GetParam());
    Bytes stream = workbookStream(e.fixture);
    ASSERT_TRUE(decryptWorkbookStream(stream, e.filepassPos, BiffVersion::Biff8, e.password));
    size_t sheets = 0;
    for (const Record& r : records(stream)) {
        if (r.type != kBoundSheet) continue;
        ++sheets;
        const uint32_t sheetPos = loadU32(&stream[r.pos + 4]);
        ASSERT_LE(sheetPos + 8u, stream.size());
        EXPECT_EQ(loadU16(&stream[sheetPos]), kBof);
        EXPECT_EQ(loadU16(&stream[sheetPos + 4]), 0x0600);  // BIFF8
        // The sheet name: an ASCII name stored as 8-bit or UTF-16 must not decode as noise.
        const uint8_t nameLength = stream[r.pos + 4 + 6];
        EXPECT_GT(nameLength, 0);
        EXPECT_LT(nameLength, 32);
    }
    EXPECT_GT(sheets, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AllEncryptedFixtures, FixtureDecryption,
    ::testing::Values("encrypted_rc4_default_password_excel2003.xls",
                      "encrypted_rc4_cryptoapi_default_password_excel2016.xls",
                      "encrypted_rc4_cryptoapi_password_11.xls",
                      "encrypted_rc4_password_password.xls", "encrypted_xor_password_abc.xls"),
    [](const ::testing::TestParamInfo<std::string>& param) {
        return param.param.substr(0, param.param.find('.'));
    });

TEST(BiffCryptoPassword, WrongPasswordsReturnFalseAndLeaveTheStreamAlone) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const std::vector<std::pair<std::string, std::u16string>> cases = {
        {"encrypted_rc4_default_password_excel2003.xls", u"velvetsweatshop"},
        {"encrypted_rc4_default_password_excel2003.xls", u""},
        {"encrypted_rc4_cryptoapi_default_password_excel2016.xls", u"VelvetSweatshop "},
        {"encrypted_rc4_cryptoapi_password_11.xls", kDefaultWritePassword.data()},
        {"encrypted_rc4_cryptoapi_password_11.xls", u"12"},
        {"encrypted_rc4_password_password.xls", kDefaultWritePassword.data()},
        {"encrypted_rc4_password_password.xls", u"Password"},
        {"encrypted_xor_password_abc.xls", kDefaultWritePassword.data()},
        {"encrypted_xor_password_abc.xls", u"abd"},
        {"encrypted_xor_password_abc.xls", u""},
    };
    for (const auto& [fixture, password] : cases) {
        SCOPED_TRACE(fixture);
        Bytes stream = workbookStream(fixture);
        const Bytes original = stream;
        EXPECT_FALSE(decryptWorkbookStream(stream, filepassPosition(stream), BiffVersion::Biff8,
                                           password));
        EXPECT_EQ(stream, original);
    }
}

// XOR obfuscation hashes one byte per character: the low byte, or the high byte where the
// low byte is zero.
TEST(BiffCryptoPassword, XorPasswordUsesHighByteWhenLowByteIsZero) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    Bytes stream = workbookStream("encrypted_xor_password_abc.xls");
    const std::u16string shifted = {u'\u6100', u'\u6200', u'\u6300'};  // high bytes 'a' 'b' 'c'
    EXPECT_TRUE(decryptWorkbookStream(stream, filepassPosition(stream), BiffVersion::Biff8, shifted));
}

// ---------------------------------------------------------------------------------------
// Malformed FILEPASS records, built from the real ones.

Bytes streamWithFilepass(const Bytes& filepassBody) {
    Bytes s = {0x09, 0x08, 0x10, 0x00};
    s.resize(20, 0);  // a BOF with a zero body is enough here
    s.push_back(0x2F);
    s.push_back(0x00);
    s.push_back(static_cast<uint8_t>(filepassBody.size() & 0xFF));
    s.push_back(static_cast<uint8_t>(filepassBody.size() >> 8));
    s.insert(s.end(), filepassBody.begin(), filepassBody.end());
    const Bytes eof = {0x0A, 0x00, 0x00, 0x00};
    s.insert(s.end(), eof.begin(), eof.end());
    return s;
}

Bytes filepassBodyOf(const std::string& fixture) {
    const Bytes stream = workbookStream(fixture);
    const size_t pos = filepassPosition(stream);
    const size_t size = loadU16(&stream[pos + 2]);
    return Bytes(stream.begin() + static_cast<ptrdiff_t>(pos + 4),
                 stream.begin() + static_cast<ptrdiff_t>(pos + 4 + size));
}

WorkbookErrorKind errorKindOf(Bytes stream, BiffVersion version = BiffVersion::Biff8,
                              size_t filepassPos = 20) {
    try {
        decryptWorkbookStream(stream, filepassPos, version, u"password");
    } catch (const FormatError& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
        return error.kind();
    }
    ADD_FAILURE() << "no FormatError thrown";
    return WorkbookErrorKind::FileNotFound;
}

TEST(BiffCryptoFilepass, TooShortRecordsAreCorrupt) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const Bytes rc4 = filepassBodyOf("encrypted_rc4_password_password.xls");
    const Bytes cryptoApi = filepassBodyOf("encrypted_rc4_cryptoapi_password_11.xls");
    const Bytes xorBody = filepassBodyOf("encrypted_xor_password_abc.xls");
    for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, size_t{21}, rc4.size() - 1}) {
        SCOPED_TRACE("RC4 cut to " + std::to_string(cut));
        EXPECT_EQ(errorKindOf(streamWithFilepass(Bytes(rc4.begin(), rc4.begin() + static_cast<ptrdiff_t>(cut)))),
                  WorkbookErrorKind::Corrupt);
    }
    for (size_t cut : {size_t{10}, size_t{40}, size_t{150}, cryptoApi.size() - 1}) {
        SCOPED_TRACE("CryptoAPI cut to " + std::to_string(cut));
        EXPECT_EQ(errorKindOf(streamWithFilepass(
                      Bytes(cryptoApi.begin(), cryptoApi.begin() + static_cast<ptrdiff_t>(cut)))),
                  WorkbookErrorKind::Corrupt);
    }
    EXPECT_EQ(errorKindOf(streamWithFilepass(Bytes(xorBody.begin(), xorBody.begin() + 4))),
              WorkbookErrorKind::Corrupt);
    EXPECT_EQ(errorKindOf(streamWithFilepass({0x4A, 0x51}), BiffVersion::Biff5),
              WorkbookErrorKind::Corrupt);

    // An encryption header that claims to be longer than the record holding it.
    Bytes lying = cryptoApi;
    storeU32(&lying[10], 0x1000);
    EXPECT_EQ(errorKindOf(streamWithFilepass(lying)), WorkbookErrorKind::Corrupt);
}

TEST(BiffCryptoFilepass, UnknownEncryptionsAreReportedAsEncrypted) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const Bytes rc4 = filepassBodyOf("encrypted_rc4_password_password.xls");
    const Bytes cryptoApi = filepassBodyOf("encrypted_rc4_cryptoapi_password_11.xls");

    Bytes unknownType = rc4;
    storeU16(&unknownType[0], 2);
    EXPECT_EQ(errorKindOf(streamWithFilepass(unknownType)), WorkbookErrorKind::Encrypted);

    Bytes agile = rc4;  // version 4.4 is the XML-described encryption of newer formats
    storeU16(&agile[2], 4);
    storeU16(&agile[4], 4);
    EXPECT_EQ(errorKindOf(streamWithFilepass(agile)), WorkbookErrorKind::Encrypted);

    Bytes aes = cryptoApi;  // algorithm id at 2 + 4 + 8 + 8
    storeU32(&aes[22], 0x660E);
    EXPECT_EQ(errorKindOf(streamWithFilepass(aes)), WorkbookErrorKind::Encrypted);

    Bytes aesByFlags = cryptoApi;  // no algorithm id, and the AES flag set
    storeU32(&aesByFlags[22], 0);
    storeU32(&aesByFlags[14], loadU32(&aesByFlags[14]) | 0x20);
    EXPECT_EQ(errorKindOf(streamWithFilepass(aesByFlags)), WorkbookErrorKind::Encrypted);

    Bytes md5Hash = cryptoApi;
    storeU32(&md5Hash[26], 0x8003);
    EXPECT_EQ(errorKindOf(streamWithFilepass(md5Hash)), WorkbookErrorKind::Encrypted);

    Bytes oddKey = cryptoApi;
    storeU32(&oddKey[30], 44);
    EXPECT_EQ(errorKindOf(streamWithFilepass(oddKey)), WorkbookErrorKind::Encrypted);
}

TEST(BiffCryptoFilepass, MisplacedOrCutFilepassRecord) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const Bytes rc4 = filepassBodyOf("encrypted_rc4_password_password.xls");
    const Bytes whole = streamWithFilepass(rc4);
    // Position of the BOF instead of FILEPASS.
    EXPECT_EQ(errorKindOf(whole, BiffVersion::Biff8, 0), WorkbookErrorKind::Corrupt);
    // Header beyond the stream, or the stream ending inside the FILEPASS body.
    EXPECT_EQ(errorKindOf(whole, BiffVersion::Biff8, whole.size() - 2), WorkbookErrorKind::Truncated);
    EXPECT_EQ(errorKindOf(whole, BiffVersion::Biff8, whole.size() + 10), WorkbookErrorKind::Truncated);
    EXPECT_EQ(errorKindOf(Bytes(whole.begin(), whole.begin() + 40)), WorkbookErrorKind::Truncated);
}

// A record retyped to one that is always stored in the clear keeps its body as it is, while
// the records after it still decrypt as before: the keystream follows the stream position,
// not the number of bytes decrypted.
TEST(BiffCryptoClearRecords, NeverEncryptedTypesAreSkippedWithoutShiftingTheKeystream) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const std::string fixture : {"encrypted_rc4_password_password.xls",
                                      "encrypted_rc4_cryptoapi_password_11.xls",
                                      "encrypted_xor_password_abc.xls"}) {
        const Expected& e = expectationFor(fixture);
        const Bytes encrypted = workbookStream(fixture);
        Bytes normal = encrypted;
        ASSERT_TRUE(decryptWorkbookStream(normal, e.filepassPos, BiffVersion::Biff8, e.password));

        // The third record after FILEPASS with a body of its own.
        std::vector<Record> candidates;
        for (const Record& r : records(encrypted)) {
            if (r.pos >= e.filepassEnd && r.size >= 2 && r.type != kBoundSheet) candidates.push_back(r);
        }
        ASSERT_GE(candidates.size(), 3u);
        const Record target = candidates[2];
        const auto body = static_cast<ptrdiff_t>(target.pos + 4);

        for (uint16_t clearType : {uint16_t{0x0809}, uint16_t{0x0194}, uint16_t{0x0195},
                                   uint16_t{0x00E1}, uint16_t{0x0196}, uint16_t{0x0138}}) {
            SCOPED_TRACE(fixture + " retyped to " + std::to_string(clearType));
            Bytes stream = encrypted;
            storeU16(&stream[target.pos], clearType);
            ASSERT_TRUE(decryptWorkbookStream(stream, e.filepassPos, BiffVersion::Biff8, e.password));
            EXPECT_TRUE(std::equal(stream.begin() + body, stream.begin() + body + target.size,
                                   encrypted.begin() + body));
            EXPECT_TRUE(std::equal(stream.begin() + body + target.size, stream.end(),
                                   normal.begin() + body + target.size));
            EXPECT_TRUE(std::equal(stream.begin() + static_cast<ptrdiff_t>(e.filepassEnd),
                                   stream.begin() + body - 4,
                                   normal.begin() + static_cast<ptrdiff_t>(e.filepassEnd)));
        }
    }
}

// ---------------------------------------------------------------------------------------

// Decrypting a stream cut anywhere must give a prefix of the full decryption: nothing is read
// or written beyond the end, and the keystream position still follows the stream offset.
TEST(BiffCryptoTruncation, CutStreamsDecryptToPrefixOfWholeStream) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const std::string fixture : {"encrypted_rc4_default_password_excel2003.xls",
                                      "encrypted_rc4_cryptoapi_password_11.xls",
                                      "encrypted_xor_password_abc.xls"}) {
        SCOPED_TRACE(fixture);
        const Expected& e = expectationFor(fixture);
        const Bytes encrypted = workbookStream(fixture);
        Bytes whole = encrypted;
        ASSERT_TRUE(decryptWorkbookStream(whole, e.filepassPos, BiffVersion::Biff8, e.password));

        std::vector<size_t> cuts;
        for (const Record& r : records(encrypted)) {
            if (r.pos < e.filepassEnd) continue;
            for (size_t offset : {size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{4} + r.size / 2}) {
                if (r.pos + offset < encrypted.size()) cuts.push_back(r.pos + offset);
            }
        }
        for (size_t cut : cuts) {
            // Copied into a vector of exactly `cut` bytes so that sanitizers see any overrun.
            Bytes part(encrypted.begin(), encrypted.begin() + static_cast<ptrdiff_t>(cut));
            ASSERT_TRUE(decryptWorkbookStream(part, e.filepassPos, BiffVersion::Biff8, e.password));
            ASSERT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << "cut at " << cut;
        }
    }
}

// BIFF5 has no encryption type in FILEPASS, only key and verifier. The BIFF8 XOR fixture is
// rewritten that way: FILEPASS loses two bytes and a clear INTERFACEHDR record of 14 bytes
// follows it, so every later record moves by 16 bytes and keeps its place in the 16-byte
// XOR array.
TEST(BiffCryptoBiff5, XorObfuscationWithKeyAndVerifierOnly) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const Expected& e = expectationFor("encrypted_xor_password_abc.xls");
    const Bytes biff8 = workbookStream(e.fixture);
    Bytes biff8Decrypted = biff8;
    ASSERT_TRUE(decryptWorkbookStream(biff8Decrypted, e.filepassPos, BiffVersion::Biff8, e.password));

    Bytes biff5(biff8.begin(), biff8.begin() + static_cast<ptrdiff_t>(e.filepassPos));
    const Bytes filepass = {0x2F, 0x00, 0x04, 0x00, biff8[e.filepassPos + 6], biff8[e.filepassPos + 7],
                            biff8[e.filepassPos + 8], biff8[e.filepassPos + 9]};
    biff5.insert(biff5.end(), filepass.begin(), filepass.end());
    const Bytes interfaceHdr = {0xE1, 0x00, 0x0E, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    biff5.insert(biff5.end(), interfaceHdr.begin(), interfaceHdr.end());
    const size_t rest = biff5.size();
    ASSERT_EQ(rest, e.filepassEnd + 16);
    biff5.insert(biff5.end(), biff8.begin() + static_cast<ptrdiff_t>(e.filepassEnd), biff8.end());

    Bytes wrong = biff5;
    EXPECT_FALSE(decryptWorkbookStream(wrong, e.filepassPos, BiffVersion::Biff5, u"abd"));
    ASSERT_TRUE(decryptWorkbookStream(biff5, e.filepassPos, BiffVersion::Biff5, e.password));
    EXPECT_TRUE(std::equal(biff5.begin() + static_cast<ptrdiff_t>(rest - interfaceHdr.size()),
                           biff5.begin() + static_cast<ptrdiff_t>(rest), interfaceHdr.begin()));
    EXPECT_TRUE(std::equal(biff5.begin() + static_cast<ptrdiff_t>(rest), biff5.end(),
                           biff8Decrypted.begin() + static_cast<ptrdiff_t>(e.filepassEnd)));
}

}  // namespace
}  // namespace sbx::xls
