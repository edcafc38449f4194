#include "spreadsheet/xls/formula_tokens.h"

#include "spreadsheet/xls/byte_reader.h"
#include "spreadsheet/xls/text_encoding.h"

namespace sbx::xls::formula {

namespace {

constexpr uint32_t kLastRow = 65535;
constexpr uint32_t kLastColumn = 255;

// INDIRECT and OFFSET reach cells that the formula's references do not name.
bool readsCellsItNames(uint16_t function) {
    constexpr uint16_t kOffset = 78, kIndirect = 148;
    return function == kOffset || function == kIndirect;
}

std::string hexByte(uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[b >> 4] + digits[b & 0x0F];
}

// A BIFF8 string of `count` characters after its option byte.
std::string readChars(ByteReader& in, size_t count) {
    const uint8_t options = in.u8();
    std::string text;
    if (options & 0x01) {
        const auto bytes = in.bytes(count * 2);
        appendUtf16le(text, bytes.data(), count);
    } else {
        const auto bytes = in.bytes(count);
        appendLatin1(text, bytes.data(), count);
    }
    return text;
}

OperandClass classOf(uint8_t ptg) {
    switch (ptg & 0x60) {
        case 0x20: return OperandClass::Reference;
        case 0x40: return OperandClass::Value;
        default: return OperandClass::Array;
    }
}

// A row and column of a reference token. In shared formulas a relative part is an offset
// from the formula's cell; elsewhere every part is absolute (the flags only guide copying).
void place(uint16_t rowField, uint16_t columnField, bool shared, const FormulaSite& site, uint32_t& row,
           uint32_t& column) {
    const bool rowRelative = (columnField & 0x8000) != 0;
    const bool columnRelative = (columnField & 0x4000) != 0;
    if (shared && rowRelative) {
        row = (site.row + static_cast<uint32_t>(static_cast<int16_t>(rowField))) & kLastRow;
    } else {
        row = rowField;
    }
    if (shared && columnRelative) {
        column = (site.column + static_cast<uint32_t>(static_cast<int8_t>(columnField & 0xFF))) & kLastColumn;
    } else {
        column = columnField & 0xFF;
    }
}

char binaryOperator(uint8_t ptg) {
    static const char ops[] = {'+', '-', '*', '/', '^', '&', '<', 'l', '=', 'g', '>', 'n', ' ', ',', ':'};
    return ops[ptg - 0x03];
}

void readArrayConstant(ByteReader& extra, Token& token) {
    token.arrayColumns = static_cast<uint32_t>(extra.u8()) + 1;
    token.arrayRows = static_cast<uint32_t>(extra.u16()) + 1;
    const size_t count = static_cast<size_t>(token.arrayRows) * token.arrayColumns;
    token.array.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t type = extra.u8();
        switch (type) {
            case 0x00: extra.skip(8); token.array.emplace_back(); break;
            case 0x01: token.array.push_back(CellValue::number(extra.f64())); break;
            case 0x02: {
                const size_t n = extra.u16();
                token.array.push_back(CellValue::text(readChars(extra, n)));
                break;
            }
            case 0x04: {
                const uint8_t b = extra.u8();
                extra.skip(7);
                token.array.push_back(CellValue::boolean(b != 0));
                break;
            }
            case 0x10: {
                const uint8_t e = extra.u8();
                extra.skip(7);
                token.array.push_back(CellValue::error(e));
                break;
            }
            default: throw Unsupported("an array constant holds a value of unknown type " + hexByte(type));
        }
    }
}

}  // namespace

