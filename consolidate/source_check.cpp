#include "consolidate/source_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <system_error>

#include "consolidate/file_digest.h"
#include "consolidate/formula_audit.h"
#include "spreadsheet/ascii_case.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, kFindingKinds> kNames{"UNREADABLE", "MISSING_WORKSHEET", "LAYOUT", "DUPLICATE",
                                                             "NOT_A_NUMBER", "NO_RESULT", "AUDIT",
                                                             "SAME_UNIT"};

using Position = std::pair<int, int>;  // row, column: ordered row by row

// What the template holds on one chosen worksheet.
struct TemplateSheet {
    std::vector<CellArea> areas;                 // the chosen ranges of this worksheet
    std::vector<CellArea> headings;              // where their headings stand
    std::vector<std::pair<Position, std::string>> textsOutside;  // row by row
    std::map<Position, CellValue> outside;       // every value of the heading zones
    std::map<Position, CellValue> labelsInside;  // values inside that add nothing
    std::optional<FormulaAudit> audit;           // its formulas over the ranges
    bool present = false;
    // The votes of the sources that hold the worksheet: how many hold each heading text
    // (textsOutside's order) and each label inside (labelsInside) as the template does.
    int voters = 0;
    std::vector<int> headingVotes;
    std::map<Position, int> labelVotes;
};

// A heading or a label of the template is the form's when at least half of the workbooks,
// the template and the sources, hold it; where most hold something else, it is the template's
// own unit's entry (its name, a year, a remark typed into an amount cell).
bool formsOwn(int votes, int voters) { return 2 * (votes + 1) >= voters + 1; }

bool insideAny(const std::vector<CellArea>& areas, int row, int column) {
    return std::any_of(areas.begin(), areas.end(), [&](const CellArea& a) { return a.contains(row, column); });
}

bool addsNothing(const CellValue& v) {
    CellTotal probe;
    return probe.add(v) == Contribution::AddsNothing;
}

// The worksheets of the job by name (letter case as given), each with all its ranges, in job order.
std::vector<std::pair<std::string, std::vector<CellArea>>> sheetsOf(const Job& job) {
    std::vector<std::pair<std::string, std::vector<CellArea>>> sheets;
    for (const SheetJob& s : job) {
        auto it = std::find_if(sheets.begin(), sheets.end(), [&](const auto& e) { return e.first == s.worksheet; });
        if (it == sheets.end()) {
            sheets.push_back({s.worksheet, {s.area}});
        } else {
            it->second.push_back(s.area);
        }
    }
    return sheets;
}

bool holdsTextOutside(const Worksheet& sheet, const CellArea& zone, const std::vector<CellArea>& areas) {
    bool found = false;
    sheet.forEachValue(zone, [&](int row, int column, const CellValue& v) {
        if (v.kind() == CellKind::Text && !insideAny(areas, row, column)) found = true;
    });
    return found;
}

// Where the headings of a range stand, as the template shows them: the nearest row above it
// with a text in its columns (the column headings) and the nearest column left of it with a
// text in its rows (the row headings). Rows further up and the corners hold titles, the unit's
// name ("填报单位 东城区"), dates: they differ from report to report and are no layout.
std::vector<CellArea> headingZones(const Worksheet& templateSheet, const std::vector<CellArea>& areas) {
    std::vector<CellArea> zones;
    for (const CellArea& a : areas) {
        for (int row = a.firstRow - 1; row >= 1; --row) {
            const CellArea zone{row, a.firstColumn, row, a.lastColumn};
            if (holdsTextOutside(templateSheet, zone, areas)) {
                zones.push_back(zone);
                break;
            }
        }
        for (int column = a.firstColumn - 1; column >= 1; --column) {
            const CellArea zone{a.firstRow, column, a.lastRow, column};
            if (holdsTextOutside(templateSheet, zone, areas)) {
                zones.push_back(zone);
                break;
            }
        }
    }
    return zones;
}

