#include "spreadsheet/xls/text_encoding.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sbx::xls {
namespace {

using Bytes = std::vector<uint8_t>;

std::string decode(const Bytes& bytes, uint16_t codePage) {
    std::string out;
    appendCodePage(out, bytes.data(), bytes.size(), codePage);
    return out;
}

std::string asString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

const std::string kReplacement = "\xEF\xBF\xBD";

struct Sample {
    int line;
    uint16_t codePage;
    Bytes bytes;
    std::string text;
};

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Made by tools/gen_codepage_tables.py with Python's codecs, independently of our tables'
// packing and lookup.
std::vector<Sample> loadSamples() {
    std::ifstream in(std::string(SBX_TEST_DATA) + "/text/codepage_samples.tsv");
    std::vector<Sample> samples;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const size_t tab1 = line.find('\t');
        const size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos) {
            ADD_FAILURE() << "malformed sample line " << number;
            continue;
        }
        samples.push_back({number, static_cast<uint16_t>(std::stoi(line.substr(0, tab1))),
                           fromHex(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                           line.substr(tab2 + 1)});
    }
    return samples;
}

TEST(CodePageSamples, DecodeAndEncodeLikePython) {
    const std::vector<Sample> samples = loadSamples();
    ASSERT_GT(samples.size(), 100u);
    std::set<uint16_t> pages;
    for (const Sample& sample : samples) {
        pages.insert(sample.codePage);
        SCOPED_TRACE("line " + std::to_string(sample.line) + ", code page " +
                     std::to_string(sample.codePage));
        EXPECT_TRUE(isKnownCodePage(sample.codePage));
        EXPECT_EQ(decode(sample.bytes, sample.codePage), sample.text);
        std::string encoded;
        EXPECT_TRUE(encodeCodePage(sample.text, sample.codePage, encoded));
        EXPECT_EQ(encoded, asString(sample.bytes));
    }
    for (const uint16_t page : std::initializer_list<uint16_t>{932, 936, 949, 950, 1361, 1253, 10000, 32768, 32769, 864}) {
        EXPECT_TRUE(pages.count(page)) << "no samples for " << page;
    }
}

TEST(CodePageDecode, WellKnownCjkText) {
    // 资产负债表 in GBK, 報表 in Big5, ﾊﾝｶｸ (half-width) and 漢字 in Shift-JIS, 합계 in UHC.
    EXPECT_EQ(decode({0xD7, 0xCA, 0xB2, 0xFA, 0xB8, 0xBA, 0xD5, 0xAE, 0xB1, 0xED}, 936),
              "资产负债表");
    EXPECT_EQ(decode({0x80, 0x31, 0xBA, 0xCF, 0xBC, 0xC6}, 936), "€1合计");
    EXPECT_EQ(decode({0xB3, 0xF8, 0xAA, 0xED}, 950), "報表");
    EXPECT_EQ(decode({0xCA, 0xDD, 0xB6, 0xB8, 0x8A, 0xBF, 0x8E, 0x9A}, 932), "ﾊﾝｶｸ漢字");
    EXPECT_EQ(decode({0xC7, 0xD5, 0xB0, 0xE8}, 949), "합계");
    EXPECT_EQ(decode({0x41, 0x5C, 0x7E}, 932), "A\\~");  // ASCII stays ASCII, as Excel reads it
}

TEST(CodePageDecode, BrokenDoubleByteSequencesBecomeReplacement) {
    // A lead byte cut off by the end: the byte after the string must not be read.
    const Bytes gbk = {0x41, 0xC4, 0xE3};  // "A你" if read through
    std::string out;
    appendCodePage(out, gbk.data(), 2, 936);
    EXPECT_EQ(out, "A" + kReplacement);
    // An ASCII byte after a lead byte is kept as a character of its own.
    EXPECT_EQ(decode({0xC4, 0x20, 0x42}, 936), kReplacement + " B");
    EXPECT_EQ(decode({0x85, 0x41}, 932), kReplacement + "A");  // unmapped row, ASCII trail
    // A non-ASCII byte that completes no character is swallowed with the lead.
    EXPECT_EQ(decode({0x81, 0xFF, 0x43}, 936), kReplacement + "C");
    EXPECT_EQ(decode({0x81, 0xA1}, 950), kReplacement);  // user-defined area, not mapped
    EXPECT_EQ(decode({0x81, 0x40}, 950), kReplacement + "@");
    EXPECT_EQ(decode({0xFF, 0x44}, 936), kReplacement + "D");  // not a lead byte at all
    EXPECT_EQ(decode({}, 936), "");
}

TEST(CodePageDecode, SingleBytePagesAndFallback) {
    EXPECT_EQ(decode({0x80, 0xE9}, 1252), "€é");
    EXPECT_EQ(decode({0x81}, 1252), kReplacement);  // undefined in 1252
    EXPECT_EQ(decode({0xD3, 0xFD, 0xED}, 1253), "Σύν");
    EXPECT_EQ(decode({0x8E, 0xD0, 0xA9}, 10000), "é–©");
    EXPECT_EQ(decode({0x8E, 0xD0, 0xA9}, 32768), "é–©");
    EXPECT_EQ(decode({0x25, 0x41}, 864), "٪A");  // the one page whose low half is not ASCII
    EXPECT_EQ(decode({0x41, 0xC3}, 367), "A" + kReplacement);
    // Unknown pages read as 1252.
    for (const uint16_t page : std::initializer_list<uint16_t>{0, 1, 1234, 65001, 65535}) {
        EXPECT_FALSE(isKnownCodePage(page)) << page;
        EXPECT_EQ(decode({0x80, 0xE9, 0x41}, page), "€éA") << page;
    }
    for (const uint16_t page : std::initializer_list<uint16_t>{367, 437, 850, 874, 932, 936, 949, 950, 1200, 1250, 1258, 1361,
                                10000, 10081, 32768, 32769}) {
        EXPECT_TRUE(isKnownCodePage(page)) << page;
    }
}

