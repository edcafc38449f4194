#pragma once
// Where the parts of a workbook package are: the workbook part found through the package
// relationships, its worksheets in tab order with their parts, the shared strings, the
// styles and the calculation chain, and the workbook's date system.
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/xlsx/zip_package.h"

namespace sbx::xlsx {

struct Relationship {
    std::string id;
    std::string type;    // the full type URI
    std::string target;  // as written
    bool external = false;
};

// "xl/_rels/workbook.xml.rels" for "xl/workbook.xml".
std::string relationshipsPartOf(std::string_view part);
// The relationships of `part`; none when it has no relationships part.
std::vector<Relationship> readRelationships(const ZipPackage& package, std::string_view part);
// A relationship type URI ends with its short name ("/worksheet"), transitional and strict alike.
bool hasType(const Relationship& r, std::string_view shortName);

struct WorksheetEntry {
    std::string name;
    std::string part;  // the entry name in the zip
    bool hidden = false;
};

// A sheet the workbook lists that cannot be read (no relationship, no part), and why.
struct UnreadableSheet {
    std::string name;
    std::string reason;
};

struct PackageLayout {
    std::string workbookPart;
    std::vector<WorksheetEntry> worksheets;  // chart sheets and macro sheets left out
    std::vector<UnreadableSheet> unreadable;  // left out too, as other readers leave them out
    std::string sharedStringsPart;           // "" when there is none
    std::string stylesPart;
    std::string calcChainPart;
    bool date1904 = false;
};

// Throws xls::FormatError when the package holds no workbook part.
PackageLayout readPackageLayout(const ZipPackage& package);

// Limits for the small parts read whole.
inline constexpr InflateLimits kSmallPartLimits{uint64_t{256} << 20, uint64_t{16} << 20, 400};

}  // namespace sbx::xlsx
