#include "spreadsheet/xls/old_biff_reader.h"

#include <bit>
#include <map>
#include <optional>

#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/cell_records.h"
#include "spreadsheet/xls/number_formats.h"
#include "spreadsheet/xls/record_stream.h"
#include "spreadsheet/xls/text_encoding.h"

namespace sbx::xls {

namespace {

// Record numbers of the older formats. BIFF2 cell records carry three attribute bytes
// instead of an XF index; BIFF3 gave them new numbers (0x02xx) with the later layout.
namespace old {
constexpr uint16_t Blank2 = 0x0001;
constexpr uint16_t Integer2 = 0x0002;
constexpr uint16_t Number2 = 0x0003;
constexpr uint16_t Label2 = 0x0004;
constexpr uint16_t BoolErr2 = 0x0005;
constexpr uint16_t Formula2 = 0x0006;
constexpr uint16_t String2 = 0x0007;
constexpr uint16_t Format2 = 0x001E;  // BIFF2 and BIFF3
constexpr uint16_t Xf2 = 0x0043;
constexpr uint16_t Ixfe2 = 0x0044;  // the XF index of the next BIFF2 cell, when above 62
constexpr uint16_t SheetHdr = 0x008F;  // BIFF4W: the size and name of the worksheet that follows
constexpr uint16_t Formula3 = 0x0206;
constexpr uint16_t Xf3 = 0x0243;
constexpr uint16_t Formula4 = 0x0406;
constexpr uint16_t Format4 = 0x041E;
constexpr uint16_t Xf4 = 0x0443;

constexpr uint16_t TypeWorksheet = 0x0010;
constexpr uint16_t TypeChart = 0x0020;
constexpr uint16_t TypeMacroSheet = 0x0040;
constexpr uint16_t TypeWorkbook = 0x0100;  // BIFF4W globals; in BIFF3 a workspace file
}  // namespace old

constexpr uint32_t kMaxRows = 16384;
constexpr uint32_t kMaxColumns = 256;

bool isBof(uint16_t type) {
    return type == rec::Bof2 || type == rec::Bof3 || type == rec::Bof4 || type == rec::Bof;
}

// CODEPAGE values of these versions that name a page by another number.
uint16_t textCodePage(uint16_t codePage) {
    if (codePage == 0x8000) return 10000;  // Apple Roman
    if (codePage == 0x8001) return 1252;   // ANSI Latin I
    return codePage;
}

std::string versionName(BiffVersion v) {
    switch (v) {
        case BiffVersion::Biff2: return "Excel 2.1";
        case BiffVersion::Biff3: return "Excel 3.0";
        default: return "Excel 4.0";
    }
}

struct Bof {
    BiffVersion version;
    uint16_t type;
};

Bof readBof(const Record& r) {
    if (r.body.size() < 4) throwCorrupt("the BOF record is too short to say what the stream holds");
    const BiffVersion version = r.type == rec::Bof2   ? BiffVersion::Biff2
                                : r.type == rec::Bof3 ? BiffVersion::Biff3
                                                      : BiffVersion::Biff4;
    return {version, loadU16(r.body.data() + 2)};
}

// One worksheet stream, from its BOF record to its EOF record. The formatting records come
// before the cells, but a first pass collects them so that their order cannot matter.
class WorksheetStream {
public:
    WorksheetStream(std::span<const uint8_t> stream, uint16_t codePage) : stream_(stream), codePage_(codePage) {}

    void readFormatting();
    std::unique_ptr<SheetCells> readCells();

    uint16_t codePage() const { return codePage_; }
    std::optional<bool> date1904() const { return date1904_; }
    std::vector<CellFormat>& formats() { return formats_; }

private:
    // Calls `visit` for each record of the worksheet itself, not of embedded substreams.
    template <class Visit>
    void forEachRecord(Visit visit);
    std::string text(std::span<const uint8_t> bytes) const;
    uint16_t biff2Xf(std::span<const uint8_t> attributes);
    bool isDate(uint16_t xf) const { return xf < formats_.size() && formats_[xf].isDate; }

