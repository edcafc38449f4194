#pragma once
// Source references of the consolidate operation:
//   <folder>[<file>]<worksheet>!R<r1>C<c1>:R<r2>C<c2>
// e.g. c:\kx\[a.xls]Sheet1!R3C1:R20C8, or the quoted form 'c:\kx\[a b.xls]Sheet 1'!R1C1.
// File and worksheet names may hold blanks, commas, brackets and "!": the area is the text
// after the last "!", the folder runs up to the last "/" or "\" before it, and the file
// name ends at a "]". When the names hold "]" themselves, a reference can be read in more
// than one way; the readings are tried against the files that exist.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/cell_address.h"

namespace sbx {

struct SourceReference {
    std::string text;       // the reference as given
    std::string folder;     // with its trailing separator
    std::string fileName;
    std::string sheetName;
    CellArea area;

    std::filesystem::path file() const;
};

// Every reading of `text`, the preferred first: the file name ends at the last "]", as a
// worksheet name made by the spreadsheet application holds none. Throws WorkbookError
// (BadReference) naming the reference and what is wrong with it.
std::vector<SourceReference> readSourceReference(std::string_view text);

// The reading to use: the only one whose file exists; the preferred one when none exists
// (opening it then tells that the file is missing). Throws WorkbookError (BadReference)
// when the text cannot be read, or when more than one reading names an existing file.
SourceReference resolveSourceReference(std::string_view text,
                                       const std::function<bool(const std::filesystem::path&)>& fileExists);

// Worksheet names compare as the spreadsheet application compares them: letter case does
// not matter (Latin, Greek and Cyrillic letters), everything else must be equal.
bool sameWorksheetName(std::string_view a, std::string_view b);

}  // namespace sbx
