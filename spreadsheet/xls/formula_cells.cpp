#include "spreadsheet/xls/formula_cells.h"

#include <map>
#include <optional>

#include "spreadsheet/xls/biff_output.h"
#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/continued_reader.h"
#include "spreadsheet/xls/record_stream.h"

namespace sbx::xls::formula {

namespace {

constexpr size_t kFormulaHeader = 20;  // row, column, xf, result, flags, chn
constexpr uint16_t kSupBook = 0x01AE;
constexpr uint16_t kExternSheet = 0x0017;
constexpr uint16_t kName = 0x0018;
constexpr uint16_t kSelfReference = 0x0401;  // SUPBOOK of the workbook's own sheets
constexpr uint32_t kNoWorksheet = UINT32_MAX;

// EXTERNSHEET entries as worksheet ranges of this workbook.
class WorkbookSheets final : public SheetResolver {
public:
    explicit WorkbookSheets(const WorkbookReader& reader) {
        RecordStream records(reader.workbookStream());
        Record r;
        uint32_t nextWorksheet = 0;
        while (records.next(r) && r.type != rec::Eof) {
            if (r.type == rec::BoundSheet && r.body.size() >= 6) {
                boundSheets_.push_back(r.body[5] == 0 ? nextWorksheet++ : kNoWorksheet);
            } else if (r.type == kSupBook) {
                ownBook_.push_back(r.body.size() == 4 && loadU16(r.body.data() + 2) == kSelfReference);
            } else if (r.type == kName) {
                names_.push_back(readName(r.body));
            } else if (r.type == kExternSheet && r.body.size() >= 2) {
                const size_t count = loadU16(r.body.data());
                for (size_t i = 0; i < count && 2 + 6 * (i + 1) <= r.body.size(); ++i) {
                    const uint8_t* p = r.body.data() + 2 + 6 * i;
                    xti_.push_back({loadU16(p), static_cast<int16_t>(loadU16(p + 2)), static_cast<int16_t>(loadU16(p + 4))});
                }
            }
        }
    }

    SheetTarget resolve(uint16_t index, uint32_t& first, uint32_t& last) const override {
        if (index >= xti_.size()) return SheetTarget::Deleted;
        const Xti& x = xti_[index];
        if (x.book >= ownBook_.size() || !ownBook_[x.book]) return SheetTarget::OtherWorkbook;
        if (x.first < 0 || x.last < x.first || static_cast<size_t>(x.last) >= boundSheets_.size()) {
            return SheetTarget::Deleted;
        }
        first = boundSheets_[static_cast<size_t>(x.first)];
        last = boundSheets_[static_cast<size_t>(x.last)];
        // A range of sheets that takes in a chart sheet keeps to the worksheets.
        for (int i = x.first; first == kNoWorksheet && i <= x.last; ++i) first = boundSheets_[static_cast<size_t>(i)];
        for (int i = x.last; last == kNoWorksheet && i >= x.first; --i) last = boundSheets_[static_cast<size_t>(i)];
        return first == kNoWorksheet ? SheetTarget::Deleted : SheetTarget::Worksheets;
    }

    bool ownWorkbook(uint16_t index) const override {
        return index < xti_.size() && xti_[index].book < ownBook_.size() && ownBook_[xti_[index].book];
    }

    std::optional<std::vector<Token>> nameTokens(uint16_t index) const override {
        if (index == 0 || index > names_.size()) return std::nullopt;
        Name& name = names_[index - 1];
        if (!name.decoded) {
            // A name that leads back to itself, or through more names than anyone writes,
            // stays unknown.
            if (name.decoding || nesting_ >= kNamesDeep) return std::nullopt;
            name.decoding = true;
            ++nesting_;
            name.tokens = decodeName(name);
            --nesting_;
            name.decoding = false;
            name.decoded = true;
        }
        return name.tokens;
    }

private:
    struct Xti {
        uint16_t book;
        int16_t first, last;
    };
    struct Name {
        bool usable = false;  // a plain name whose definition came whole in its record
        std::vector<uint8_t> rgce;
        size_t cce = 0;
        bool decoding = false, decoded = false;
        std::optional<std::vector<Token>> tokens;
    };

