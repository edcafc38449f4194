#include "spreadsheet/xls/formula_results.h"

#include <algorithm>
#include <optional>
#include <string>

#include "spreadsheet/xls/biff_output.h"
#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/sheet_cells.h"
#include "spreadsheet/xls/text_encoding.h"

namespace sbx::xls::formula {

namespace {

constexpr uint16_t kAlwaysCalc = 0x0001;
constexpr size_t kFormulaHeader = 20;

void storeResult(uint8_t* result, const CellValue& v) {
    std::fill(result, result + 8, uint8_t{0});
    switch (v.kind()) {
        case CellKind::Number:
        case CellKind::Date: storeF64(result, v.numberValue()); return;
        case CellKind::Text: result[0] = v.textValue().empty() ? 3 : 0; break;
        case CellKind::Boolean:
            result[0] = 1;
            result[2] = v.booleanValue() ? 1 : 0;
            break;
        case CellKind::Error:
            result[0] = 2;
            result[2] = v.errorCode();
            break;
        case CellKind::Empty: result[0] = 3; break;
    }
    result[6] = 0xFF;
    result[7] = 0xFF;
}

void writeString(BiffOutput& out, const std::string& utf8) {
    const std::u16string units = utf8ToUtf16(utf8);
    const bool wide = std::any_of(units.begin(), units.end(), [](char16_t c) { return c > 0xFF; });
    const size_t s = out.beginRecord(rec::String);
    out.u16(static_cast<uint16_t>(units.size()));
    out.u8(wide ? 1 : 0);
    for (char16_t c : units) {
        if (wide) {
            out.u16(static_cast<uint16_t>(c));
        } else {
            out.u8(static_cast<uint8_t>(c));
        }
    }
    out.endRecord(s);
}

}  // namespace

std::vector<uint8_t> writeFormulaResults(std::span<const uint8_t> substream, const SheetFormulaUpdates& updates) {
    BiffOutput out;
    out.bytes().reserve(substream.size() + 256);
    std::optional<std::string> pendingText;  // the STRING to write after the formula's followers
    bool replacing = false;                  // the formula's own STRING is being dropped
    int depth = 0;
    size_t pos = 0;
    while (pos + 4 <= substream.size()) {
        const uint16_t type = rec::worksheetRecordType(loadU16(substream.data() + pos));
        const size_t size = 4 + loadU16(substream.data() + pos + 2);
        if (pos + size > substream.size()) break;  // the rebuild reports a truncated record
        const auto record = substream.subspan(pos, size);
        pos += size;
        if (replacing) {
            if (type == rec::ShrFmla || type == rec::Array || type == rec::Table) {
                out.append(record);
                continue;
            }
            if (type == rec::String || type == rec::Continue) continue;  // the old result's text
            if (pendingText) writeString(out, *pendingText);
            pendingText.reset();
            replacing = false;
        }
        if (type == rec::Bof) ++depth;
        if (type == rec::Eof) --depth;
        if (depth == 1 && type == rec::Formula && size >= 4 + kFormulaHeader) {
            const uint32_t key = cellKey(loadU16(record.data() + 4), loadU16(record.data() + 6));
            const auto it = updates.find(key);
            if (it != updates.end()) {
                std::vector<uint8_t> patched(record.begin(), record.end());
                uint8_t* body = patched.data() + 4;
                if (it->second.keepCached) {
                    storeU16(body + 14, static_cast<uint16_t>(loadU16(body + 14) | kAlwaysCalc));
                    out.append(patched);
                    continue;  // the old result stays, with its STRING
                }
                storeResult(body + 6, it->second.result);
                out.append(patched);
                replacing = true;
                if (it->second.result.kind() == CellKind::Text && !it->second.result.textValue().empty()) {
                    pendingText = it->second.result.textValue();
                }
                continue;
            }
        }
        out.append(record);
    }
    if (replacing && pendingText) writeString(out, *pendingText);
    out.append(substream.subspan(pos));
    return std::move(out.bytes());
}

}  // namespace sbx::xls::formula
