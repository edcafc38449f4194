#pragma once
// Decryption of encrypted workbook streams (FILEPASS record): RC4, CryptoAPI RC4 and XOR
// obfuscation. Hashes and RC4 come from the platform's library (spreadsheet/crypto/).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sbx::xls {

// The password Excel uses for workbooks that are only write-protected; Excel opens them
// without asking, and so does the engine.
inline constexpr std::u16string_view kDefaultWritePassword = u"VelvetSweatshop";

// Biff2-Biff4 (Excel 2.1-4.0) have no encryption the engine reads; old_biff_reader reads them.
enum class BiffVersion : uint8_t { Biff2, Biff3, Biff4, Biff5, Biff8 };

// Decrypts `stream` (a whole Workbook or Book stream) in place, using the FILEPASS record
// whose header starts at `filepassPos`. Record headers and the records that are never
// encrypted (BOF, FILEPASS, INTERFACEHDR, ..., the position field of BOUNDSHEET) stay as
// they are; the FILEPASS record itself is kept. Returns false when `password` does not
// match the file's verifier. Throws FormatError (Encrypted) for an encryption it does not
// know and (Corrupt) for a FILEPASS record that is too short.
bool decryptWorkbookStream(std::vector<uint8_t>& stream, size_t filepassPos, BiffVersion version,
                           std::u16string_view password);

}  // namespace sbx::xls