// The texts of the heading zones outside every range, row by row, each position once.
std::vector<std::pair<Position, std::string>> headingTexts(const Worksheet& sheet, const std::vector<CellArea>& zones,
                                                           const std::vector<CellArea>& areas) {
    std::vector<std::pair<Position, std::string>> texts;
    for (const CellArea& zone : zones) {
        sheet.forEachValue(zone, [&](int row, int column, const CellValue& v) {
            if (v.kind() == CellKind::Text && !insideAny(areas, row, column)) texts.push_back({{row, column}, v.textValue()});
        });
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    return texts;
}

TemplateSheet readTemplateSheet(SourceCache& cache, const fs::path& file, const std::string& name,
                                const std::vector<CellArea>& areas, const Job& job) {
    TemplateSheet t;
    t.areas = areas;
    const SourceArea where{file, name, areas.front()};
    const OpenedSource opened = cache.open(where);
    for (const CellArea& area : areas) {
        opened.sheet.forEachValue(area, [&](int row, int column, const CellValue& v) {
            // A NaN or an infinity is no label: the same one in a source is flagged all the same.
            const bool number = v.kind() == CellKind::Number || v.kind() == CellKind::Date;
            if (addsNothing(v) && !number) t.labelsInside.emplace(Position{row, column}, v);
        });
    }
    t.headings = headingZones(opened.sheet, areas);
    t.textsOutside = headingTexts(opened.sheet, t.headings, areas);
    for (const CellArea& zone : t.headings) {
        opened.sheet.forEachValue(zone, [&](int row, int column, const CellValue& v) {
            if (!insideAny(areas, row, column)) t.outside.emplace(Position{row, column}, v);
        });
    }
    FormulaAudit audit(opened.sheet, name, job);
    if (!audit.empty()) t.audit = std::move(audit);
    t.headingVotes.assign(t.textsOutside.size(), 0);
    t.present = true;
    cache.release(where);
    return t;
}

// Where a source does not hold the template's heading texts: their places (in textsOutside's
// order) with what the source holds there. Most sources differ only in a few: kept this way,
// a pool of thousands holds little until the votes are in.
using HeadingDifferences = std::vector<std::pair<size_t, CellValue>>;
HeadingDifferences headingDifferences(const TemplateSheet& t, const Worksheet& sheet) {
    HeadingDifferences differing;
    for (size_t k = 0; k < t.textsOutside.size(); ++k) {
        const auto& [at, text] = t.textsOutside[k];
        CellValue v = sheet.cell(at.first, at.second);
        if (v.kind() != CellKind::Text || v.textValue() != text) differing.emplace_back(k, std::move(v));
    }
    return differing;
}

// The first heading of the form, row by row, that the source does not hold where the template has it.
std::optional<Finding> firstLayoutDifference(const TemplateSheet& t, const HeadingDifferences& differing,
                                             const std::string& name) {
    for (const auto& [k, held] : differing) {
        if (!formsOwn(t.headingVotes[k], t.voters)) continue;
        const Position at = t.textsOutside[k].first;
        Finding f{FindingKind::Layout, name};
        f.cell = {at.first, at.second};
        f.templateValue = shownValue(t.outside.at(at));
        f.sourceValue = shownValue(held);
        return f;
    }
    return std::nullopt;
}

// The cells of a worksheet whose stored total the template's formula does not give, as one
// finding: the first with both values and the formula, then the cells.
std::optional<Finding> auditFinding(const FormulaAudit& audit, const Worksheet& sheet, const std::string& name) {
    const auto differences = audit.check(sheet);
    if (differences.empty()) return std::nullopt;
    Finding f{FindingKind::Audit, name};
    f.cell = differences.front().cell;
    f.sourceValue = shownValue(CellValue::number(differences.front().stored));
    f.templateValue = shownValue(CellValue::number(differences.front().byFormula));
    f.reason = *differences.front().formula;
    f.count = static_cast<long long>(differences.size());
    for (const auto& d : differences) {
        if (f.cells.size() < kListedCells) f.cells.push_back(d.cell);
    }
    return f;
}

// What identifies the values of a source's ranges, for the duplicate check: two 64-bit
// hashes of every value with its position in its range, range after range, taken as they
// come. One mixing step a value: this runs over every value of the pool.
struct ValuesKey {
    uint64_t a = 0xcbf29ce484222325ull;
    uint64_t b = 0x9e3779b97f4a7c15ull;
    long long count = 0;

    void mix(uint64_t x) {
        a = (a ^ x) * 0x100000001b3ull;
        b = (b + x) * 0xff51afd7ed558ccdull;
        b ^= b >> 29;
    }
    void add(uint64_t position, CellKind kind, double number, const std::string* text = nullptr) {
        ++count;
        uint64_t bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        mix(bits ^ ((position << 8 | static_cast<uint64_t>(kind)) * 0x9e3779b97f4a7c15ull));
        if (kind == CellKind::Text) mix(std::hash<std::string>{}(*text));
    }
    void endArea() { mix(0x5bd1e9955bd1e995ull); }
    auto operator<=>(const ValuesKey&) const = default;
};

class Checker {
public:
    Checker(const CheckRequest& request, SourceCache& cache) : request_(request), cache_(cache) {}

    CheckReport run() {
        cache_.expectSources(request_.sources.size());
        readTemplate();
        for (size_t index = 0; index < request_.sources.size(); ++index) report_.sources.push_back(checkOne(index));
        settleVotes();
        if (request_.roster) matchUnits();
        return std::move(report_);
    }

private:
    void readTemplate() {
        for (const auto& [name, areas] : sheetsOf(request_.job)) {
            try {
                templates_.emplace(name, readTemplateSheet(cache_, request_.templateFile, name, areas, request_.job));
            } catch (const WorkbookError& e) {
                if (report_.templateProblem.empty()) report_.templateProblem = utf8String(request_.templateFile) + ": " + e.reason();
                TemplateSheet absent;
                absent.areas = areas;
                templates_.emplace(name, std::move(absent));
            }
        }
    }

    SourceCheck checkOne(size_t index) {
        SourceCheck c;
        c.file = request_.sources[index];
        ValuesKey valueKey;
        // Released after its last worksheet, so that a workbook beyond the cache's budget is
        // parsed once for all of them.
        std::optional<SourceArea> opened;
        for (const auto& [name, areas] : sheetsOf(request_.job)) {
            const SourceArea where{c.file, name, areas.front()};
            try {
                const OpenedSource source = cache_.open(where);
                opened = where;
                checkSheet(c, index, templates_.at(name), source, name, valueKey);
            } catch (const WorkbookError& e) {
                if (e.kind() == WorkbookErrorKind::SheetNotFound) {
                    c.findings.push_back({FindingKind::MissingWorksheet, name, {}, {}, {}, e.reason()});
                    continue;
                }
                c.findings.push_back({FindingKind::Unreadable, {}, {}, {}, {}, e.reason(), e.kind()});
                break;
            }
        }
        c.size = cache_.fileSize(c.file);  // while it is open: the size of what was read
        if (opened) cache_.release(*opened);
        size_t areas = 0;
        for (const auto& sheet : sheetsOf(request_.job)) areas += sheet.second.size();
        cache_.closeIfHeld(c.file, areas);
        if (!c.findings.empty() && c.findings.back().kind == FindingKind::Unreadable) return c;
        noteDuplicate(c, index, valueKey);
        return c;
    }

    // The values of the ranges are read once here and handed to the cache, from which the run
    // adds them up and the record lists them.
    void checkSheet(SourceCheck& c, size_t index, TemplateSheet& t, const OpenedSource& source, const std::string& name,
                    ValuesKey& valueKey) {
        // Which headings and labels are the form's is known once every source has voted.
        Voted voted{index, c.findings.size(), name};
        if (t.present) {
            ++t.voters;
            voted.differing = headingDifferences(t, source.sheet);
            for (size_t k = 0, d = 0; k < t.textsOutside.size(); ++k) {
                if (d < voted.differing.size() && voted.differing[d].first == k) {
                    ++d;
                } else {
                    ++t.headingVotes[k];
                }
            }
        }
        Finding labels{FindingKind::NotANumber, name};
        Finding withoutResult{FindingKind::NoResult, name};
        for (const CellArea& area : t.areas) {
            // A formula without a result shows as what its file holds (an empty text, say):
            // flagged as that, not as a value that adds nothing besides.
            const auto missing = source.sheet.formulasWithoutResult(area);
            std::set<Position> noResultAt;
            for (const FormulaWithoutResult& f : missing) {
                noResultAt.insert({f.cell.row, f.cell.column});
                if (withoutResult.count++ == 0) {
                    withoutResult.cell = f.cell;
                    withoutResult.reason = f.reason;
                }
                if (withoutResult.cells.size() < kListedCells) withoutResult.cells.push_back(f.cell);
            }
            AreaValues values(source.sheet, area, source.dates1904);
            values.forEach([&](const AreaValues::Held& held, int row, int column) {
                if (held.numberOnly()) return valueKey.add(held.position(), CellKind::Number, held.number);
                const CellValue v = values.value(held);
                valueKey.add(held.position(), v.kind(), v.numberValue(), &v.textValue());
                if (!addsNothing(v) || noResultAt.contains({row, column})) return;
                const auto own = t.labelsInside.find({row, column});
                if (own != t.labelsInside.end() && own->second == v) {
                    ++t.labelVotes[own->first];
                    voted.asTemplate.push_back(own->first);
                    return;
                }
                if (labels.count++ == 0) {
                    labels.cell = {row, column};
                    labels.sourceValue = shownValue(v);
                }
                if (labels.cells.size() < kListedCells) labels.cells.push_back({row, column});
            });
            valueKey.endArea();
            cache_.hold({c.file, name, area}, std::move(values), static_cast<uint32_t>(index));
        }
        if (labels.count > 0) c.findings.push_back(std::move(labels));
        if (withoutResult.count > 0) c.findings.push_back(std::move(withoutResult));
        if (t.audit) {
            if (auto audit = auditFinding(*t.audit, source.sheet, name)) c.findings.push_back(std::move(*audit));
        }
        if (t.present) voted_.push_back(std::move(voted));
    }

    // The layout findings, and the labels the template holds that are its own unit's, once
    // the votes are in: each source's in the place of its worksheet, last ones first.
    void settleVotes() {
        for (auto it = voted_.rbegin(); it != voted_.rend(); ++it) {
            const TemplateSheet& t = templates_.at(it->worksheet);
            auto& findings = report_.sources[it->source].findings;
            Finding labels{FindingKind::NotANumber, it->worksheet};
            for (const Position& at : it->asTemplate) {
                if (formsOwn(t.labelVotes.at(at), t.voters)) continue;
                if (labels.count++ == 0) {
                    labels.cell = {at.first, at.second};
                    labels.sourceValue = shownValue(t.labelsInside.at(at));
                }
                if (labels.cells.size() < kListedCells) labels.cells.push_back({at.first, at.second});
            }
            if (labels.count > 0) mergeLabels(findings, it->findingsBefore, std::move(labels));
            if (auto layout = firstLayoutDifference(t, it->differing, it->worksheet)) {
                findings.insert(findings.begin() + static_cast<std::ptrdiff_t>(it->findingsBefore), std::move(*layout));
            }
        }
    }

    // Each report's unit by its file name or its unit cell; a unit's second report is flagged.
    void matchUnits() {
        std::vector<std::string> keys;
        for (size_t index = 0; index < request_.sources.size(); ++index) keys.push_back(unitKey(index));
        report_.roster = matchRoster(*request_.roster, keys, request_.unitCell.has_value());
        std::map<std::string, size_t> first;
        for (size_t index = 0; index < keys.size(); ++index) {
            const std::string& unit = report_.roster->unitOf[index];
            if (unit.empty()) continue;
            const auto [it, isFirst] = first.emplace(unit, index);
            if (!isFirst) {
                Finding twice{FindingKind::SameUnit};
                twice.reason = unit;
                twice.duplicateOf = it->second;
                report_.sources[index].findings.push_back(std::move(twice));
            }
        }
    }

    std::string unitKey(size_t index) {
        const fs::path& file = request_.sources[index];
        if (!request_.unitCell) return utf8String(file.stem());
        const UnitCell& at = *request_.unitCell;
        const SourceArea where{file, at.worksheet, CellArea{at.cell.row, at.cell.column, at.cell.row, at.cell.column}};
        try {
            const OpenedSource opened = cache_.open(where);
            const CellValue v = opened.sheet.cell(at.cell.row, at.cell.column);
            cache_.release(where);
            return v.kind() == CellKind::Text ? v.textValue() : std::string();
        } catch (const WorkbookError&) {
            return {};  // unreadable or without that worksheet: flagged already, of no unit
        }
    }

    // Into the worksheet's NOT_A_NUMBER finding (made after `from`), its cells row by row.
    static void mergeLabels(std::vector<Finding>& findings, size_t from, Finding labels) {
        const auto same = std::find_if(findings.begin() + static_cast<std::ptrdiff_t>(from), findings.end(), [&](const Finding& f) {
            return f.kind == FindingKind::NotANumber && f.worksheet == labels.worksheet;
        });
        if (same == findings.end()) {
            findings.insert(findings.begin() + static_cast<std::ptrdiff_t>(from), std::move(labels));
            return;
        }
        const auto rowByRow = [](const CellAddress& a, const CellAddress& b) {
            return std::pair(a.row, a.column) < std::pair(b.row, b.column);
        };
        if (rowByRow(labels.cell, same->cell)) {
            same->cell = labels.cell;
            same->sourceValue = labels.sourceValue;
        }
        same->count += labels.count;
        same->cells.insert(same->cells.end(), labels.cells.begin(), labels.cells.end());
        std::sort(same->cells.begin(), same->cells.end(), rowByRow);
        if (same->cells.size() > kListedCells) same->cells.resize(kListedCells);
    }

    // Identical bytes make identical values, so only sources of the same values and size are
    // hashed and compared: a pool of different reports costs no hashing at all.
    void noteDuplicate(SourceCheck& c, size_t index, const ValuesKey& valueKey) {
        Finding f{FindingKind::Duplicate};
        std::vector<size_t>& same = byValues_[valueKey];
        for (const size_t earlier : same) {
            SourceCheck& e = report_.sources[earlier];
            if (e.size != c.size || !hashed(e) || !hashed(c) || e.sha256 != c.sha256) continue;
            f.duplicateOf = earlier;
            f.sameBytes = true;
            break;
        }
        if (!f.duplicateOf && valueKey.count > 0 && !same.empty()) f.duplicateOf = same.front();
        same.push_back(index);
        if (f.duplicateOf) c.findings.push_back(std::move(f));
    }

    // Whether the source's digest is known, working it out the first time (from the bytes
    // read to parse it when the cache keeps digests).
    bool hashed(SourceCheck& c) {
        if (c.sha256.empty()) c.sha256 = cache_.digest(c.file);
        if (c.sha256.empty()) {
            try {
                c.sha256 = sha256OfFile(c.file);
            } catch (const WorkbookError&) {
                // Not a file the system reads (a host of its own): whether it is readable is the host's to say.
            }
        }
        return !c.sha256.empty();
    }

    const CheckRequest& request_;
    SourceCache& cache_;
    CheckReport report_;
    // What one source held of one worksheet where the template has its headings and labels.
    struct Voted {
        size_t source = 0;
        size_t findingsBefore = 0;  // the source's findings before this worksheet's
        std::string worksheet;
        HeadingDifferences differing = {};
        std::vector<Position> asTemplate = {};  // the labels inside it holds as the template does
    };

    std::map<std::string, TemplateSheet> templates_;
    std::map<ValuesKey, std::vector<size_t>> byValues_;
    std::vector<Voted> voted_;
};

}  // namespace

