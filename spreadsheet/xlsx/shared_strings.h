#pragma once
// The shared string table (sharedStrings.xml): each item's text with rich-text runs joined
// and phonetic guides (rPh) left out.
#include <string>
#include <vector>

#include "spreadsheet/xlsx/zip_package.h"

namespace sbx::xlsx {

// Throws xls::FormatError for a damaged part. The content of <sst> is read by the scanner
// (scanned_xml.h) unless `scan` is false or the scanner declines it.
std::vector<std::string> readSharedStrings(const ZipPackage& package, const std::string& part, bool scan = true);

// Decodes the _xHHHH_ escapes that OOXML writers use for control characters.
std::string decodeEscapes(std::string text);

}  // namespace sbx::xlsx