    std::span<const uint8_t> stream_;
    uint16_t codePage_;
    std::optional<bool> date1904_;
    std::vector<CellFormat> formats_;
    std::vector<std::string> formatCodes_;
    bool hasXfRecords_ = false;
    uint16_t ixfe_ = 0;
    std::map<uint16_t, uint16_t> xfByAttributes_;  // Excel 2.0 files have no XF records
};

template <class Visit>
void WorksheetStream::forEachRecord(Visit visit) {
    RecordStream records(stream_);
    Record r;
    records.next(r);  // the BOF record, already read by the caller
    int depth = 1;
    while (depth > 0) {
        if (!records.next(r)) throwTruncated("the worksheet ends without an EOF record");
        if (isBof(r.type)) {
            ++depth;
        } else if (r.type == rec::Eof) {
            --depth;
        } else if (depth == 1) {
            visit(r);
        }
    }
}

std::string WorksheetStream::text(std::span<const uint8_t> bytes) const {
    std::string out;
    out.reserve(bytes.size());
    appendCodePage(out, bytes.data(), bytes.size(), textCodePage(codePage_));
    return out;
}

void WorksheetStream::readFormatting() {
    struct RawXf {
        uint16_t formatIndex;
        bool locked;
    };
    std::vector<RawXf> xfs;
    std::vector<std::span<const uint8_t>> codes;
    forEachRecord([&](const Record& r) {
        ByteReader in(r.body, "a formatting record");
        switch (r.type) {
            case rec::FilePass:
                throw FormatError(WorkbookErrorKind::Encrypted,
                                  "the worksheet is encrypted with a password; remove the password in "
                                  "the spreadsheet application and save it again");
            case rec::CodePage: codePage_ = in.u16(); break;
            case rec::DateMode: date1904_ = in.u16() == 1; break;
            // Formats are numbered in the order of their records; BIFF4 puts two unused
            // bytes before the text.
            case old::Format2:
            case old::Format4: {
                if (r.type == old::Format4) in.skip(2);
                const size_t count = in.u8();
                codes.push_back(in.bytes(count));
                break;
            }
            case old::Xf2: {
                in.skip(2);  // font, unused
                const uint8_t formatAndProtection = in.u8();
                xfs.push_back({static_cast<uint16_t>(formatAndProtection & 0x3F), (formatAndProtection & 0x40) != 0});
                break;
            }
            case old::Xf3:
            case old::Xf4: {
                in.skip(1);  // font
                const uint8_t formatIndex = in.u8();
                const uint8_t protection = in.u8();
                xfs.push_back({formatIndex, (protection & 0x01) != 0});
                break;
            }
            default: break;
        }
    });
    for (auto code : codes) formatCodes_.push_back(text(code));
    hasXfRecords_ = !xfs.empty();
    for (const RawXf& xf : xfs) {
        const bool known = xf.formatIndex < formatCodes_.size();
        formats_.push_back({xf.formatIndex, xf.locked, known && isDateFormatCode(formatCodes_[xf.formatIndex]),
                            known && isTextFormatCode(formatCodes_[xf.formatIndex]),
                            known && isTimeFormatCode(formatCodes_[xf.formatIndex])});
    }
}

// BIFF2 cell attributes: byte 0 holds the XF index (63: see the IXFE record before) and the
// locked flag, byte 1 the number format. Without XF records the attributes are the format.
uint16_t WorksheetStream::biff2Xf(std::span<const uint8_t> attributes) {
    if (hasXfRecords_) {
        const uint16_t xf = attributes[0] & 0x3F;
        return xf == 63 ? ixfe_ : xf;
    }
    const auto formatIndex = static_cast<uint16_t>(attributes[1] & 0x3F);
    const bool locked = (attributes[0] & 0x40) != 0;
    const auto key = static_cast<uint16_t>(formatIndex | (locked ? 0x100 : 0));
    auto [it, added] = xfByAttributes_.try_emplace(key, static_cast<uint16_t>(formats_.size()));
    if (added) {
        const bool known = formatIndex < formatCodes_.size();
        formats_.push_back({formatIndex, locked, known && isDateFormatCode(formatCodes_[formatIndex]),
                            known && isTextFormatCode(formatCodes_[formatIndex]),
                            known && isTimeFormatCode(formatCodes_[formatIndex])});
    }
    return it->second;
}

std::unique_ptr<SheetCells> WorksheetStream::readCells() {
    auto sheet = std::make_unique<SheetCells>();
    sheet->reserve(stream_.size() / 16);
    auto inSheet = [](uint32_t row, uint32_t col) { return row < kMaxRows && col < kMaxColumns; };
    struct PendingString {
        bool waiting = false;
        uint16_t row = 0, col = 0, xf = 0;
    } pending;

    // The cached result of a formula; a text result follows in a STRING record.
    auto formulaResult = [&](uint16_t row, uint16_t col, uint16_t xf, std::span<const uint8_t> result) {
        pending.waiting = false;
        if (inSheet(row, col) && sheet->addFormulaResult(row, col, xf, result.data(), isDate(xf))) {
            pending = {true, row, col, xf};
        }
    };
    auto boolErr = [&](uint16_t row, uint16_t col, uint16_t xf, uint8_t value, bool isError) {
        if (!inSheet(row, col)) return;
        if (isError) {
            sheet->addError(row, col, xf, value);
        } else {
            sheet->addBoolean(row, col, xf, value != 0);
        }
    };
    auto number = [&](uint16_t row, uint16_t col, uint16_t xf, double v) {
        if (inSheet(row, col)) sheet->addNumber(row, col, xf, v, isDate(xf));
    };

    forEachRecord([&](const Record& r) {
        ByteReader in(r.body, "a cell record");
        switch (r.type) {
            case old::Ixfe2: ixfe_ = in.u16(); break;
            case rec::Protect: sheet->setProtected(in.u16() != 0); break;
            case old::Blank2:
            case old::Integer2:
            case old::Number2:
            case old::Label2:
            case old::BoolErr2:
            case old::Formula2: {
                const uint16_t row = in.u16(), col = in.u16();
                const uint16_t xf = biff2Xf(in.bytes(3));
                switch (r.type) {
                    case old::Blank2:
                        if (inSheet(row, col)) sheet->addBlank(row, col, xf);
                        break;
                    case old::Integer2: number(row, col, xf, in.u16()); break;
                    case old::Number2: number(row, col, xf, in.f64()); break;
                    case old::Label2: {
                        const size_t count = in.u8();
                        std::string label = text(in.bytes(count));
                        if (inSheet(row, col)) sheet->addLocalText(row, col, xf, std::move(label));
                        break;
                    }
                    case old::BoolErr2: {
                        const uint8_t value = in.u8();
                        boolErr(row, col, xf, value, in.u8() != 0);
                        break;
                    }
                    default: formulaResult(row, col, xf, in.bytes(8)); break;
                }
                break;
            }
            case rec::Blank: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                if (inSheet(row, col)) sheet->addBlank(row, col, xf);
                break;
            }
            case rec::Number: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                number(row, col, xf, in.f64());
                break;
            }
            case rec::Rk: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                number(row, col, xf, decodeRk(in.u32()));
                break;
            }
            case rec::Label: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const size_t count = in.u16();
                std::string label = text(in.bytes(count));
                if (inSheet(row, col)) sheet->addLocalText(row, col, xf, std::move(label));
                break;
            }
            case rec::BoolErr: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const uint8_t value = in.u8();
                boolErr(row, col, xf, value, in.u8() != 0);
                break;
            }
            case old::Formula3:
            case old::Formula4: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                formulaResult(row, col, xf, in.bytes(8));
                break;
            }
            case old::String2:
            case rec::String: {
                if (!pending.waiting) break;
                const size_t count = r.type == old::String2 ? in.u8() : in.u16();
                sheet->addFormulaText(pending.row, pending.col, pending.xf, text(in.bytes(count)));
                pending.waiting = false;
                break;
            }
            default: break;
        }
    });
    sheet->finish();
    return sheet;
}

