#include "spreadsheet/xlsx/package_layout.h"

#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

using xls::FormatError;

namespace {

bool isTrue(const char* value) {
    return value && (std::string_view(value) == "1" || std::string_view(value) == "true");
}

class RelationshipsHandler final : public XmlHandler {
public:
    std::vector<Relationship> found;
    void start(std::string_view name, const char** attributes) override {
        if (name != "Relationship") return;
        Relationship r;
        if (const char* v = attribute(attributes, "Id")) r.id = v;
        if (const char* v = attribute(attributes, "Type")) r.type = v;
        if (const char* v = attribute(attributes, "Target")) r.target = v;
        const char* mode = attribute(attributes, "TargetMode");
        r.external = mode && std::string_view(mode) == "External";
        found.push_back(std::move(r));
    }
    void end(std::string_view) override {}
};

struct SheetListing {
    std::string name;
    std::string relationshipId;
    bool hidden = false;
};

class WorkbookHandler final : public XmlHandler {
public:
    std::vector<SheetListing> sheets;
    bool date1904 = false;
    void start(std::string_view name, const char** attributes) override {
        if (name == "sheet") {
            SheetListing s;
            if (const char* v = attribute(attributes, "name")) s.name = v;
            if (const char* v = attribute(attributes, "id")) s.relationshipId = v;
            const char* state = attribute(attributes, "state");
            s.hidden = state && (std::string_view(state) == "hidden" || std::string_view(state) == "veryHidden");
            sheets.push_back(std::move(s));
        } else if (name == "workbookPr") {
            date1904 = isTrue(attribute(attributes, "date1904"));
        }
    }
    void end(std::string_view) override {}
};

}  // namespace

std::string relationshipsPartOf(std::string_view part) {
    const size_t slash = part.rfind('/');
    if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
    return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

std::vector<Relationship> readRelationships(const ZipPackage& package, std::string_view part) {
    const std::string relsPart = relationshipsPartOf(part);
    if (!package.has(relsPart)) return {};
    RelationshipsHandler handler;
    parseXml(handler, package.read(relsPart, kSmallPartLimits), relsPart);
    return std::move(handler.found);
}

bool hasType(const Relationship& r, std::string_view shortName) {
    return r.type.size() > shortName.size() && r.type.ends_with(shortName) &&
           r.type[r.type.size() - shortName.size() - 1] == '/';
}

PackageLayout readPackageLayout(const ZipPackage& package) {
    PackageLayout layout;
    for (const auto& r : readRelationships(package, "")) {
        if (!r.external && hasType(r, "officeDocument")) {
            layout.workbookPart = resolvePartName("", r.target);
            break;
        }
    }
    if (layout.workbookPart.empty() || !package.has(layout.workbookPart)) {
        if (!package.has("xl/workbook.xml")) {
            throw FormatError(WorkbookErrorKind::Corrupt,
                              "the .xlsx package holds no workbook part (xl/workbook.xml is missing)");
        }
        layout.workbookPart = "xl/workbook.xml";
    }
    layout.workbookPart = *package.find(layout.workbookPart);

    WorkbookHandler workbook;
    parseXml(workbook, package.read(layout.workbookPart, kSmallPartLimits), layout.workbookPart);
    layout.date1904 = workbook.date1904;

    const auto relationships = readRelationships(package, layout.workbookPart);
    auto partOf = [&](const Relationship& r) -> std::string {
        const auto stored = package.find(resolvePartName(layout.workbookPart, r.target));
        return stored ? *stored : std::string();
    };
    for (const auto& r : relationships) {
        if (r.external) continue;
        if (hasType(r, "sharedStrings")) layout.sharedStringsPart = partOf(r);
        if (hasType(r, "styles")) layout.stylesPart = partOf(r);
        if (hasType(r, "calcChain")) layout.calcChainPart = partOf(r);
    }
    for (const auto& sheet : workbook.sheets) {
        const Relationship* found = nullptr;
        for (const auto& r : relationships) {
            if (r.id == sheet.relationshipId) found = &r;
        }
        // A sheet that cannot be found (r:id="" of an old macro sheet, a part that is gone) is
        // left out, as other readers leave it out; the rest of the workbook reads.
        if (!found) {
            layout.unreadable.push_back({sheet.name, "the sheet has no relationship \"" + sheet.relationshipId + "\" in " +
                                                         layout.workbookPart});
            continue;
        }
        if (!hasType(*found, "worksheet")) continue;  // chart sheets, dialog and macro sheets
        std::string part = partOf(*found);
        if (part.empty()) {
            layout.unreadable.push_back({sheet.name, "the package lacks its part " +
                                                         resolvePartName(layout.workbookPart, found->target)});
            continue;
        }
        layout.worksheets.push_back({sheet.name, std::move(part), sheet.hidden});
    }
    return layout;
}

}  // namespace sbx::xlsx
