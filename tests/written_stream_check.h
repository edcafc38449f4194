#pragma once
// Checks the positions a written (or decrypted) workbook stream holds: BOUNDSHEET, INDEX, DBCELL and
// EXTSST must point at the records they name, or applications read the wrong bytes.
#include <cstdint>
#include <algorithm>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace sbx::test {

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) { return le16(p) | (static_cast<uint32_t>(le16(p + 2)) << 16); }

// Empty when the stream is consistent, else the first fault found.
inline std::string checkWrittenStream(std::span<const uint8_t> s) {
    std::map<size_t, uint16_t> typeAt;  // record start -> type
    for (size_t pos = 0; pos + 4 <= s.size();) {
        const size_t length = le16(s.data() + pos + 2);
        if (pos + 4 + length > s.size()) return "a record at " + std::to_string(pos) + " runs past the end";
        typeAt[pos] = le16(s.data() + pos);
        pos += 4 + length;
    }
    size_t firstSheet = s.size();  // where the globals end
    for (const auto& [pos, type] : typeAt) {
        if (type == 0x0085) firstSheet = std::min<size_t>(firstSheet, le32(s.data() + pos + 4));
    }
    auto recordAt = [&](size_t pos) { const auto it = typeAt.find(pos); return it == typeAt.end() ? uint16_t{0} : it->second; };
    for (const auto& [pos, type] : typeAt) {
        const uint8_t* body = s.data() + pos + 4;
        const size_t length = le16(s.data() + pos + 2);
        if (type == 0x0085 && recordAt(le32(body)) != 0x0809) {
            return "BOUNDSHEET at " + std::to_string(pos) + " does not point at a BOF record";
        }
        if (type == 0x020B) {
            // Some writers (WPS) put a position in the globals here; it is kept as it was.
            const uint32_t defColWidth = le32(body + 12);
            if (defColWidth > firstSheet && recordAt(defColWidth) != 0x0055) return "INDEX does not point at DEFCOLWIDTH";
            for (size_t k = 16; k + 4 <= length; k += 4) {
                if (recordAt(le32(body + k)) != 0x00D7) return "INDEX at " + std::to_string(pos) + " names a position without DBCELL";
            }
        }
        if (type == 0x00D7 && le32(body) != 0 && recordAt(pos - le32(body)) != 0x0208) {  // 0: an empty block (Gnumeric)
            return "DBCELL at " + std::to_string(pos) + " does not point back at a ROW record but at " +
                   std::to_string(recordAt(pos - le32(body))) + " (" + std::to_string(le32(body)) + " back)";
        }
        if (type == 0x00FF) {
            for (size_t k = 2; k + 8 <= length; k += 8) {
                const uint32_t at = le32(body + k);
                const uint16_t offset = le16(body + k + 4);
                const uint16_t holder = recordAt(at - offset);
                if (holder != 0x00FC && holder != 0x003C) return "EXTSST names a position outside the SST";
            }
        }
    }
    return {};
}

}  // namespace sbx::test
