#include "spreadsheet/xls/compound_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xls/text_encoding.h"
#include "tests/support/shared_fixtures.h"

namespace sbx::xls {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = WorkbookErrorKind;

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t crc32(const Bytes& data) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// UTF-8 with control characters as \xNN, the way make_expected.py writes names.
std::string escapedName(const std::u16string& name) {
    std::string out;
    size_t plainFrom = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] >= 0x20) continue;
        out += utf16ToUtf8(std::u16string_view(name).substr(plainFrom, i - plainFrom));
        if (i < name.size()) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(name[i]));
            out += buf;
        }
        plainFrom = i + 1;
    }
    return out;
}

// One line of expected_streams.tsv without the file name: kind, path, size, crc.
using Row = std::string;

void listRows(const CfbNode& node, const std::string& path, std::vector<Row>& rows) {
    for (const CfbNode& c : node.children) {
        const std::string p = path + "/" + escapedName(c.name);
        if (c.isStream()) {
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x", crc32(c.data));
            rows.push_back("stream\t" + p + "\t" + std::to_string(c.data.size()) + "\t" + crc);
        } else {
            rows.push_back("storage\t" + p + "\t\t");
            listRows(c, p, rows);
        }
    }
}

std::map<std::string, std::vector<Row>> expectedRows() {
    std::ifstream in(std::string(SBX_TEST_DATA) + "/cfb/expected_streams.tsv");
    std::map<std::string, std::vector<Row>> byFile;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t');
        byFile[line.substr(0, tab)].push_back(line.substr(tab + 1));
    }
    return byFile;
}

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(SBX_SHARED_FIXTURES) / name;
}

// Compares two trees field by field, children in order.
void expectSameTree(const CfbNode& a, const CfbNode& b, const std::string& path = "") {
    SCOPED_TRACE(path);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.clsid, b.clsid);
    EXPECT_EQ(a.stateBits, b.stateBits);
    EXPECT_EQ(a.createdTime, b.createdTime);
    EXPECT_EQ(a.modifiedTime, b.modifiedTime);
    EXPECT_TRUE(a.data == b.data) << "stream bytes differ, sizes " << a.data.size() << " and "
                                  << b.data.size();
    ASSERT_EQ(a.children.size(), b.children.size());
    for (size_t i = 0; i < a.children.size(); ++i)
        expectSameTree(a.children[i], b.children[i], path + "/" + escapedName(a.children[i].name));
}

// Runs parse and reports the kind and message of the failure, or that there was none.
struct Outcome {
    bool failed = false;
    Kind kind = Kind::Corrupt;
    std::string message;
};