    // NAME: options, shortcut key, name length, formula length, 2 reserved, sheet, 4 text
    // lengths, the name (flag byte, characters), the formula and its array constants.
    static Name readName(std::span<const uint8_t> body) {
        Name name;
        if (body.size() < 15) return name;
        constexpr uint16_t kFunctionOrMacro = 0x0002 | 0x0004 | 0x0008;
        const uint16_t options = loadU16(body.data());
        const size_t length = body[3];
        name.cce = loadU16(body.data() + 4);
        const size_t textBytes = length * ((body[14] & 0x01) ? 2 : 1);
        const size_t formulaAt = 15 + textBytes;
        if ((options & kFunctionOrMacro) != 0 || name.cce == 0 || formulaAt + name.cce > body.size()) return name;
        name.rgce.assign(body.begin() + static_cast<std::ptrdiff_t>(formulaAt), body.end());
        name.usable = true;
        return name;
    }

    // The name's tokens when they mean the same in every cell that uses the name (decoded
    // for two far-apart cells on two sheets, they agree: no relative references) and the
    // evaluator knows them all.
    std::optional<std::vector<Token>> decodeName(const Name& name) const {
        if (!name.usable) return std::nullopt;
        try {
            auto here = decodeTokens(name.rgce, name.cce, FormulaSite{0, 0, 0}, true, *this);
            const auto there = decodeTokens(name.rgce, name.cce, FormulaSite{1, 1000, 100}, true, *this);
            if (here.size() != there.size()) return std::nullopt;
            for (size_t i = 0; i < here.size(); ++i) {
                if (here[i].kind == TokenKind::Unknown) return std::nullopt;
                const Area& a = here[i].area;
                const Area& b = there[i].area;
                if (a.firstSheet != b.firstSheet || a.lastSheet != b.lastSheet || a.firstRow != b.firstRow ||
                    a.lastRow != b.lastRow || a.firstColumn != b.firstColumn || a.lastColumn != b.lastColumn) {
                    return std::nullopt;
                }
            }
            return here;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    std::vector<uint32_t> boundSheets_;
    std::vector<bool> ownBook_;
    std::vector<Xti> xti_;
    static constexpr int kNamesDeep = 16;
    mutable std::vector<Name> names_;
    mutable int nesting_ = 0;
};

struct RawFormula {
    uint16_t row, column;
    std::vector<uint8_t> body;
    std::string text;
};

struct SharedTokens {
    Area range;  // on the formula's sheet
    std::vector<uint8_t> rgce;
    size_t cce;
};

std::string readStringRecord(std::vector<std::span<const uint8_t>> parts) {
    ContinuedReader in(std::move(parts));
    const size_t count = in.u16();
    const uint8_t options = in.u8();
    std::string text;
    in.appendChars(text, count, (options & 0x01) != 0);
    return text;
}

Area rangeOf(std::span<const uint8_t> body, uint32_t sheet) {
    Area a;
    a.firstSheet = a.lastSheet = sheet;
    a.firstRow = loadU16(body.data());
    a.lastRow = loadU16(body.data() + 2);
    a.firstColumn = body[4];
    a.lastColumn = body[5];
    return a;
}

void decodeInto(FormulaCell& cell, std::span<const uint8_t> rgce, size_t cce, bool shared,
                const SheetResolver& sheets) {
    try {
        cell.tokens = decodeTokens(rgce, cce, FormulaSite{cell.sheet, cell.row, cell.column}, shared, sheets);
    } catch (const std::exception& e) {
        cell.undecodable = e.what();
        cell.tokens.clear();
    }
}

void readSheet(const WorkbookReader& reader, uint32_t sheet, const SheetResolver& sheets, std::vector<FormulaCell>& out) {
    RecordStream records(reader.workbookStream(), reader.worksheets()[sheet].streamOffset);
    Record r;
    if (!records.next(r) || r.type != rec::Bof) return;
    std::vector<RawFormula> formulas;
    std::map<uint32_t, SharedTokens> shared;  // by the first cell of their range
    std::map<uint32_t, SharedTokens> arrays;
    bool lastWasFormula = false;
    int depth = 1;
    while (depth > 0 && records.next(r)) {
        r.type = rec::worksheetRecordType(r.type);
        if (r.type == rec::Bof || r.type == rec::Eof) {
            depth += r.type == rec::Bof ? 1 : -1;
            continue;
        }
        if (depth != 1) continue;
        switch (r.type) {
            case rec::Formula:
                if (r.body.size() >= kFormulaHeader + 2) {
                    formulas.push_back({loadU16(r.body.data()), loadU16(r.body.data() + 2),
                                        std::vector<uint8_t>(r.body.begin(), r.body.end()), {}});
                    lastWasFormula = true;
                }
                continue;
            case rec::ShrFmla:
            case rec::Array: {
                const size_t at = r.type == rec::ShrFmla ? 8 : 12;
                if (r.body.size() < at + 2) break;
                SharedTokens tokens{rangeOf(r.body, sheet), std::vector<uint8_t>(r.body.begin() + static_cast<std::ptrdiff_t>(at + 2), r.body.end()),
                                    loadU16(r.body.data() + at)};
                auto& into = r.type == rec::ShrFmla ? shared : arrays;
                into[cellKey(tokens.range.firstRow, tokens.range.firstColumn)] = tokens;
                continue;  // still the formula's followers: its STRING may come next
            }
            case rec::String: {
                std::vector<std::span<const uint8_t>> parts{r.body};
                for (auto part : records.takeContinues()) parts.push_back(part);
                if (lastWasFormula && !formulas.empty()) {
                    try {
                        formulas.back().text = readStringRecord(std::move(parts));
                    } catch (const std::exception&) {
                        // a broken STRING record leaves the cached text empty
                    }
                }
                break;
            }
            default: break;
        }
        lastWasFormula = false;
    }

    for (RawFormula& f : formulas) {
        FormulaCell cell;
        cell.sheet = sheet;
        cell.row = f.row;
        cell.column = f.column;
        cell.cached = cachedFormulaResult(f.body, f.text);
        const auto rgce = std::span<const uint8_t>(f.body).subspan(kFormulaHeader + 2);
        const size_t cce = loadU16(f.body.data() + kFormulaHeader);
        if (cce == 5 && rgce.size() >= 5 && rgce[0] == 0x01) {  // ptgExp: the tokens are elsewhere
            const uint32_t anchor = cellKey(loadU16(rgce.data() + 1), loadU16(rgce.data() + 3));
            if (auto a = arrays.find(anchor); a != arrays.end() && a->second.range.contains(sheet, f.row, f.column)) {
                cell.arrayFormula = true;
                cell.arrayArea = a->second.range;
                decodeInto(cell, a->second.rgce, a->second.cce, false, sheets);
            } else if (auto s = shared.find(anchor); s != shared.end()) {
                decodeInto(cell, s->second.rgce, s->second.cce, true, sheets);
            } else {
                cell.undecodable = "the shared formula it leans on is missing";
            }
        } else {
            decodeInto(cell, rgce, cce, false, sheets);
        }
        out.push_back(std::move(cell));
    }
}

}  // namespace

CellValue cachedFormulaResult(std::span<const uint8_t> body, const std::string& text) {
    if (body.size() < 14) return CellValue();
    const uint8_t* result = body.data() + 6;
    if (result[6] != 0xFF || result[7] != 0xFF) return CellValue::number(loadF64(result));
    switch (result[0]) {
        case 0: return CellValue::text(text);
        case 1: return CellValue::boolean(result[2] != 0);
        case 2: return CellValue::error(result[2]);
        case 3: return CellValue::text("");
        default: return CellValue();
    }
}

std::vector<FormulaCell> readFormulaCells(const WorkbookReader& reader) {
    std::vector<FormulaCell> out;
    if (reader.version() != BiffVersion::Biff8) return out;
    const WorkbookSheets sheets(reader);
    for (uint32_t s = 0; s < reader.worksheets().size(); ++s) {
        try {
            readSheet(reader, s, sheets, out);
        } catch (const FormatError&) {
            // a worksheet whose records are broken has no formulas to recompute; reading its
            // cells reports the damage where it matters
        }
    }
    return out;
}

}  // namespace sbx::xls::formula
