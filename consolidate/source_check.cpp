#include "consolidate/source_check.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <functional>
#include <map>
#include <system_error>
#include <unordered_map>

#include "consolidate/file_digest.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, kFindingKinds> kNames{"UNREADABLE", "MISSING_WORKSHEET", "LAYOUT", "DUPLICATE",
                                                             "NOT_A_NUMBER"};

using Position = std::pair<int, int>;  // row, column: ordered row by row

// What the template holds on one chosen worksheet.
struct TemplateSheet {
    std::vector<CellArea> areas;                 // the chosen ranges of this worksheet
    std::vector<std::pair<Position, std::string>> textsOutside;  // row by row
    std::map<Position, CellValue> outside;       // every value outside the ranges
    std::map<Position, CellValue> labelsInside;  // values inside that add nothing
    bool present = false;
};

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

constexpr CellArea kWholeSheet{};

TemplateSheet readTemplateSheet(SourceCache& cache, const fs::path& file, const std::string& name,
                                const std::vector<CellArea>& areas) {
    TemplateSheet t;
    t.areas = areas;
    const SourceArea where{file, name, areas.front()};
    const OpenedSource opened = cache.open(where);
    opened.sheet.forEachValue(kWholeSheet, [&](int row, int column, const CellValue& v) {
        if (insideAny(areas, row, column)) {
            if (addsNothing(v)) t.labelsInside.emplace(Position{row, column}, v);
            return;
        }
        if (v.kind() == CellKind::Text) t.textsOutside.push_back({{row, column}, v.textValue()});
        t.outside.emplace(Position{row, column}, v);
    });
    t.present = true;
    cache.release(where);
    return t;
}

// The first position, row by row, where the template or the source has a text that the
// other lacks.
std::optional<Finding> firstLayoutDifference(const TemplateSheet& t, const Worksheet& sheet, const std::string& name) {
    std::vector<std::pair<Position, std::string>> texts;
    sheet.forEachValue(kWholeSheet, [&](int row, int column, const CellValue& v) {
        if (v.kind() == CellKind::Text && !insideAny(t.areas, row, column)) texts.push_back({{row, column}, v.textValue()});
    });
    const auto& mine = t.textsOutside;
    size_t i = 0, j = 0;
    while (i < mine.size() || j < texts.size()) {
        Position at;
        if (j == texts.size() || (i < mine.size() && mine[i].first < texts[j].first)) {
            at = mine[i].first;
        } else if (i == mine.size() || texts[j].first < mine[i].first) {
            at = texts[j].first;
        } else if (mine[i].second == texts[j].second) {
            ++i, ++j;
            continue;
        } else {
            at = mine[i].first;
        }
        Finding f{FindingKind::Layout, name};
        f.cell = {at.first, at.second};
        const auto own = t.outside.find(at);
        f.templateValue = shownValue(own == t.outside.end() ? CellValue() : own->second);
        f.sourceValue = shownValue(sheet.cell(at.first, at.second));
        return f;
    }
    return std::nullopt;
}

// Appends the bytes that identify a value at a position, for the duplicate check.
void appendValue(std::string& key, int row, int column, const CellValue& v) {
    char fixed[1 + 2 * sizeof(int) + sizeof(double)];
    fixed[0] = static_cast<char>(v.kind());
    std::memcpy(fixed + 1, &row, sizeof row);
    std::memcpy(fixed + 1 + sizeof row, &column, sizeof column);
    const double number = v.numberValue();
    std::memcpy(fixed + 1 + 2 * sizeof(int), &number, sizeof number);
    key.append(fixed, sizeof fixed);
    if (v.kind() == CellKind::Text) {
        key += v.textValue();
        key += '\0';
    }
}

class Checker {
public:
    Checker(const CheckRequest& request, SourceCache& cache) : request_(request), cache_(cache) {}