Outcome tryParse(const Bytes& bytes) {
    try {
        CompoundFile::parse(bytes);
    } catch (const FormatError& e) {
        return {true, e.kind(), e.what()};
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Raw access to a container, following the FAT independently of the reader.

uint32_t u32At(const Bytes& b, size_t off) {
    return loadU32(b.data() + off);
}
size_t sectorOffset(uint32_t s) {
    return 512 + size_t{s} * 512;
}

size_t fatEntryOffset(const Bytes& b, uint32_t s) {
    const uint32_t fatSector = u32At(b, 76 + 4 * (s / 128));
    return sectorOffset(fatSector) + 4 * (s % 128);
}

std::vector<uint32_t> rawChain(const Bytes& b, uint32_t start) {
    std::vector<uint32_t> chain;
    for (uint32_t s = start; s != kEnd && chain.size() < 100000; s = u32At(b, fatEntryOffset(b, s)))
        chain.push_back(s);
    return chain;
}

size_t entryOffset(const Bytes& b, uint32_t index) {
    const std::vector<uint32_t> dir = rawChain(b, u32At(b, 48));
    return sectorOffset(dir.at(index / 4)) + 128 * (index % 4);
}

size_t entryCount(const Bytes& b) {
    return rawChain(b, u32At(b, 48)).size() * 4;
}

std::u16string rawName(const Bytes& b, uint32_t index) {
    const size_t off = entryOffset(b, index);
    std::u16string name;
    const size_t units = loadU16(b.data() + off + 64) / 2;
    for (size_t i = 0; i + 1 < units; ++i)
        name.push_back(static_cast<char16_t>(loadU16(b.data() + off + 2 * i)));
    return name;
}

uint32_t findEntry(const Bytes& b, std::u16string_view name) {
    for (uint32_t i = 0; i < entryCount(b); ++i)
        if (b[entryOffset(b, i) + 66] != 0 && rawName(b, i) == name) return i;
    ADD_FAILURE() << "no entry named " << escapedName(std::u16string(name));
    return 0;
}

size_t miniFatEntryOffset(const Bytes& b, uint32_t m) {
    const std::vector<uint32_t> chain = rawChain(b, u32At(b, 60));
    return sectorOffset(chain.at(m / 128)) + 4 * (m % 128);
}

Bytes pattern(size_t size, uint8_t seed) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return data;
}

CfbNode streamNode(std::u16string name, Bytes data) {
    CfbNode n;
    n.name = std::move(name);
    n.type = CfbNode::Type::Stream;
    n.data = std::move(data);
    return n;
}

// A container like a small workbook: one large stream, small ones in the mini stream, a
// storage with a stream of its own and an empty stream.
CompoundFile sampleTree() {
    CompoundFile file;
    file.root().clsid[0] = 0x20;
    // In the container's order (shorter names first), which is the order the reader returns.
    file.root().children.push_back(streamNode(u"Empty", {}));
    file.root().children.push_back(streamNode(u"Workbook", pattern(5000, 1)));
    CfbNode storage;
    storage.name = u"_VBA_PROJECT_CUR";
    storage.type = CfbNode::Type::Storage;
    storage.stateBits = 7;
    storage.createdTime = 0x01D0000012345678;
    storage.modifiedTime = 0x01D0000087654321;
    storage.children.push_back(streamNode(u"dir", pattern(200, 3)));
    file.root().children.push_back(std::move(storage));
    file.root().children.push_back(streamNode(u"\x05SummaryInformation", pattern(300, 2)));
    return file;
}

Bytes sampleContainer() {
    return sampleTree().serialize();
}

// ---------------------------------------------------------------------------------------------
// Real files

TEST(CompoundFileFixtures, EveryFixtureReadsLikeOlefile) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const auto expected = expectedRows();
    ASSERT_GE(expected.size(), 40u) << "expected_streams.tsv missing or short";
    for (const auto& [file, rows] : expected) {
        SCOPED_TRACE(file);
        const Bytes bytes = readFile(fixture(file));
        ASSERT_FALSE(bytes.empty());
        if (rows.front().rfind("notcfb", 0) == 0) {
            EXPECT_FALSE(CompoundFile::hasSignature(bytes));
            const Outcome o = tryParse(bytes);
            EXPECT_TRUE(o.failed);
            EXPECT_EQ(o.kind, Kind::NotCompoundFile) << o.message;
            continue;
        }
        ASSERT_TRUE(CompoundFile::hasSignature(bytes));
        const CompoundFile cf = CompoundFile::parse(bytes);
        std::vector<Row> got;
        listRows(cf.root(), "", got);
        std::vector<Row> want = rows;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want);
        const CfbNode* book = cf.root().child(u"Workbook");
        if (book == nullptr) book = cf.root().child(u"Book");
        ASSERT_NE(book, nullptr);
        EXPECT_TRUE(book->isStream());
        EXPECT_FALSE(book->data.empty());
    }
}

TEST(CompoundFileFixtures, RoundTripKeepsEveryStreamAndAttribute) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const auto& entry : std::filesystem::directory_iterator(SBX_SHARED_FIXTURES)) {
        const Bytes bytes = readFile(entry.path());
        if (!CompoundFile::hasSignature(bytes)) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const CompoundFile original = CompoundFile::parse(bytes);
        const Bytes written = original.serialize();
        EXPECT_EQ(written.size() % 512, 0u);
        const CompoundFile reread = CompoundFile::parse(written);
        // Children come back in the container's sorted order; so do the original's when the
        // writer of the file built a proper tree, which all the fixtures' writers did.
        expectSameTree(original.root(), reread.root());
        EXPECT_EQ(reread.serialize(), written) << "writing is not stable";
        // tools/check_cfb_roundtrip.sh has other applications open these copies.
        if (const char* dir = std::getenv("SBX_CFB_ROUNDTRIP_DIR")) {
            std::ofstream out(std::filesystem::path(dir) / entry.path().filename(),
                              std::ios::binary);
            out.write(reinterpret_cast<const char*>(written.data()),
                      static_cast<std::streamsize>(written.size()));
        }
    }
}

