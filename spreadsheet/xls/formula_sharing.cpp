#include "spreadsheet/xls/formula_sharing.h"

#include "spreadsheet/xls/biff_output.h"
#include "spreadsheet/xls/biff_records.h"

namespace sbx::xls {

namespace {

constexpr size_t kFormulaHeader = 20;  // row, column, xf, result, flags, chn
constexpr uint8_t kPtgExp = 0x01;
constexpr uint8_t kPtgTbl = 0x02;

// Bytes that follow a token's first byte, for the tokens a shared formula may hold; -1 for
// tokens this code does not take apart.
int tokenSize(uint8_t ptg, std::span<const uint8_t> rest) {
    if (ptg >= 0x03 && ptg <= 0x16) return 0;  // operators, parentheses, missing argument
    switch (ptg) {
        case 0x17: {  // ptgStr
            if (rest.size() < 2) return -1;
            return 2 + rest[0] * ((rest[1] & 0x01) ? 2 : 1);
        }
        case 0x19: {  // ptgAttr; tAttrChoose carries a jump table
            if (rest.size() < 3) return -1;
            const int count = rest[1] | (rest[2] << 8);
            return (rest[0] & 0x04) ? 3 + 2 * (count + 1) : 3;
        }
        case 0x1C: case 0x1D: return 1;
        case 0x1E: return 2;
        case 0x1F: return 8;
        default: break;
    }
    if (ptg < 0x20 || ptg >= 0x80) return -1;  // classed tokens: class bits 0x20/0x40/0x60
    switch (ptg & 0x1F) {
        case 0x00: return 7;   // ptgArray (its data follows the tokens)
        case 0x01: return 2;   // ptgFunc
        case 0x02: return 3;   // ptgFuncVar
        case 0x03: return 4;   // ptgName
        case 0x04: return 4;   // ptgRef
        case 0x05: return 8;   // ptgArea
        case 0x06: case 0x07: case 0x08: return 6;  // ptgMemArea, ptgMemErr, ptgMemNoMem
        case 0x09: return 2;   // ptgMemFunc
        case 0x0A: return 4;   // ptgRefErr
        case 0x0B: return 8;   // ptgAreaErr
        case 0x0C: return 4;   // ptgRefN
        case 0x0D: return 8;   // ptgAreaN
        case 0x19: return 6;   // ptgNameX
        case 0x1A: return 6;   // ptgRef3d
        case 0x1B: return 10;  // ptgArea3d
        case 0x1C: return 6;   // ptgRefErr3d
        case 0x1D: return 10;  // ptgAreaErr3d
        default: return -1;
    }
}

// A relative row and column (RgceLocRel) made absolute for the cell at (row, col); the
// relative flags stay, as a cell formula's references carry them.
void absoluteLocation(uint8_t* rowField, uint8_t* colField, uint16_t row, uint16_t col) {
    const uint16_t colBits = loadU16(colField);
    if (colBits & 0x8000) {  // row relative: a signed offset
        const auto offset = static_cast<int16_t>(loadU16(rowField));
        storeU16(rowField, static_cast<uint16_t>(row + offset));
    }
    if (colBits & 0x4000) {  // column relative: a signed 8-bit offset
        const auto offset = static_cast<int8_t>(colBits & 0xFF);
        const auto column = static_cast<uint8_t>(col + offset);
        storeU16(colField, static_cast<uint16_t>((colBits & 0xFF00) | column));
    }
}

}  // namespace

std::optional<FormulaAnchor> formulaAnchorOf(std::span<const uint8_t> body) {
    if (body.size() < kFormulaHeader + 2 + 5) return std::nullopt;
    const uint16_t cce = loadU16(body.data() + kFormulaHeader);
    const uint8_t ptg = body[kFormulaHeader + 2];
    if (cce != 5 || (ptg != kPtgExp && ptg != kPtgTbl)) return std::nullopt;
    return FormulaAnchor{loadU16(body.data() + kFormulaHeader + 3), loadU16(body.data() + kFormulaHeader + 5)};
}

std::optional<std::vector<uint8_t>> unshareFormula(std::span<const uint8_t> formulaBody,
                                                   std::span<const uint8_t> shrfmlaBody) {
    if (formulaBody.size() < kFormulaHeader || shrfmlaBody.size() < 10) return std::nullopt;
    const uint16_t row = loadU16(formulaBody.data());
    const uint16_t col = loadU16(formulaBody.data() + 2);
    const auto shared = shrfmlaBody.subspan(8);  // after the range, reserved byte and use count
    const uint16_t cce = loadU16(shared.data());
    if (shared.size() < 2u + cce) return std::nullopt;
    std::vector<uint8_t> tokens(shared.begin() + 2, shared.end());  // tokens and their data
    for (size_t i = 0; i < cce;) {
        const uint8_t ptg = tokens[i];
        const int size = tokenSize(ptg, std::span<const uint8_t>(tokens).subspan(i + 1, cce - i - 1));
        if (size < 0 || i + 1 + static_cast<size_t>(size) > cce) return std::nullopt;
        uint8_t* data = tokens.data() + i + 1;
        switch (ptg & 0x1F) {
            case 0x0C:  // ptgRefN -> ptgRef
                tokens[i] = static_cast<uint8_t>((ptg & 0x60) | 0x04);
                absoluteLocation(data, data + 2, row, col);
                break;
            case 0x0D:  // ptgAreaN -> ptgArea
                tokens[i] = static_cast<uint8_t>((ptg & 0x60) | 0x05);
                absoluteLocation(data, data + 4, row, col);
                absoluteLocation(data + 2, data + 6, row, col);
                break;
            case 0x1A:  // ptgRef3d: relative inside a shared formula
                absoluteLocation(data + 2, data + 4, row, col);
                break;
            case 0x1B:  // ptgArea3d
                absoluteLocation(data + 2, data + 6, row, col);
                absoluteLocation(data + 4, data + 8, row, col);
                break;
            default:
                break;
        }
        i += 1 + static_cast<size_t>(size);
    }
    std::vector<uint8_t> out(formulaBody.begin(), formulaBody.begin() + kFormulaHeader);
    storeU16(out.data() + 14, static_cast<uint16_t>(loadU16(out.data() + 14) & ~0x0008u));  // not shared
    out.push_back(static_cast<uint8_t>(cce));
    out.push_back(static_cast<uint8_t>(cce >> 8));
    out.insert(out.end(), tokens.begin(), tokens.end());
    return out;
}

std::vector<uint8_t> cachedResultRecord(std::span<const uint8_t> formulaBody, std::span<const uint8_t> stringBody) {
    BiffOutput out;
    if (formulaBody.size() < kFormulaHeader) return {};
    out.bytes().reserve(32 + stringBody.size());
    const auto head = formulaBody.subspan(0, 6);  // row, column, xf
    const uint8_t* result = formulaBody.data() + 6;
    if (result[6] != 0xFF || result[7] != 0xFF) {
        const size_t s = out.beginRecord(rec::Number);
        out.append(head);
        out.append(formulaBody.subspan(6, 8));
        out.endRecord(s);
        return std::move(out.bytes());
    }
    switch (result[0]) {
        case 0:  // text: the STRING record's string is what a LABEL holds
            if (!stringBody.empty()) {
                const size_t s = out.beginRecord(rec::Label);
                out.append(head);
                out.append(stringBody);
                out.endRecord(s);
                return std::move(out.bytes());
            }
            break;
        case 1:
        case 2: {
            const size_t s = out.beginRecord(rec::BoolErr);
            out.append(head);
            out.u8(result[2]);
            out.u8(result[0] == 2 ? 1 : 0);
            out.endRecord(s);
            return std::move(out.bytes());
        }
        default:
            break;
    }
    const size_t s = out.beginRecord(rec::Blank);
    out.append(head);
    out.endRecord(s);
    return std::move(out.bytes());
}

}  // namespace sbx::xls
