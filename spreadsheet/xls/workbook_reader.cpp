#include "spreadsheet/xls/workbook_reader.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "spreadsheet/number_format_text.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/workbook_file_check.h"
#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/cell_records.h"
#include "spreadsheet/xls/continued_reader.h"
#include "spreadsheet/xls/file_sniffer.h"
#include "spreadsheet/xls/number_formats.h"
#include "spreadsheet/xls/old_biff_reader.h"
#include "spreadsheet/xls/record_stream.h"
#include "spreadsheet/xls/shared_strings.h"
#include "spreadsheet/xls/text_encoding.h"

namespace sbx::xls {

namespace {

constexpr uint32_t kMaxColumns = 256;

// A compound file starts with D0 CF 11 E0 A1 B1 1A E1.
constexpr size_t kSignatureBytes = 8;
// Enough of a file's start to tell what other format it is (see describeForeignFile).
constexpr size_t kSniffedBytes = 4096;

std::string hex4(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

// Chooses the workbook stream of the container and explains what else it might be.
CfbNode& workbookStreamNode(CompoundFile& container) {
    CfbNode& root = container.root();
    if (CfbNode* n = root.child(u"Workbook"); n && n->isStream()) return *n;
    if (CfbNode* n = root.child(u"Book"); n && n->isStream()) return *n;
    // Office 2007 and later wrap a password-protected .xlsx in a container like this one.
    if (root.child(u"EncryptedPackage") || root.child(u"EncryptionInfo")) {
        throw FormatError(WorkbookErrorKind::Encrypted,
                          "an .xlsx workbook encrypted with a password; open it in the spreadsheet "
                          "application, remove the password and save it again");
    }
    if (root.child(u"WordDocument")) {
        throw FormatError(WorkbookErrorKind::WrongFormat, "a Word document, not an .xls workbook");
    }
    if (root.child(u"PowerPoint Document")) {
        throw FormatError(WorkbookErrorKind::WrongFormat, "a PowerPoint presentation, not an .xls workbook");
    }
    throw FormatError(WorkbookErrorKind::NotCompoundFile,
                      "the file is an Office container but holds no workbook stream");
}

}  // namespace

WorkbookReader WorkbookReader::open(const std::filesystem::path& file) {
    const WorkbookFileReader in(file);
    // The first bytes say what the file is; only a compound file or an Excel 2.1-4.0 record
    // stream is read whole.
    const auto head = in.head(kSignatureBytes);
    if (!CompoundFile::hasSignature(head) && !isOldBiffStream(head)) {
        const FormatError foreign = describeForeignFile(in.head(kSniffedBytes));
        throw WorkbookError(foreign.kind(), file, foreign.what());
    }
    return fromBytes(in.readAll(), file);
}

WorkbookReader WorkbookReader::fromBytes(std::vector<uint8_t> bytes, const std::filesystem::path& file) {
    WorkbookReader book;
    book.file_ = file;
    try {
        if (isOldBiffStream(bytes)) {
            book.takeOldBiff(readOldBiffStream(bytes));
            book.stream_ = std::move(bytes);
            return book;
        }
        if (!CompoundFile::hasSignature(bytes)) throw describeForeignFile(bytes);
        book.container_ = CompoundFile::parse(bytes);
        bytes.clear();
        bytes.shrink_to_fit();
        book.takeWorkbookStream();
    } catch (const FormatError& e) {
        throw WorkbookError(e.kind(), file, e.what());
    }
    book.sheetCache_.resize(book.worksheets_.size());
    return book;
}

WorkbookReader WorkbookReader::fromSharedBytes(std::span<const uint8_t> bytes, const std::filesystem::path& file) {
    if (isOldBiffStream(bytes) || !CompoundFile::hasSignature(bytes)) {
        return fromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), file);
    }
    WorkbookReader book;
    book.file_ = file;
    try {
        book.container_ = CompoundFile::parse(bytes);
        book.takeWorkbookStream();
    } catch (const FormatError& e) {
        throw WorkbookError(e.kind(), file, e.what());
    }
    book.sheetCache_.resize(book.worksheets_.size());
    return book;
}