struct ReadSheet {
    std::unique_ptr<SheetCells> cells;
    std::vector<CellFormat> formats;
    std::optional<bool> date1904;
    uint16_t codePage;
};

// Reads the worksheet stream that starts at `stream`'s first byte; nothing for a chart or
// a macro sheet.
std::optional<ReadSheet> readWorksheet(std::span<const uint8_t> stream, uint16_t codePage) {
    RecordStream records(stream);
    Record r;
    if (!records.next(r) || !isBof(r.type) || r.type == rec::Bof) {
        throwCorrupt("the worksheet does not start with an Excel 2.1-4.0 BOF record");
    }
    const Bof bof = readBof(r);
    if (bof.type != old::TypeWorksheet) return std::nullopt;
    WorksheetStream sheet(stream, codePage);
    sheet.readFormatting();
    auto cells = sheet.readCells();
    return ReadSheet{std::move(cells), std::move(sheet.formats()), sheet.date1904(), sheet.codePage()};
}

void addSheet(OldBiffBook& book, std::string name, ReadSheet sheet) {
    if (book.sheets.empty()) {
        book.formats = std::move(sheet.formats);
        book.codePage = sheet.codePage;
    }
    if (sheet.date1904) book.date1904 = *sheet.date1904;
    book.sheets.push_back({std::move(name), std::move(sheet.cells)});
}