TEST(CompoundFileFixtures, CutShortFilesFailAsTruncated) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const auto& entry : std::filesystem::directory_iterator(SBX_SHARED_FIXTURES)) {
        const Bytes bytes = readFile(entry.path());
        if (!CompoundFile::hasSignature(bytes)) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const size_t n = bytes.size();
        int failures = 0;
        for (size_t cut : {size_t{8}, size_t{300}, size_t{511}, size_t{512}, size_t{1000}, n / 4,
                           n / 2, n * 3 / 4, n - 600}) {
            const Outcome o =
                tryParse(Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut)));
            if (!o.failed) continue;
            ++failures;
            EXPECT_EQ(o.kind, Kind::Truncated) << "cut at " << cut << ": " << o.message;
        }
        // Everything up to the first sectors is always needed.
        EXPECT_GE(failures, 5);
    }
}

// ---------------------------------------------------------------------------------------------
// The writer

TEST(CompoundFileWriter, StreamsOfEverySizeSurviveARoundTrip) {
    CompoundFile file;
    const size_t sizes[] = {0, 1, 63, 64, 65, 511, 512, 4095, 4096, 4097, 10240, 70000};
    for (size_t i = 0; i < std::size(sizes); ++i)
        file.root().children.push_back(
            streamNode(u"s" + std::u16string(1, static_cast<char16_t>(u'A' + i)),
                       pattern(sizes[i], static_cast<uint8_t>(i))));
    const Bytes bytes = file.serialize();
    const CompoundFile back = CompoundFile::parse(bytes);
    expectSameTree(file.root(), back.root());

    // Small streams sit in the mini stream, the others in sectors; empty ones have no chain.
    const uint32_t miniSectors = u32At(bytes, entryOffset(bytes, 0) + 120) / 64;
    for (size_t i = 0; i < std::size(sizes); ++i) {
        SCOPED_TRACE(sizes[i]);
        const size_t off = entryOffset(bytes, findEntry(bytes, file.root().children[i].name));
        const uint32_t start = u32At(bytes, off + 116);
        EXPECT_EQ(loadU64(bytes.data() + off + 120), sizes[i]);
        if (sizes[i] == 0) {
            EXPECT_EQ(start, kEnd);
        } else if (sizes[i] < 4096) {
            EXPECT_LT(start, miniSectors);
        } else {
            EXPECT_EQ(rawChain(bytes, start).size(), (sizes[i] + 511) / 512);
        }
    }
}

// Checks the sibling tree under `index`: strictly ordered the container's way (length first,
// then upper-cased), no red node with a red child, and the same black count on every path.
int blackHeight(const Bytes& b, uint32_t index, const std::u16string* low,
                const std::u16string* high, bool parentRed) {
    if (index == kFree) return 1;
    const size_t off = entryOffset(b, index);
    const std::u16string name = rawName(b, index);
    const auto upper = [](std::u16string s) {
        for (char16_t& c : s)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        return s;
    };
    const auto less = [&](const std::u16string& x, const std::u16string& y) {
        return x.size() != y.size() ? x.size() < y.size() : upper(x) < upper(y);
    };
    if (low != nullptr) {
        EXPECT_TRUE(less(*low, name)) << escapedName(name);
    }
    if (high != nullptr) {
        EXPECT_TRUE(less(name, *high)) << escapedName(name);
    }
    const bool red = b[off + 67] == 0;
    EXPECT_FALSE(red && parentRed) << "red entry with a red parent: " << escapedName(name);
    const int left = blackHeight(b, u32At(b, off + 68), low, &name, red);
    const int right = blackHeight(b, u32At(b, off + 72), &name, high, red);
    EXPECT_EQ(left, right) << "black heights differ below " << escapedName(name);
    return left + (red ? 0 : 1);
}