void WorkbookReader::takeWorkbookStream() {
    CfbNode& node = workbookStreamNode(container_);
    // The reader takes the workbook stream over (decryption changes it in place); the
    // container keeps every other stream and storage for a later save.
    stream_ = std::move(node.data);
    node.data.clear();
    readGlobals();
}

void WorkbookReader::takeOldBiff(OldBiffBook book) {
    version_ = book.version;
    date1904_ = book.date1904;
    codePage_ = book.codePage;
    formats_ = std::move(book.formats);
    for (auto& sheet : book.sheets) {
        worksheets_.push_back({std::move(sheet.name), 0, 0, SheetVisibility::Visible});
        sheetCache_.push_back(std::move(sheet.cells));
    }
}

std::string WorkbookReader::biff5Text(std::span<const uint8_t> bytes, size_t count) const {
    std::string text;
    text.reserve(count);
    appendCodePage(text, bytes.data(), count, codePage_);
    return text;
}

void WorkbookReader::readGlobals() {
    RecordStream records(stream_);
    Record r;
    if (!records.next(r)) throwTruncated("the workbook stream is empty");
    if (r.type == rec::Bof2 || r.type == rec::Bof3 || r.type == rec::Bof4) {
        throw FormatError(WorkbookErrorKind::UnsupportedVersion,
                          "a workbook older than Excel 95; only Excel 95 and Excel 97-2003 "
                          "workbooks can be read");
    }
    if (r.type != rec::Bof || r.body.size() < 4) {
        throwCorrupt("the workbook stream does not start with a BOF record");
    }
    const uint16_t biffVersion = loadU16(r.body.data());
    if (biffVersion == rec::VersionBiff8) {
        version_ = BiffVersion::Biff8;
    } else if (biffVersion == rec::VersionBiff5) {
        version_ = BiffVersion::Biff5;
    } else {
        throw FormatError(WorkbookErrorKind::UnsupportedVersion,
                          "unknown workbook version 0x" + hex4(biffVersion) +
                              "; only Excel 95 and Excel 97-2003 workbooks can be read");
    }
    if (loadU16(r.body.data() + 2) != rec::BofGlobals) {
        throwCorrupt("the workbook stream does not start with the workbook globals");
    }
    if (version_ == BiffVersion::Biff8) codePage_ = 1200;

    std::unordered_map<uint16_t, bool> customFormatIsDate;
    std::unordered_set<uint16_t> customTextFormats;
    std::unordered_set<uint16_t> customTimeFormats;
    struct RawXf {
        uint16_t formatId;
        bool locked;
    };
    std::vector<RawXf> xfs;
    bool sawEof = false;

    while (records.next(r)) {
        ByteReader in(r.body, "a workbook globals record");
        switch (r.type) {
            case rec::FilePass: {
                if (!decryptWorkbookStream(stream_, r.offset, version_, kDefaultWritePassword)) {
                    throw FormatError(WorkbookErrorKind::Encrypted,
                                      "the workbook is encrypted with a password (a password to "
                                      "open); remove the password in the spreadsheet application "
                                      "and save it again");
                }
                encrypted_ = true;
                break;
            }
            case rec::CodePage:
                codePage_ = in.u16();
                break;
            case rec::DateMode:
                date1904_ = in.u16() == 1;
                break;
            case rec::Format: {
                // A FORMAT record that cannot be read (some writers leave it a byte short) is
                // passed over: its cells show as General, and the rest of the workbook reads.
                if (r.body.size() < 3) break;
                const uint16_t id = in.u16();
                std::string code;
                try {
                    if (version_ == BiffVersion::Biff8) {
                        code = readBiff8String(r.body.subspan(2), 2);
                    } else {
                        const size_t count = in.u8();
                        code = biff5Text(in.bytes(count), count);
                    }
                } catch (const FormatError&) {
                    break;
                }
                customFormatIsDate[id] = isDateFormatCode(code);
                formatCodes_[id] = code;
                if (isTextFormatCode(code)) customTextFormats.insert(id);
                if (isTimeFormatCode(code)) customTimeFormats.insert(id);
                break;
            }
            case rec::Xf: {
                in.skip(2);  // font
                const uint16_t formatId = in.u16();
                const uint16_t protection = in.u16();
                xfs.push_back({formatId, (protection & 0x0001) != 0});
                break;
            }
            case rec::BoundSheet: {
                const uint32_t offset = in.u32();
                const uint8_t visibility = in.u8() & 0x03;
                const uint8_t type = in.u8();
                std::string name;
                if (version_ == BiffVersion::Biff8) {
                    name = readBiff8String(r.body.subspan(6), 1);
                } else {
                    const size_t count = in.u8();
                    name = biff5Text(in.bytes(count), count);
                }
                if (type != 0) break;  // chart, macro sheet or module
                if (offset >= stream_.size()) {
                    throwCorrupt("worksheet \"" + name + "\" starts at byte " + std::to_string(offset) +
                                 ", beyond the end of the workbook stream");
                }
                WorksheetEntry entry;
                entry.name = std::move(name);
                entry.streamOffset = offset;
                entry.visibility = static_cast<SheetVisibility>(visibility > 2 ? 1 : visibility);
                worksheets_.push_back(std::move(entry));
                break;
            }
            case rec::Sst: {
                std::vector<std::span<const uint8_t>> segments{r.body};
                for (auto part : records.takeContinues()) segments.push_back(part);
                sharedStrings_ = readSharedStrings(std::move(segments));
                break;
            }
            case rec::Eof:
                sawEof = true;
                break;
            default:
                break;
        }
        if (sawEof) break;
    }
    if (!sawEof) throwTruncated("the workbook globals end without an EOF record");

    // A worksheet's records run to the start of the next substream: a fair guess at how
    // many cells to make room for.
    std::vector<size_t> starts;
    for (const auto& w : worksheets_) starts.push_back(w.streamOffset);
    starts.push_back(stream_.size());
    std::sort(starts.begin(), starts.end());
    for (auto& w : worksheets_) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), w.streamOffset);
        w.byteLength = (next == starts.end() ? stream_.size() : *next) - w.streamOffset;
    }

    formats_.reserve(xfs.size());
    for (const RawXf& xf : xfs) {
        auto custom = customFormatIsDate.find(xf.formatId);
        const bool isDate = custom != customFormatIsDate.end() ? custom->second
                                                               : isBuiltInDateFormat(xf.formatId);
        const bool isText = custom != customFormatIsDate.end() ? customTextFormats.contains(xf.formatId)
                                                               : xf.formatId == kBuiltInTextFormat;
        const bool isTime = custom != customFormatIsDate.end() ? customTimeFormats.contains(xf.formatId)
                                                               : isBuiltInTimeFormat(xf.formatId);
        formats_.push_back({xf.formatId, xf.locked, isDate, isText, isTime});
    }
}