    CheckReport run() {
        readTemplate();
        for (size_t index = 0; index < request_.sources.size(); ++index) report_.sources.push_back(checkOne(index));
        return std::move(report_);
    }

private:
    void readTemplate() {
        for (const auto& [name, areas] : sheetsOf(request_.job)) {
            try {
                templates_.emplace(name, readTemplateSheet(cache_, request_.templateFile, name, areas));
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
        std::error_code ec;
        c.size = fs::file_size(c.file, ec);
        if (ec) c.size = 0;
        try {
            c.sha256 = sha256OfFile(c.file);
        } catch (const WorkbookError& e) {
            c.findings.push_back({FindingKind::Unreadable, {}, {}, {}, {}, e.reason()});
            return c;
        }
        std::string valueKey;
        bool anyValue = false;
        for (const auto& [name, areas] : sheetsOf(request_.job)) {
            const SourceArea where{c.file, name, areas.front()};
            try {
                const OpenedSource opened = cache_.open(where);
                checkSheet(c, templates_.at(name), opened.sheet, name, valueKey, anyValue);
                cache_.release(where);
            } catch (const WorkbookError& e) {
                if (e.kind() == WorkbookErrorKind::SheetNotFound) {
                    c.findings.push_back({FindingKind::MissingWorksheet, name, {}, {}, {}, e.reason()});
                    continue;
                }
                c.findings.push_back({FindingKind::Unreadable, {}, {}, {}, {}, e.reason()});
                return c;
            }
        }
        noteDuplicate(c, index, anyValue ? std::optional<std::string>(std::move(valueKey)) : std::nullopt);
        return c;
    }

    void checkSheet(SourceCheck& c, const TemplateSheet& t, const Worksheet& sheet, const std::string& name,
                    std::string& valueKey, bool& anyValue) {
        if (t.present) {
            if (auto layout = firstLayoutDifference(t, sheet, name)) c.findings.push_back(std::move(*layout));
        }
        Finding labels{FindingKind::NotANumber, name};
        for (const CellArea& area : t.areas) {
            sheet.forEachValue(area, [&](int row, int column, const CellValue& v) {
                anyValue = true;
                appendValue(valueKey, row, column, v);
                if (!addsNothing(v)) return;
                const auto own = t.labelsInside.find({row, column});
                if (own != t.labelsInside.end() && own->second == v) return;
                if (labels.count++ == 0) {
                    labels.cell = {row, column};
                    labels.sourceValue = shownValue(v);
                }
                if (labels.cells.size() < kListedCells) labels.cells.push_back({row, column});
            });
        }
        if (labels.count > 0) c.findings.push_back(std::move(labels));
    }

    void noteDuplicate(SourceCheck& c, size_t index, std::optional<std::string> valueKey) {
        Finding f{FindingKind::Duplicate};
        if (const auto [it, added] = byBytes_.emplace(c.sha256, index); !added) {
            f.duplicateOf = it->second;
            f.sameBytes = true;
        } else if (valueKey) {
            const auto key = std::make_pair(std::hash<std::string>{}(*valueKey), valueKey->size());
            if (const auto [vt, fresh] = byValues_.emplace(key, index); !fresh) f.duplicateOf = vt->second;
        }
        if (f.duplicateOf) c.findings.push_back(std::move(f));
    }

    const CheckRequest& request_;
    SourceCache& cache_;
    CheckReport report_;
    std::map<std::string, TemplateSheet> templates_;
    std::unordered_map<std::string, size_t> byBytes_;
    std::map<std::pair<size_t, size_t>, size_t> byValues_;  // hash and length of the values
};

}  // namespace

std::string_view findingName(FindingKind kind) { return kNames[static_cast<size_t>(kind)]; }

std::optional<FindingKind> findingFromName(std::string_view name) {
    for (size_t i = 0; i < kNames.size(); ++i) {
        const auto& known = kNames[i];
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(), [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); })) {
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
        case FindingKind::NotANumber: {
            line += " " + at + " " + f.sourceValue + " adds nothing";
            if (f.count > 1) {
                line += " (" + std::to_string(f.count) + " cells:";
                for (const CellAddress& cell : f.cells) line += " " + cellName(cell);
                if (f.count > static_cast<long long>(f.cells.size())) line += " ...";
                line += ")";
            }
            return line;
        }
    }
    return line;
}

}  // namespace sbx