TEST(CompoundFileWriter, SiblingsFormAnOrderedRedBlackTree) {
    for (size_t count : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 40}) {
        SCOPED_TRACE(count);
        CompoundFile file;
        for (size_t i = 0; i < count; ++i) {
            // Mixed lengths and letter cases: "b" must sort after "A" and before "C".
            std::u16string name(1 + i % 3, static_cast<char16_t>((i % 2 ? u'a' : u'A') + i / 3));
            file.root().children.push_back(streamNode(name, pattern(i, 0)));
        }
        const Bytes bytes = file.serialize();
        const uint32_t top = u32At(bytes, entryOffset(bytes, 0) + 76);
        EXPECT_EQ(bytes[entryOffset(bytes, top) + 67], 1) << "the tree's root must be black";
        blackHeight(bytes, top, nullptr, nullptr, false);
        EXPECT_EQ(CompoundFile::parse(bytes).root().children.size(), count);
    }
}

TEST(CompoundFileWriter, ContainersOverSevenMegabytesGetDifatSectors) {
    CompoundFile file;
    file.root().children.push_back(streamNode(u"Small", pattern(100, 4)));
    file.root().children.push_back(streamNode(u"Workbook", pattern(8u << 20, 9)));
    const Bytes bytes = file.serialize();
    EXPECT_GT(u32At(bytes, 44), 109u);  // FAT sectors
    EXPECT_GE(u32At(bytes, 72), 1u);    // DIFAT sectors
    EXPECT_NE(u32At(bytes, 68), kEnd);
    expectSameTree(file.root(), CompoundFile::parse(bytes).root());
}

TEST(CompoundFileWriter, KeepsStorageAttributesAndLooksNamesUpIgnoringCase) {
    const CompoundFile file = sampleTree();
    const CompoundFile back = CompoundFile::parse(file.serialize());
    expectSameTree(file.root(), back.root());
    const CfbNode* vba = back.root().child(u"_vba_project_cur");
    ASSERT_NE(vba, nullptr);
    EXPECT_EQ(vba->type, CfbNode::Type::Storage);
    EXPECT_EQ(vba->stateBits, 7u);
    ASSERT_NE(vba->child(u"DIR"), nullptr);
    EXPECT_EQ(back.root().child(u"Workbooks"), nullptr);
}

TEST(CompoundFileWriter, RejectsTreesItCannotWrite) {
    CompoundFile duplicate;
    duplicate.root().children.push_back(streamNode(u"Workbook", {1}));
    duplicate.root().children.push_back(streamNode(u"WORKBOOK", {2}));
    EXPECT_THROW(duplicate.serialize(), std::invalid_argument);

    CompoundFile longName;
    longName.root().children.push_back(streamNode(std::u16string(32, u'x'), {1}));
    EXPECT_THROW(longName.serialize(), std::invalid_argument);
    longName.root().children[0].name.resize(31);
    EXPECT_NO_THROW(longName.serialize());
}

// ---------------------------------------------------------------------------------------------
// Damaged containers

struct Fault {
    const char* what;
    std::function<void(Bytes&)> damage;
    Kind kind;
    const char* message;  // a part of the error message
};

void setU32(Bytes& b, size_t off, uint32_t v) {
    storeU32(b.data() + off, v);
}
uint32_t startOf(const Bytes& b, std::u16string_view name) {
    return u32At(b, entryOffset(b, findEntry(b, name)) + 116);
}
size_t entryField(const Bytes& b, std::u16string_view name, size_t field) {
    return entryOffset(b, findEntry(b, name)) + field;
}