std::string_view findingName(FindingKind kind) { return kNames[static_cast<size_t>(kind)]; }

std::optional<FindingKind> findingFromName(std::string_view name) {
    for (size_t i = 0; i < kNames.size(); ++i) {
        const auto& known = kNames[i];
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(), [](char a, char b) { return a == asciiUpper(b); })) {
            return static_cast<FindingKind>(i);
        }
    }
    return std::nullopt;
}

bool SourceCheck::flagged(const AllowedFindings& allowed) const {
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& f) { return !allowed.allows(f.kind); });
}

std::vector<size_t> CheckReport::flagged(const AllowedFindings& allowed) const {
    std::vector<size_t> indexes;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].flagged(allowed)) indexes.push_back(i);
    }
    return indexes;
}

std::vector<size_t> CheckReport::unreadable() const {
    std::vector<size_t> indexes;
    for (size_t i = 0; i < sources.size(); ++i) {
        const auto& findings = sources[i].findings;
        if (std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.kind == FindingKind::Unreadable; })) {
            indexes.push_back(i);
        }
    }
    return indexes;
}

CheckReport checkSources(const CheckRequest& request, SourceCache& sources) { return Checker(request, sources).run(); }

std::string shownValue(const CellValue& value) {
    switch (value.kind()) {
        case CellKind::Empty: return "(empty)";
        case CellKind::Text: return "“" + value.textValue() + "”";
        case CellKind::Error: return errorText(value.errorCode());
        case CellKind::Boolean: return value.booleanValue() ? "TRUE" : "FALSE";
        case CellKind::Number:
        case CellKind::Date: {
            char text[32];
            const auto end = std::to_chars(text, text + sizeof text, value.numberValue()).ptr;
            return std::string(text, end);
        }
    }
    return {};
}

