#include "spreadsheet/xls/workbook_writer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/biff_crypto.h"
#include "spreadsheet/xls/biff_output.h"
#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/cell_records.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xls/formula_recalc.h"
#include "spreadsheet/xls/formula_results.h"
#include "spreadsheet/xls/sheet_rebuilder.h"
#include "spreadsheet/xls/sst_builder.h"

namespace sbx::xls {

namespace {

constexpr uint16_t kDefaultCellXf = 15;
constexpr uint16_t kShortDateFormat = 14;  // built-in: the system's short date
constexpr size_t kMaxXfs = 4050;           // what Excel 97-2003 keeps
constexpr uint16_t kEncryptionRc4 = 1;     // FILEPASS wEncryptionType

struct GlobalRecord {
    uint16_t type;
    size_t offset;
    size_t size;  // header and body
};

std::vector<GlobalRecord> readGlobals(std::span<const uint8_t> stream, size_t& end) {
    std::vector<GlobalRecord> out;
    size_t pos = 0;
    while (pos + 4 <= stream.size()) {
        const uint16_t type = loadU16(stream.data() + pos);
        const size_t size = 4 + loadU16(stream.data() + pos + 2);
        if (pos + size > stream.size()) throwTruncated("a workbook globals record runs past the end of the stream");
        out.push_back({type, pos, size});
        pos += size;
        if (type == rec::Eof) {
            end = pos;
            return out;
        }
    }
    throwTruncated("the workbook globals end without an EOF record");
}

// Date cells need a date format: a cell whose format is not one gets a copy of its format
// with the short date, as typing a date into it in the spreadsheet application does.
class DateFormats {
public:
    DateFormats(const WorkbookReader& reader, std::vector<std::span<const uint8_t>> xfBodies)
        : reader_(reader), xfBodies_(std::move(xfBodies)) {}