TEST(CompoundFileReader, DamagedContainersFailWithTheRightKindAndReason) {
    const Fault faults[] = {
        {"bad sector shift", [](Bytes& b) { storeU16(b.data() + 30, 10); }, Kind::Corrupt,
         "sector shift 10"},
        {"bad byte order", [](Bytes& b) { storeU16(b.data() + 28, 0xFEFF); }, Kind::Corrupt,
         "byte order"},
        {"bad mini sector shift", [](Bytes& b) { storeU16(b.data() + 32, 7); }, Kind::Corrupt,
         "mini sector shift"},
        {"bad mini stream cutoff", [](Bytes& b) { setU32(b, 56, 2048); }, Kind::Corrupt, "cutoff"},
        {"no FAT", [](Bytes& b) { setU32(b, 44, 0); }, Kind::Corrupt, "no FAT"},
        {"FAT sector missing from the DIFAT", [](Bytes& b) { setU32(b, 44, 2); }, Kind::Corrupt,
         "DIFAT entry 1"},
        {"FAT sector far out of range", [](Bytes& b) { setU32(b, 76, 5000); }, Kind::Corrupt,
         "out of range"},
        {"FAT sector past the end of the file", [](Bytes& b) { setU32(b, 76, 100); },
         Kind::Truncated, "ends before sector 100"},
        {"FAT cycle",
         [](Bytes& b) {
             const auto chain = rawChain(b, startOf(b, u"Workbook"));
             setU32(b, fatEntryOffset(b, chain[5]), chain[1]);
         },
         Kind::Corrupt, "loops back to sector"},
        {"directory chain cycle",
         [](Bytes& b) {
             const auto chain = rawChain(b, u32At(b, 48));
             setU32(b, fatEntryOffset(b, chain.back()), chain.front());
         },
         Kind::Corrupt, "the directory loops back"},
        {"DIFAT cycle",
         [](Bytes& b) {
             // A DIFAT sector appended to the file whose chain points to itself.
             const auto self = static_cast<uint32_t>((b.size() - 512) / 512);
             b.resize(b.size() + 512, 0);
             setU32(b, 44, 300);
             setU32(b, 68, self);
             setU32(b, 72, 1);
             setU32(b, sectorOffset(self) + 508, self);
         },
         Kind::Corrupt, "the DIFAT loops back"},
        {"sibling links back to its storage",
         [](Bytes& b) { setU32(b, entryField(b, u"dir", 68), findEntry(b, u"_VBA_PROJECT_CUR")); },
         Kind::Corrupt, "reached twice"},
        {"sibling links back to the top of its tree",
         [](Bytes& b) {
             const uint32_t top = u32At(b, entryOffset(b, 0) + 76);
             setU32(b, entryField(b, u"Empty", 72), top);
             setU32(b, entryField(b, u"Empty", 68), kFree);
         },
         Kind::Corrupt, "reached twice"},
        {"storage child links to the root",
         [](Bytes& b) { setU32(b, entryField(b, u"_VBA_PROJECT_CUR", 76), 0); }, Kind::Corrupt,
         "entry 0 is reached twice"},
        {"link past the directory", [](Bytes& b) { setU32(b, entryField(b, u"dir", 72), 1000); },
         Kind::Corrupt, "links to entry 1000"},
        {"start sector beyond the FAT",
         [](Bytes& b) { setU32(b, entryField(b, u"Workbook", 116), 100000); }, Kind::Corrupt,
         "out of range"},
        {"start sector past the end, free in the FAT",
         [](Bytes& b) { setU32(b, entryField(b, u"Workbook", 116), 100); }, Kind::Corrupt,
         "marked free"},
        {"chain runs into a free sector",
         [](Bytes& b) { setU32(b, fatEntryOffset(b, startOf(b, u"Workbook")), kFree); },
         Kind::Corrupt, "marker 0xFFFFFFFF"},
        {"chain ends before the stream does",
         [](Bytes& b) {
             const auto chain = rawChain(b, startOf(b, u"Workbook"));
             setU32(b, fatEntryOffset(b, chain[2]), kEnd);
         },
         Kind::Corrupt, "ends after 3 sectors"},
        {"stream size beyond what the FAT addresses",
         [](Bytes& b) { setU32(b, entryField(b, u"Workbook", 120), 0x7FFFFFF0); }, Kind::Corrupt,
         "more than the FAT can address"},
        {"stream size beyond the file",
         [](Bytes& b) { setU32(b, entryField(b, u"Workbook", 120), 60000); }, Kind::Corrupt,
         "ends after 10 sectors"},
        {"two streams share a sector",
         [](Bytes& b) {
             const auto wb = rawChain(b, startOf(b, u"Workbook"));
             setU32(b, fatEntryOffset(b, wb[4]), u32At(b, 48));
         },
         Kind::Corrupt, "used by both"},
        {"mini FAT cycle",
         [](Bytes& b) {
             const uint32_t first = startOf(b, u"\x05SummaryInformation");
             setU32(b, miniFatEntryOffset(b, first + 4), first);
             setU32(b, entryField(b, u"\x05SummaryInformation", 120), 3000);
         },
         Kind::Corrupt, "loops back to mini sector"},
        {"two streams share a mini sector",
         [](Bytes& b) {
             setU32(b, entryField(b, u"dir", 116), startOf(b, u"\x05SummaryInformation"));
         },
         Kind::Corrupt, "mini sector 0 is used by both"},
        {"mini sector beyond the mini stream",
         [](Bytes& b) { setU32(b, entryOffset(b, 0) + 120, 64); }, Kind::Corrupt,
         "beyond the mini stream"},
        {"mini chain beyond the mini FAT",
         [](Bytes& b) { setU32(b, entryField(b, u"dir", 116), 4000); }, Kind::Corrupt,
         "past the end of the mini FAT"},
        {"name not terminated",
         [](Bytes& b) {
             const size_t off = entryField(b, u"dir", 0);
             for (size_t i = 0; i < 32; ++i) storeU16(b.data() + off + 2 * i, u'x');
         },
         Kind::Corrupt, "not terminated"},
        {"name length leaves out a terminator that is missing too",
         [](Bytes& b) {
             const size_t off = entryField(b, u"dir", 0);
             storeU16(b.data() + off + 64, 4);  // "di", then 'r' where the zero should be
         },
         Kind::Corrupt, "not terminated"},
        {"odd name length",
         [](Bytes& b) { storeU16(b.data() + entryField(b, u"Workbook", 64), 17); }, Kind::Corrupt,
         "name length of 17"},
        {"name longer than its field",
         [](Bytes& b) { storeU16(b.data() + entryField(b, u"Workbook", 64), 66); }, Kind::Corrupt,
         "name length of 66"},
        {"unknown entry type", [](Bytes& b) { b[entryField(b, u"Workbook", 66)] = 3; },
         Kind::Corrupt, "unknown type 3"},
        {"unused entry linked into the tree", [](Bytes& b) { b[entryField(b, u"Empty", 66)] = 0; },
         Kind::Corrupt, "marked unused"},
        {"first entry is not the root", [](Bytes& b) { b[entryOffset(b, 0) + 66] = 1; },
         Kind::Corrupt, "not the root entry"},
        {"second root entry", [](Bytes& b) { b[entryField(b, u"Empty", 66)] = 5; }, Kind::Corrupt,
         "second root"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        Bytes bytes = sampleContainer();
        ASSERT_FALSE(tryParse(bytes).failed);
        f.damage(bytes);
        const Outcome o = tryParse(bytes);
        ASSERT_TRUE(o.failed) << "parsed without complaint";
        EXPECT_EQ(o.kind, f.kind) << o.message;
        EXPECT_NE(o.message.find(f.message), std::string::npos) << o.message;
    }
}

TEST(CompoundFileReader, CutShortContainersFailAsTruncated) {
    const Bytes full = sampleContainer();
    // The last sector holds the tail of "Workbook" (5000 = 9 * 512 + 392) and 120 bytes of padding.
    const size_t padding = 120;
    const struct {
        size_t cut;
        bool parses;
        Kind kind;
    } cases[] = {
        {0, false, Kind::NotCompoundFile},
        {7, false, Kind::NotCompoundFile},
        {8, false, Kind::Truncated},
        {511, false, Kind::Truncated},
        {512, false, Kind::Truncated},
        {513, false, Kind::Truncated},
        {1024, false, Kind::Truncated},
        {1536 + 64, false, Kind::Truncated},
        {full.size() - 4000, false, Kind::Truncated},
        {full.size() - 513, false, Kind::Truncated},
        {full.size() - padding - 1, false, Kind::Truncated},
        {full.size() - padding, true, Kind::Corrupt},
        {full.size() - 1, true, Kind::Corrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        const Bytes cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(c.cut));
        const Outcome o = tryParse(cut);
        EXPECT_EQ(!o.failed, c.parses) << o.message;
        if (o.failed) {
            EXPECT_EQ(o.kind, c.kind) << o.message;
        }
        if (c.parses) {
            // A final sector cut after the stream's last byte loses nothing.
            expectSameTree(CompoundFile::parse(cut).root(), sampleTree().root());
        }
    }
}

// Sloppiness found in real files that other applications accept.
TEST(CompoundFileReader, ToleratesHarmlessSloppiness) {
    const std::pair<const char*, std::function<void(Bytes&)>> cases[] = {
        {"garbage in the high half of a version 3 stream size",
         [](Bytes& b) { setU32(b, entryField(b, u"Workbook", 124), 0xDEADBEEF); }},
        {"garbage in unused directory entries",
         [](Bytes& b) {
             const size_t last = entryOffset(b, static_cast<uint32_t>(entryCount(b) - 1));
             ASSERT_EQ(b[last + 66], 0);
             std::fill(b.begin() + static_cast<ptrdiff_t>(last),
                       b.begin() + static_cast<ptrdiff_t>(last + 128), 0xEE);
             b[last + 66] = 9;
         }},
        {"FAT entries for sectors the file does not have",
         [](Bytes& b) {
             for (uint32_t s = 60; s < 127; ++s) setU32(b, fatEntryOffset(b, s), s + 1);
         }},
        {"chain longer than the stream",
         [](Bytes& b) {
             const auto chain = rawChain(b, startOf(b, u"Workbook"));
             setU32(b, fatEntryOffset(b, chain.back()), 60);
         }},
        {"bytes after the last sector", [](Bytes& b) { b.insert(b.end(), 300, 0xAB); }},
        {"non-zero header class id", [](Bytes& b) { b[8] = 0x42; }},
        {"name length without the terminator",
         [](Bytes& b) { storeU16(b.data() + entryField(b, u"Workbook", 64), 16); }},
    };
    const CompoundFile expected = sampleTree();
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        Bytes bytes = sampleContainer();
        damage(bytes);
        const Outcome o = tryParse(bytes);
        ASSERT_FALSE(o.failed) << o.message;
        expectSameTree(CompoundFile::parse(bytes).root(), expected.root());
    }
}