// An Excel 4.0 workbook: globals, and in them each worksheet behind its SHEETHDR record.
void readWorkbook(std::span<const uint8_t> stream, OldBiffBook& book) {
    RecordStream records(stream);
    Record r;
    records.next(r);  // the BOF record
    while (true) {
        if (!records.next(r)) throwTruncated("the workbook globals end without an EOF record");
        if (r.type == rec::Eof) return;
        ByteReader in(r.body, "a workbook globals record");
        switch (r.type) {
            case rec::FilePass:
                throw FormatError(WorkbookErrorKind::Encrypted,
                                  "the workbook is encrypted with a password; remove the password in "
                                  "the spreadsheet application and save it again");
            case rec::CodePage: book.codePage = in.u16(); break;
            case rec::DateMode: book.date1904 = in.u16() == 1; break;
            case old::SheetHdr: {
                const uint32_t size = in.u32();
                const size_t count = in.u8();
                std::string name;
                appendCodePage(name, in.bytes(count).data(), count, textCodePage(book.codePage));
                const size_t start = records.position();
                if (size > stream.size() - start) {
                    throwTruncated("worksheet \"" + name + "\" runs " + std::to_string(size) +
                                   " bytes from byte " + std::to_string(start) + ", beyond the end of the file");
                }
                try {
                    if (auto sheet = readWorksheet(stream.subspan(start, size), book.codePage)) {
                        addSheet(book, std::move(name), std::move(*sheet));
                    }
                } catch (const FormatError& e) {
                    throw FormatError(e.kind(), "worksheet \"" + name + "\": " + e.what());
                }
                records.seek(start + size);
                break;
            }
            default: break;
        }
    }
}

}  // namespace

bool isOldBiffStream(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) return false;
    const uint16_t type = loadU16(bytes.data());
    return type == rec::Bof2 || type == rec::Bof3 || type == rec::Bof4;
}

OldBiffBook readOldBiffStream(std::span<const uint8_t> bytes) {
    RecordStream records(bytes);
    Record r;
    if (!records.next(r) || !isOldBiffStream(bytes)) {
        throwCorrupt("the file does not start with an Excel 2.1-4.0 BOF record");
    }
    const Bof bof = readBof(r);
    OldBiffBook book;
    book.version = bof.version;
    if (bof.type == old::TypeWorkbook && bof.version == BiffVersion::Biff4) {
        readWorkbook(bytes, book);
        return book;
    }
    switch (bof.type) {
        case old::TypeWorksheet: break;
        case old::TypeChart:
            throw FormatError(WorkbookErrorKind::WrongFormat,
                              "an " + versionName(bof.version) + " chart, which holds no worksheet");
        case old::TypeMacroSheet:
            throw FormatError(WorkbookErrorKind::WrongFormat,
                              "an " + versionName(bof.version) + " macro sheet, which holds no worksheet");
        case old::TypeWorkbook:
            throw FormatError(WorkbookErrorKind::WrongFormat,
                              "an " + versionName(bof.version) +
                                  " workspace, which only lists other files; open those instead");
        default:
            throw FormatError(WorkbookErrorKind::Corrupt, "an " + versionName(bof.version) +
                                                              " file of unknown kind " + std::to_string(bof.type));
    }
    if (auto sheet = readWorksheet(bytes, book.codePage)) addSheet(book, kOldBiffSheetName, std::move(*sheet));
    return book;
}

}  // namespace sbx::xls