std::string describeFinding(const Finding& f, const CheckReport& report) {
    std::string line(findingName(f.kind));
    const std::string at = f.worksheet + "!" + cellName(f.cell);
    switch (f.kind) {
        case FindingKind::Unreadable: return line + ": " + f.reason;
        case FindingKind::MissingWorksheet: return line + " " + f.worksheet + ": " + f.reason;
        case FindingKind::Layout:
            return line + " " + at + ": the template has " + f.templateValue + ", this file " + f.sourceValue;
        case FindingKind::Duplicate:
            return line + ": " + (f.sameBytes ? "the same bytes as " : "the same values in every range as ") +
                   utf8String(report.sources[*f.duplicateOf].file);
        case FindingKind::SameUnit:
            return line + ": a second report of " + f.reason + ", after " + utf8String(report.sources[*f.duplicateOf].file);
        case FindingKind::NotANumber:
        case FindingKind::NoResult:
        case FindingKind::Audit: {
            if (f.kind == FindingKind::NotANumber) {
                line += " " + at + " " + f.sourceValue + " adds nothing";
            } else if (f.kind == FindingKind::Audit) {
                line += " " + at + ": the file holds " + f.sourceValue + ", the template's formula " + f.reason +
                        " gives " + f.templateValue + " on its values";
            } else {
                line += " " + at + ": the file holds the formula without its result, which is not computed here either (" +
                        f.reason + "), so it adds nothing";
            }
            if (f.count > 1) {
                line += " (" + std::to_string(f.count) + " cells:";
                for (const CellAddress& cell : f.cells) (line += ' ') += cellName(cell);
                if (f.count > static_cast<long long>(f.cells.size())) line += " ...";
                line += ")";
            }
            return line;
        }
    }
    return line;
}

}  // namespace sbx