// Damage at random: whatever the bytes say, the reader ends in a FormatError or a tree, never
// in another exception, a crash (the sanitizer build checks) or a hang.
TEST(CompoundFileReader, RandomDamageEndsInFormatErrorOrTree) {
    const Bytes sample = sampleContainer();
    // A real application's container when the build has the real-world workbooks.
    const Bytes real = sbx::testing::haveSharedFixtures()
                           ? readFile(fixture("excel2016_visible_hidden_veryhidden_chart_vba.xls"))
                           : sample;
    ASSERT_FALSE(real.empty());
    uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&state](uint64_t bound) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return (state >> 33) % bound;
    };
    const int rounds =
        std::getenv("SBX_CFB_FUZZ_ROUNDS") ? std::atoi(std::getenv("SBX_CFB_FUZZ_ROUNDS")) : 3000;
    int parsed = 0;
    for (int round = 0; round < rounds; ++round) {
        Bytes bytes = round % 2 ? sample : real;
        const int edits = 1 + static_cast<int>(next(4));
        for (int k = 0; k < edits; ++k) {
            // Mostly the header, the FAT and the directory, where the structure is.
            const size_t span = next(4) == 0 ? bytes.size() : std::min<size_t>(bytes.size(), 2048);
            const size_t at = next(span);
            const uint64_t how = next(4);
            if (how == 0)
                bytes[at] = static_cast<uint8_t>(next(256));
            else if (how == 1)
                bytes[at] ^= static_cast<uint8_t>(1u << next(8));
            else if (how == 2 && at + 4 <= bytes.size())
                storeU32(bytes.data() + at, static_cast<uint32_t>(next(64)));
            else
                bytes.resize(std::max<size_t>(at, 8));
        }
        try {
            CompoundFile::parse(bytes);
            ++parsed;
        } catch (const FormatError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << ": " << e.what();
        }
    }
    // Damage to padding and stream contents leaves a readable container.
    EXPECT_GT(parsed, 0);
}