    uint16_t forDate(uint16_t xf) {
        if (reader_.format(xf).isDate) return xf;
        if (auto it = added_.find(xf); it != added_.end()) return it->second;
        if (xf >= xfBodies_.size() || xfBodies_[xf].size() < 10 || xfBodies_.size() + extra_.size() >= kMaxXfs) {
            return xf;  // nothing to copy, or no room left: the number keeps the cell's format
        }
        std::vector<uint8_t> body(xfBodies_[xf].begin(), xfBodies_[xf].end());
        storeU16(body.data() + 2, kShortDateFormat);
        body[9] = static_cast<uint8_t>(body[9] | 0x04);  // the number format is the cell's own
        const auto index = static_cast<uint16_t>(xfBodies_.size() + extra_.size());
        extra_.push_back(std::move(body));
        added_.emplace(xf, index);
        return index;
    }
    const std::vector<std::vector<uint8_t>>& added() const { return extra_; }

private:
    const WorkbookReader& reader_;
    std::vector<std::span<const uint8_t>> xfBodies_;
    std::vector<std::vector<uint8_t>> extra_;
    std::map<uint16_t, uint16_t> added_;
};

CellRecords encodeEdits(const WorkbookReader& reader, size_t sheetIndex, const SheetEdits& edits, SstBuilder& sst,
                        DateFormats& dates) {
    const SheetCells& cells = reader.cells(sheetIndex);
    CellRecords out;
    for (const auto& [key, value] : edits) {
        const auto row = static_cast<uint16_t>(key >> 8);
        const auto column = static_cast<uint16_t>(key & 0xFF);
        const uint16_t xf = cells.formatAt(row, column);
        switch (value.kind()) {
            case CellKind::Empty:
                // The cell keeps its format; with the default format it has no reason to exist.
                out[key] = xf == kDefaultCellXf ? std::vector<uint8_t>() : blankRecord(row, column, xf);
                break;
            case CellKind::Number:
                out[key] = numberRecord(row, column, xf, value.numberValue());
                break;
            case CellKind::Date: {
                const double serial = reader.uses1904Dates() ? value.numberValue() - kDate1904Offset : value.numberValue();
                out[key] = numberRecord(row, column, dates.forDate(xf), serial);
                break;
            }
            case CellKind::Text:
                out[key] = sharedTextRecord(row, column, xf, sst.indexOf(value.textValue()));
                sst.adjustReferences(1);
                break;
            case CellKind::Boolean:
                out[key] = booleanRecord(row, column, xf, value.booleanValue());
                break;
            case CellKind::Error:
                out[key] = errorRecord(row, column, xf, value.errorCode());
                break;
        }
    }
    return out;
}

void writeRecalcId(BiffOutput& out) {
    // An engine number below every real one: the application recalculates on opening.
    const size_t s = out.beginRecord(rec::RecalcId);
    out.u16(rec::RecalcId);
    out.u16(0);
    out.u32(0);
    out.endRecord(s);
}

}  // namespace

std::vector<uint8_t> buildWorkbookStream(const WorkbookReader& reader, const WorkbookEdits& edits) {
    if (reader.version() != BiffVersion::Biff8) {
        throw FormatError(WorkbookErrorKind::WriteUnsupported,
                          "only Excel 97-2003 workbooks are written; this is an Excel 95 workbook");
    }
    const auto stream = reader.workbookStream();
    size_t globalsEnd = 0;
    const auto globals = readGlobals(stream, globalsEnd);
    auto body = [&](const GlobalRecord& r) { return stream.subspan(r.offset + 4, r.size - 4); };

    SstBuilder sst;
    bool hadSst = false;
    std::vector<std::span<const uint8_t>> xfBodies;
    size_t lastXf = globals.size();
    for (size_t i = 0; i < globals.size(); ++i) {
        if (globals[i].type == rec::Sst) {
            std::vector<std::span<const uint8_t>> segments{body(globals[i])};
            for (size_t k = i + 1; k < globals.size() && globals[k].type == rec::Continue; ++k) {
                segments.push_back(body(globals[k]));
            }
            sst = SstBuilder::parse(std::move(segments));
            hadSst = true;
        } else if (globals[i].type == rec::Xf) {
            xfBodies.push_back(body(globals[i]));
            lastXf = i;
        }
    }
    DateFormats dates(reader, xfBodies);

    // The substreams after the globals in stream order, each with the sheet it is, if any.
    std::vector<size_t> starts;
    for (const auto& r : globals) {
        if (r.type == rec::BoundSheet && r.size >= 8) {
            const size_t at = loadU32(stream.data() + r.offset + 4);
            // Without its globals EOF a stream reads on into the first worksheet; rewritten,
            // that worksheet would move and its position would not.
            if (at < globalsEnd && r.size >= 10 && stream[r.offset + 4 + 5] == 0) {
                throwCorrupt("a worksheet starts at byte " + std::to_string(at) +
                             ", inside the workbook globals (they end at byte " + std::to_string(globalsEnd) +
                             "), so the workbook cannot be rewritten");
            }
            if (at >= globalsEnd && at < stream.size()) starts.push_back(at);
        }
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    // Sheets with written cells, and sheets whose formulas get new results.
    const formula::Recalculation recalculated = formula::recalculate(reader, edits);
    std::map<size_t, const SheetEdits*> touched;
    for (const auto& [sheetIndex, sheetEdits] : edits) {
        if (!sheetEdits.empty()) touched[sheetIndex] = &sheetEdits;
    }
    for (const auto& [sheetIndex, updates] : recalculated.updates) touched.try_emplace(sheetIndex, nullptr);

    std::map<size_t, RebuiltSheet> rebuilt;  // by old start
    for (const auto& [sheetIndex, sheetEdits] : touched) {
        if (sheetIndex >= reader.worksheets().size()) continue;
        const size_t start = reader.worksheets()[sheetIndex].streamOffset;
        const auto next = std::upper_bound(starts.begin(), starts.end(), start);
        const size_t end = next == starts.end() ? stream.size() : *next;
        std::span<const uint8_t> substream = stream.subspan(start, end - start);
        std::vector<uint8_t> withResults;
        if (const auto updates = recalculated.updates.find(sheetIndex); updates != recalculated.updates.end()) {
            withResults = formula::writeFormulaResults(substream, updates->second);
            substream = withResults;
        }
        const CellRecords records =
            sheetEdits ? encodeEdits(reader, sheetIndex, *sheetEdits, sst, dates) : CellRecords();
        RebuiltSheet sheet = rebuildSheet(substream, records);
        sst.adjustReferences(-sheet.sharedTextCellsRemoved);
        rebuilt.emplace(start, std::move(sheet));
    }
    const bool needSst = hadSst || sst.size() > 0;

    BiffOutput out;
    out.bytes().reserve(stream.size() + 4096);
    std::vector<size_t> boundSheetFields;  // positions of lbPlyPos in `out`
    bool sawRecalcId = false;
    bool wroteSst = false;
    size_t filePassAt = SIZE_MAX;
    for (size_t i = 0; i < globals.size(); ++i) {
        const GlobalRecord& r = globals[i];
        switch (r.type) {
            case rec::FilePass:
                // RC4 is written back with the same key; XOR obfuscation is dropped and the
                // stream written in the clear.
                if (r.size < 6 || loadU16(stream.data() + r.offset + 4) != kEncryptionRc4) continue;
                filePassAt = out.size();
                break;
            case rec::Sst:
                sst.writeSst(out, 0);
                wroteSst = true;
                while (i + 1 < globals.size() && globals[i + 1].type == rec::Continue) ++i;
                if (i + 1 >= globals.size() || globals[i + 1].type != rec::ExtSst) sst.writeExtSst(out);
                continue;
            case rec::ExtSst:
                if (wroteSst) sst.writeExtSst(out);
                continue;
            case rec::RecalcId:
                writeRecalcId(out);
                sawRecalcId = true;
                continue;
            case rec::BoundSheet:
                boundSheetFields.push_back(out.size() + 4);
                break;
            case rec::Eof:
                if (!sawRecalcId) writeRecalcId(out);
                if (needSst && !wroteSst) {
                    sst.writeSst(out, 0);
                    sst.writeExtSst(out);
                }
                break;
            default:
                break;
        }
        out.append(stream.subspan(r.offset, r.size));
        if (i == lastXf) {
            for (const auto& xf : dates.added()) out.record(rec::Xf, xf);
        }
    }

    // Substreams: rebuilt where cells were written, copied otherwise; every one may move.
    std::map<size_t, size_t> moved;  // old start -> new start
    if (!starts.empty() && starts.front() > globalsEnd) out.append(stream.subspan(globalsEnd, starts.front() - globalsEnd));
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t oldStart = starts[k];
        const size_t oldEnd = k + 1 < starts.size() ? starts[k + 1] : stream.size();
        const size_t newStart = out.size();
        moved[oldStart] = newStart;
        if (auto it = rebuilt.find(oldStart); it != rebuilt.end()) {
            out.append(it->second.bytes);
            shiftIndexPositions(std::span<uint8_t>(out.bytes()).subspan(newStart), static_cast<int64_t>(newStart), 0);
        } else {
            out.append(stream.subspan(oldStart, oldEnd - oldStart));
            shiftIndexPositions(std::span<uint8_t>(out.bytes()).subspan(newStart),
                                static_cast<int64_t>(newStart) - static_cast<int64_t>(oldStart), oldStart);
        }
    }
    for (size_t field : boundSheetFields) {
        const auto it = moved.find(loadU32(out.bytes().data() + field));
        if (it != moved.end()) storeU32(out.bytes().data() + field, static_cast<uint32_t>(it->second));
    }
    // RC4 is its own inverse: running the decryption over the new plain stream encrypts it
    // with the keystream of each byte's new position. Only workbooks with the default
    // password are opened, so that is the password.
    if (filePassAt != SIZE_MAX &&
        !decryptWorkbookStream(out.bytes(), filePassAt, BiffVersion::Biff8, kDefaultWritePassword)) {
        throw FormatError(WorkbookErrorKind::Encrypted, "the workbook's encryption key does not match the default password");
    }
    return std::move(out.bytes());
}

std::vector<uint8_t> buildWorkbookFile(const WorkbookReader& reader, const WorkbookEdits& edits) {
    CompoundFile container = reader.container();
    CfbNode* node = container.root().child(u"Workbook");
    if (!node || !node->isStream()) {
        throw FormatError(WorkbookErrorKind::WriteUnsupported, "the workbook has no Excel 97-2003 workbook stream");
    }
    node->data = buildWorkbookStream(reader, edits);
    // A dual-stream file also carries the workbook as an Excel 95 "Book" stream, which this
    // save would leave with the old values: a reader that takes it would show them without a
    // word. It goes; every application since Excel 97 reads the "Workbook" stream.
    auto& streams = container.root().children;
    std::erase_if(streams, [](const CfbNode& n) { return n.isStream() && n.name == u"Book"; });
    return container.serialize();
}

namespace {

void checkWrittenFile(const WorkbookReader& reader, const WorkbookEdits& edits, std::vector<uint8_t> bytes) {
    WorkbookReader written = [&] {
        try {
            auto again = WorkbookReader::fromBytes(std::move(bytes), reader.file());
            for (size_t i = 0; i < again.worksheets().size(); ++i) (void)again.cells(i);
            return again;
        } catch (const WorkbookError& e) {
            throw FormatError(WorkbookErrorKind::Corrupt,
                              "the new file would not read back (" + e.reason() + "); the file is left as it was");
        }
    }();
    for (const auto& [sheetIndex, cells] : edits) {
        if (sheetIndex >= written.worksheets().size()) continue;
        const auto& sheet = written.cells(sheetIndex);
        for (const auto& [key, value] : cells) {
            const StoredCell* stored = sheet.find(key >> 8, key & 0xFF);
            const CellValue read = stored ? written.valueOf(sheet, *stored) : CellValue();
            if (!holdsWrittenValue(value, read, written.uses1904Dates())) {
                throw FormatError(WorkbookErrorKind::Corrupt,
                                  "the records of worksheet \"" + written.worksheets()[sheetIndex].name +
                                      "\" are damaged: the cell at row " + std::to_string((key >> 8) + 1) +
                                      ", column " + std::to_string((key & 0xFF) + 1) +
                                      " would not keep its new value; the file is left as it was");
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> buildCheckedWorkbookFile(const WorkbookReader& reader, const WorkbookEdits& edits) {
    std::vector<uint8_t> bytes = buildWorkbookFile(reader, edits);
    checkWrittenFile(reader, edits, bytes);
    return bytes;
}

void saveWorkbook(const WorkbookReader& reader, const WorkbookEdits& edits, const std::filesystem::path& target,
                  const FileWriteSteps& steps, const SavePlacement& placement) {
    std::vector<uint8_t> bytes;
    try {
        // The new file must read back, with every write in place, before it takes the old
        // one's place.
        bytes = buildCheckedWorkbookFile(reader, edits);
    } catch (const FormatError& e) {
        throw WorkbookError(e.kind(), target, e.what());
    }
    if (placement.written) placement.written(bytes);
    replaceFileAtomically(target, bytes, steps, placement.link);
}

void saveWorkbook(const WorkbookReader& reader, const WorkbookEdits& edits, const std::filesystem::path& target) {
    saveWorkbook(reader, edits, target, FileWriteSteps::system());
}

}  // namespace sbx::xls