TEST(Utf16, SurrogatesAndOddLengths) {
    const Bytes smiley = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00};  // 😀A
    std::string out;
    appendUtf16le(out, smiley.data(), 3);
    EXPECT_EQ(out, "😀A");
    out.clear();
    appendUtf16le(out, smiley.data(), 1);  // the low half is beyond count
    EXPECT_EQ(out, kReplacement);

    EXPECT_EQ(decode({0x00, 0xDE, 0x3D, 0xD8, 0x41, 0x00}, 1200),
              kReplacement + kReplacement + "A");
    EXPECT_EQ(decode({0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, 1200), kReplacement + "😀");
    EXPECT_EQ(decode({0x44, 0x8D, 0xA8, 0x00, 0x41}, 1200), "资¨" + kReplacement);

    EXPECT_EQ(utf16ToUtf8(u"a\U0001F600\u4E2D"), "a😀中");
    EXPECT_EQ(utf16ToUtf8(std::u16string{u'x', char16_t{0xD800}, u'y', char16_t{0xDC00}}),
              "x" + kReplacement + "y" + kReplacement);
}

TEST(Utf8, CodePointBoundariesRoundTrip) {
    const std::u32string points = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF};
    std::string utf8;
    for (const char32_t point : points) appendUtf8(utf8, point);
    EXPECT_EQ(utf8, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(utf8ToUtf16(utf8), (std::u16string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xD800, 0xDC00,
                                                 0xDBFF, 0xDFFF}));
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(utf8)), utf8);

    std::string bad;
    appendUtf8(bad, 0xD800);
    appendUtf8(bad, 0x110000);
    EXPECT_EQ(bad, kReplacement + kReplacement);

    std::string latin1;
    const Bytes bytes = {0x41, 0xE9, 0xFF, 0x80};
    appendLatin1(latin1, bytes.data(), bytes.size());
    EXPECT_EQ(latin1, "Aéÿ\xC2\x80");
}

TEST(Utf8, InvalidInputBecomesOneReplacementPerBrokenPiece) {
    const std::u16string r(1, char16_t{0xFFFD});
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), r + r);                // overlong: neither byte can start
    EXPECT_EQ(utf8ToUtf16("a\xE4\xBD"), u"a" + r);            // truncated at the end
    EXPECT_EQ(utf8ToUtf16("\xE4\xBDz"), r + u"z");            // truncated, then ASCII
    EXPECT_EQ(utf8ToUtf16("\x80x"), r + u"x");                // lone continuation byte
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), r + r + r);        // encoded surrogate
    EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98"), r);                // 3 of 4 bytes
    EXPECT_EQ(utf8ToUtf16("\xF5"), r);
}

TEST(EncodeCodePage, UnmappableTextIsReported) {
    std::string out;
    EXPECT_FALSE(encodeCodePage("合计", 1252, out));
    EXPECT_EQ(out, "??");
    EXPECT_FALSE(encodeCodePage("a😀", 936, out));  // outside the BMP: no GBK table entry
    EXPECT_EQ(out, "a?");
    EXPECT_FALSE(encodeCodePage("Ω", 1252, out));
    EXPECT_FALSE(encodeCodePage("é", 367, out));
    EXPECT_FALSE(encodeCodePage("\xFF", 1252, out));  // not UTF-8
    EXPECT_FALSE(encodeCodePage("%", 864, out));  // 864 has no percent sign where ASCII has it

    EXPECT_TRUE(encodeCodePage("Σύνολο", 1253, out));
    EXPECT_EQ(decode(Bytes(out.begin(), out.end()), 1253), "Σύνολο");
    EXPECT_TRUE(encodeCodePage("€", 936, out));
    EXPECT_EQ(out, "\x80");
    EXPECT_TRUE(encodeCodePage("ｶﾅ", 932, out));  // half-width kana are single bytes
    EXPECT_EQ(out, "\xB6\xC5");
    EXPECT_TRUE(encodeCodePage("é", 4321, out));  // unknown page: 1252
    EXPECT_EQ(out, "\xE9");
}

TEST(EncodeCodePage, Utf16le) {
    std::string out;
    EXPECT_TRUE(encodeCodePage("A😀", 1200, out));
    EXPECT_EQ(out, std::string("\x41\x00\x3D\xD8\x00\xDE", 6));
    EXPECT_EQ(decode(Bytes(out.begin(), out.end()), 1200), "A😀");
    EXPECT_FALSE(encodeCodePage("\xC3", 1200, out));
    EXPECT_EQ(out, "\xFD\xFF");
}

TEST(EncodeCodePage, EveryMappedDoubleByteCharacterRoundTrips) {
    // Decoding every pair and encoding it again reaches a pair that decodes the same.
    for (const uint16_t page : std::initializer_list<uint16_t>{932, 936, 949, 950, 1361}) {
        int mapped = 0;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x31; trail <= 0xFE; ++trail) {
                const Bytes pair = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
                const std::string text = decode(pair, page);
                if (utf8ToUtf16(text).size() != 1 || text == kReplacement) continue;  // unmapped
                ++mapped;
                std::string encoded;
                ASSERT_TRUE(encodeCodePage(text, page, encoded)) << page << " " << lead << " "
                                                                 << trail;
                ASSERT_EQ(decode(Bytes(encoded.begin(), encoded.end()), page), text);
            }
        }
        EXPECT_GT(mapped, 9000) << page;
    }
}

}  // namespace
}  // namespace sbx::xls