// A version 4 container (4096-byte sectors) put together by hand: FAT, directory, mini FAT,
// mini stream, then a two-sector stream.
Bytes version4Container(uint64_t bigSize) {
    constexpr size_t ss = 4096;
    Bytes b(ss * 7, 0);
    const auto sector = [&](uint32_t s) { return b.data() + ss * (s + 1); };
    const uint8_t sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(sig), std::end(sig), b.begin());
    storeU16(b.data() + 24, 0x3E);
    storeU16(b.data() + 26, 4);
    storeU16(b.data() + 28, 0xFFFE);
    storeU16(b.data() + 30, 12);
    storeU16(b.data() + 32, 6);
    storeU32(b.data() + 40, 1);
    storeU32(b.data() + 44, 1);
    storeU32(b.data() + 48, 1);
    storeU32(b.data() + 56, 4096);
    storeU32(b.data() + 60, 2);
    storeU32(b.data() + 64, 1);
    storeU32(b.data() + 68, kEnd);
    storeU32(b.data() + 76, 0);
    for (size_t i = 1; i < 109; ++i) storeU32(b.data() + 76 + 4 * i, kFree);
    const uint32_t fat[] = {0xFFFFFFFD, kEnd, kEnd, kEnd, 5, kEnd};
    for (size_t i = 0; i < 1024; ++i)
        storeU32(sector(0) + 4 * i, i < std::size(fat) ? fat[i] : kFree);
    for (size_t i = 0; i < 1024; ++i)
        storeU32(sector(2) + 4 * i, i == 0 ? 1 : i == 1 ? kEnd : kFree);
    const auto entry = [&](uint32_t index, std::u16string_view name, uint8_t type, uint32_t left,
                           uint32_t child, uint32_t start, uint64_t size) {
        uint8_t* p = sector(1) + 128 * index;
        for (size_t i = 0; i < name.size(); ++i) storeU16(p + 2 * i, name[i]);
        storeU16(p + 64, static_cast<uint16_t>(2 * name.size() + 2));
        p[66] = type;
        p[67] = 1;
        storeU32(p + 68, left);
        storeU32(p + 72, kFree);
        storeU32(p + 76, child);
        storeU32(p + 116, start);
        storeU64(p + 120, size);
    };
    for (uint32_t i = 3; i < 32; ++i) entry(i, u"", 0, kFree, kFree, 0, 0);
    entry(0, u"Root Entry", 5, kFree, 1, 3, 128);
    entry(1, u"Workbook", 2, 2, kFree, 4, bigSize);
    entry(2, u"Small", 2, kFree, kFree, 0, 100);
    const Bytes big = pattern(5000, 5);
    std::copy(big.begin(), big.end(), sector(4));
    const Bytes small = pattern(100, 6);
    std::copy(small.begin(), small.end(), sector(3));
    return b;
}

TEST(CompoundFileReader, ReadsVersion4Containers) {
    const CompoundFile cf = CompoundFile::parse(version4Container(5000));
    ASSERT_EQ(cf.root().children.size(), 2u);
    EXPECT_EQ(cf.root().children[0].name, u"Small");
    EXPECT_EQ(cf.root().children[0].data, pattern(100, 6));
    EXPECT_EQ(cf.root().children[1].name, u"Workbook");
    EXPECT_EQ(cf.root().children[1].data, pattern(5000, 5));

    // Version 4 sizes are 64 bits wide, so a high half counts there.
    const Outcome o = tryParse(version4Container(5000 + (uint64_t{1} << 32)));
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(o.kind, Kind::Corrupt) << o.message;

    // And the header shorter than its 4096-byte sector: nothing to read.
    Bytes cut = version4Container(5000);
    cut.resize(3000);
    EXPECT_EQ(tryParse(cut).kind, Kind::Truncated);
}

}  // namespace
}  // namespace sbx::xls