std::vector<Token> decodeTokens(std::span<const uint8_t> rgce, size_t cce, const FormulaSite& site, bool shared,
                                const SheetResolver& sheets) {
    if (cce > rgce.size()) throw Unsupported("the formula's tokens run past its record");
    ByteReader in(rgce.subspan(0, cce), "a formula");
    ByteReader extra(rgce.subspan(cce), "a formula's array constants");
    std::vector<Token> out;
    auto reference = [&](uint8_t ptg, uint32_t firstSheet, uint32_t lastSheet) -> Token& {
        Token t;
        t.kind = TokenKind::Reference;
        t.operandClass = classOf(ptg);
        t.area.firstSheet = firstSheet;
        t.area.lastSheet = lastSheet;
        out.push_back(t);
        return out.back();
    };
    auto errorConstant = [&](uint8_t code) {
        Token t;
        t.value = CellValue::error(code);
        out.push_back(t);
    };
    auto cell = [&](Token& t, bool relativeForm) {
        const uint16_t row = in.u16();
        const uint16_t column = in.u16();
        place(row, column, shared || relativeForm, site, t.area.firstRow, t.area.firstColumn);
        t.area.lastRow = t.area.firstRow;
        t.area.lastColumn = t.area.firstColumn;
        t.singleCell = true;
    };
    auto area = [&](Token& t, bool relativeForm) {
        const uint16_t r1 = in.u16(), r2 = in.u16(), c1 = in.u16(), c2 = in.u16();
        place(r1, c1, shared || relativeForm, site, t.area.firstRow, t.area.firstColumn);
        place(r2, c2, shared || relativeForm, site, t.area.lastRow, t.area.lastColumn);
        if (t.area.firstRow > t.area.lastRow) std::swap(t.area.firstRow, t.area.lastRow);
        if (t.area.firstColumn > t.area.lastColumn) std::swap(t.area.firstColumn, t.area.lastColumn);
    };
    // What a defined name stands for, where that can be computed; else a token that may read
    // any cell.
    auto definedName = [&](uint16_t index, uint8_t ptg) {
        if (auto tokens = sheets.nameTokens(index)) {
            // A name that is one reference is used as the token asks (as a reference, a value
            // or an array); a longer one is a whole expression.
            if (tokens->size() == 1 && tokens->front().kind == TokenKind::Reference) {
                tokens->front().operandClass = classOf(ptg);
            }
            out.insert(out.end(), tokens->begin(), tokens->end());
            return;
        }
        Token t;
        t.kind = TokenKind::Unknown;
        t.value = CellValue::text("uses a defined name");
        t.hidesReferences = true;
        out.push_back(t);
    };
    while (!in.atEnd()) {
        const uint8_t ptg = in.u8();
        if (ptg >= 0x03 && ptg <= 0x11) {
            Token t;
            t.kind = TokenKind::Binary;
            t.op = binaryOperator(ptg);
            out.push_back(t);
            continue;
        }
        switch (ptg) {
            case 0x01: throw Unsupported("the formula leans on a shared or array formula that is missing");
            case 0x02: throw Unsupported("a data table (what-if analysis)");
            case 0x12: case 0x13: case 0x14: {
                Token t;
                t.kind = TokenKind::Unary;
                t.op = ptg == 0x12 ? '+' : ptg == 0x13 ? '-' : '%';
                out.push_back(t);
                continue;
            }
            case 0x15: continue;  // parentheses only matter when the formula is shown
            case 0x16: {
                Token t;
                t.kind = TokenKind::Missing;
                out.push_back(t);
                continue;
            }
            case 0x17: {
                const size_t n = in.u8();
                Token t;
                t.value = CellValue::text(readChars(in, n));
                out.push_back(t);
                continue;
            }
            case 0x19: {
                const uint8_t flags = in.u8();
                const uint16_t data = in.u16();
                if (flags & 0x04) in.skip(2 * (static_cast<size_t>(data) + 1));  // tAttrChoose's jump table
                if (flags & 0x10) {                                                 // tAttrSum: SUM of one argument
                    Token t;
                    t.kind = TokenKind::Function;
                    t.function = 4;
                    t.argumentCount = 1;
                    out.push_back(t);
                }
                // tAttrIf, tAttrChoose and tAttrGoto only let the application skip the branch it
                // does not take; every argument is computed here and the function chooses.
                // tAttrSpace and tAttrVolatile change nothing.
                continue;
            }
            case 0x1C: errorConstant(in.u8()); continue;
            case 0x1D: {
                Token t;
                t.value = CellValue::boolean(in.u8() != 0);
                out.push_back(t);
                continue;
            }
            case 0x1E: {
                Token t;
                t.value = CellValue::number(in.u16());
                out.push_back(t);
                continue;
            }
            case 0x1F: {
                Token t;
                t.value = CellValue::number(in.f64());
                out.push_back(t);
                continue;
            }
            default: break;
        }
        if (ptg < 0x20 || ptg >= 0x80) throw Unsupported("formula token " + hexByte(ptg) + " is not known");
        switch (ptg & 0x1F) {
            case 0x00: {  // ptgArray
                in.skip(7);
                Token t;
                t.kind = TokenKind::Array;
                readArrayConstant(extra, t);
                out.push_back(std::move(t));
                break;
            }
            case 0x01: {  // ptgFunc: fixed argument count
                Token t;
                t.kind = TokenKind::Function;
                t.function = in.u16();
                t.argumentCount = 0xFF;  // filled in by the evaluator from its table
                t.hidesReferences = readsCellsItNames(t.function);
                out.push_back(t);
                break;
            }
            case 0x02: {  // ptgFuncVar
                Token t;
                t.kind = TokenKind::Function;
                t.argumentCount = in.u8() & 0x7F;
                const uint16_t number = in.u16();
                if (number & 0x8000) throw Unsupported("a macro command in a formula");
                t.function = number;
                t.hidesReferences = readsCellsItNames(number);
                out.push_back(t);
                break;
            }
            case 0x03: {  // ptgName: what the name stands for, where that can be computed
                const uint16_t index = in.u16();
                in.skip(2);
                definedName(index, ptg);
                break;
            }
            case 0x04: cell(reference(ptg, site.sheet, site.sheet), false); break;
            case 0x05: area(reference(ptg, site.sheet, site.sheet), false); break;
            case 0x06:  // ptgMemArea: its areas are kept with the array constants, in token order
                in.skip(6);
                if (extra.remaining() >= 2) extra.skip(8 * static_cast<size_t>(extra.u16()));
                break;
            case 0x07: case 0x08: in.skip(6); break;  // the subexpression follows and is computed
            case 0x09: in.skip(2); break;
            case 0x0A: in.skip(4); errorConstant(error_code::Ref); break;
            case 0x0B: in.skip(8); errorConstant(error_code::Ref); break;
            case 0x0C: cell(reference(ptg, site.sheet, site.sheet), true); break;
            case 0x0D: area(reference(ptg, site.sheet, site.sheet), true); break;
            case 0x19: {  // ptgNameX: add-in functions, newer functions, names of other workbooks
                const uint16_t ixti = in.u16();
                const uint16_t index = in.u16();
                in.skip(2);
                // "Sheet1!BOB", "[0]!Name": a name of this workbook reached through its own book.
                if (sheets.ownWorkbook(ixti)) {
                    definedName(index, ptg);
                    break;
                }
                Token t;
                t.kind = TokenKind::Unknown;
                t.value = CellValue::text("uses an add-in function or an external name");
                out.push_back(t);
                break;
            }
            case 0x1A: case 0x1B: {
                const uint16_t ixti = in.u16();
                uint32_t first = 0, last = 0;
                const SheetTarget target = sheets.resolve(ixti, first, last);
                if (target != SheetTarget::Worksheets) {
                    in.skip((ptg & 0x1F) == 0x1A ? 4 : 8);
                    if (target == SheetTarget::Deleted) {
                        errorConstant(error_code::Ref);
                    } else {
                        Token t;
                        t.kind = TokenKind::Unknown;
                        t.value = CellValue::text("refers to another workbook");
                        out.push_back(t);
                    }
                    break;
                }
                Token& t = reference(ptg, first, last);
                if ((ptg & 0x1F) == 0x1A) {
                    cell(t, false);
                } else {
                    area(t, false);
                }
                break;
            }
            case 0x1C: in.skip(6); errorConstant(error_code::Ref); break;
            case 0x1D: in.skip(10); errorConstant(error_code::Ref); break;
            default: throw Unsupported("formula token " + hexByte(ptg) + " is not known");
        }
    }
    return out;
}

}  // namespace sbx::xls::formula