const CellFormat& WorkbookReader::format(uint16_t xf) const {
    static const CellFormat general{};
    return xf < formats_.size() ? formats_[xf] : general;
}

std::string WorkbookReader::formatCode(uint16_t xf) const {
    const uint16_t id = format(xf).formatId;
    const auto custom = formatCodes_.find(id);
    return custom != formatCodes_.end() ? custom->second : std::string(builtInFormatCode(id));
}

const SheetCells& WorkbookReader::cells(size_t sheetIndex) const {
    if (sheetIndex >= worksheets_.size()) {
        throw WorkbookError(WorkbookErrorKind::SheetNotFound, file_,
                            "the workbook has no worksheet number " + std::to_string(sheetIndex + 1));
    }
    auto& cached = sheetCache_[sheetIndex];
    if (!cached) {
        try {
            cached = readSheet(worksheets_[sheetIndex]);
        } catch (const FormatError& e) {
            throw WorkbookError(e.kind(), file_,
                                "worksheet \"" + worksheets_[sheetIndex].name + "\": " + e.what());
        }
    }
    return *cached;
}

std::unique_ptr<SheetCells> WorkbookReader::readSheet(const WorksheetEntry& entry) const {
    auto sheet = std::make_unique<SheetCells>();
    sheet->reserve(entry.byteLength / 14);  // a cell record takes 14 to 18 bytes
    RecordStream records(stream_, entry.streamOffset);
    Record r;
    if (!records.next(r) || r.type != rec::Bof) {
        throwCorrupt("the worksheet does not start with a BOF record at byte " +
                     std::to_string(entry.streamOffset));
    }
    const bool biff8 = version_ == BiffVersion::Biff8;
    const uint32_t maxRows = biff8 ? 65536 : 16384;
    auto isDate = [this](uint16_t xf) { return xf < formats_.size() && formats_[xf].isDate; };
    auto inSheet = [&](uint32_t row, uint32_t col) { return row < maxRows && col < kMaxColumns; };

    // A formula whose text result follows in a STRING record.
    struct PendingString {
        bool waiting = false;
        uint16_t row = 0, col = 0, xf = 0;
    } pendingString;
    int depth = 1;  // embedded charts bring BOF/EOF pairs of their own

    while (depth > 0 && records.next(r)) {
        r.type = rec::worksheetRecordType(r.type);
        if (r.type == rec::Bof) {
            ++depth;
            continue;
        }
        if (r.type == rec::Eof) {
            --depth;
            continue;
        }
        if (depth != 1) continue;
        ByteReader in(r.body, "a cell record");
        switch (r.type) {
            case rec::Number: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const double v = in.f64();
                if (inSheet(row, col)) sheet->addNumber(row, col, xf, v, isDate(xf));
                break;
            }
            case rec::Rk: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const double v = decodeRk(in.u32());
                if (inSheet(row, col)) sheet->addNumber(row, col, xf, v, isDate(xf));
                break;
            }
            case rec::MulRk: {
                const uint16_t row = in.u16(), first = in.u16();
                const size_t count = r.body.size() >= 6 ? (r.body.size() - 6) / 6 : 0;
                for (size_t i = 0; i < count; ++i) {
                    const uint16_t xf = in.u16();
                    const double v = decodeRk(in.u32());
                    const uint32_t col = first + static_cast<uint32_t>(i);
                    if (inSheet(row, col)) sheet->addNumber(row, col, xf, v, isDate(xf));
                }
                break;
            }
            case rec::LabelSst: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const uint32_t index = in.u32();
                if (!inSheet(row, col)) break;
                if (index < sharedStrings_.size()) {
                    sheet->addSharedText(row, col, xf, index);
                } else {
                    sheet->addBlank(row, col, xf);  // the table lacks the string
                }
                break;
            }
            case rec::Label:
            case rec::RString: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                std::string text;
                if (biff8) {
                    text = readBiff8String(r.body.subspan(6), 2);
                } else {
                    const size_t count = in.u16();
                    text = biff5Text(in.bytes(std::min(count, in.remaining())), std::min(count, in.remaining()));
                }
                if (inSheet(row, col)) sheet->addLocalText(row, col, xf, std::move(text));
                break;
            }
            case rec::BoolErr: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const uint8_t value = in.u8();
                const bool isError = in.u8() != 0;
                if (!inSheet(row, col)) break;
                if (isError) {
                    sheet->addError(row, col, xf, value);
                } else {
                    sheet->addBoolean(row, col, xf, value != 0);
                }
                break;
            }
            case rec::Formula: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                const auto result = in.bytes(8);
                pendingString.waiting = false;
                if (inSheet(row, col) && sheet->addFormulaResult(row, col, xf, result.data(), isDate(xf))) {
                    pendingString = {true, row, col, xf};
                }
                break;
            }
            case rec::String: {
                std::vector<std::span<const uint8_t>> parts{r.body};
                for (auto part : records.takeContinues()) parts.push_back(part);
                if (!pendingString.waiting) break;
                std::string text;
                if (biff8) {
                    ContinuedReader cr(std::move(parts));
                    const size_t count = cr.u16();
                    const uint8_t options = cr.u8();
                    cr.appendChars(text, count, (options & 0x01) != 0);
                } else {
                    const size_t count = in.u16();
                    text = biff5Text(in.bytes(std::min(count, in.remaining())), std::min(count, in.remaining()));
                }
                sheet->addFormulaText(pendingString.row, pendingString.col, pendingString.xf, std::move(text));
                pendingString.waiting = false;
                break;
            }
            case rec::Blank: {
                const uint16_t row = in.u16(), col = in.u16(), xf = in.u16();
                if (inSheet(row, col)) sheet->addBlank(row, col, xf);
                break;
            }
            case rec::MulBlank: {
                const uint16_t row = in.u16(), first = in.u16();
                const size_t count = r.body.size() >= 6 ? (r.body.size() - 6) / 2 : 0;
                for (size_t i = 0; i < count; ++i) {
                    const uint16_t xf = in.u16();
                    const uint32_t col = first + static_cast<uint32_t>(i);
                    if (inSheet(row, col)) sheet->addBlank(row, col, xf);
                }
                break;
            }
            case rec::Row: {
                const uint16_t row = in.u16();
                in.skip(10);
                const uint16_t flags = in.u16();
                const uint16_t xf = in.u16() & 0x0FFF;
                if ((flags & 0x0080) && row < maxRows) sheet->setRowFormat(row, xf);
                break;
            }
            case rec::ColInfo: {
                const uint16_t first = in.u16(), last = in.u16();
                in.skip(2);
                const uint16_t xf = in.u16();
                if (first <= last) sheet->setColumnFormat(first, std::min<uint32_t>(last, kMaxColumns - 1), xf);
                break;
            }
            case rec::Protect:
                sheet->setProtected(in.u16() != 0);
                break;
            case rec::Array:
            case rec::Table: {
                // The block the formula before it fills. An array formula of one cell is
                // replaced whole by a write, as in the spreadsheet application; a data table
                // of any size is not.
                if (r.body.size() < 6) break;
                const uint16_t firstRow = in.u16(), lastRow = in.u16();
                const uint8_t firstColumn = in.u8(), lastColumn = in.u8();
                const bool table = r.type == rec::Table;
                if (firstRow > lastRow || firstColumn > lastColumn) break;
                if (!table && firstRow == lastRow && firstColumn == lastColumn) break;
                sheet->addBlock({firstRow, lastRow, firstColumn, lastColumn, table});
                break;
            }
            default:
                break;
        }
    }
    sheet->finish();
    return sheet;
}

CellValue WorkbookReader::valueOf(const SheetCells& sheet, const StoredCell& cell) const {
    switch (cell.kind) {
        case StoredKind::Blank: return CellValue();
        case StoredKind::Number: return CellValue::number(cell.number);
        case StoredKind::Date: {
            const double serial = date1904_ ? cell.number + kDate1904Offset : cell.number;
            return format(cell.xf).isTime ? CellValue::time(serial) : CellValue::date(serial);
        }
        case StoredKind::SharedText: return CellValue::text(sharedStrings_[cell.index]);
        case StoredKind::LocalText: return CellValue::text(sheet.localText(cell.index));
        case StoredKind::Boolean: return CellValue::boolean(cell.number != 0.0);
        case StoredKind::Error: return CellValue::error(static_cast<uint8_t>(cell.number));
    }
    return CellValue();
}

}  // namespace sbx::xls
