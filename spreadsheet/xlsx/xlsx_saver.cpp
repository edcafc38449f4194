#include "spreadsheet/xlsx/xlsx_saver.h"

#include <fstream>
#include <map>
#include <set>

#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/element_spans.h"
#include "spreadsheet/xlsx/formula_recalc.h"
#include "spreadsheet/xlsx/sheet_rewriter.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

namespace sbx::xlsx {

using xls::FormatError;

namespace {

constexpr uint32_t kShortDateFormat = 14;

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

size_t endTagStart(const ElementSpan& s) {
    return s.isEmpty() ? s.end : s.end - (s.qualified.size() + 3);
}

// Dates written into cells whose format shows no date get a copy of that format with the
// short date format, appended to cellXfs.
class DateStyles {
public:
    DateStyles(const XlsxWorkbook& book) : book_(book) {
        part_ = book.layout().stylesPart;
        if (part_.empty()) return;
        xml_ = book.package().read(part_, kSmallPartLimits);
        spans_ = elementSpans(xml_, part_);
        for (size_t i = 0; i < spans_.size(); ++i) {
            if (spans_[i].name == "cellXfs" && spans_[i].depth == 1) cellXfs_ = static_cast<int>(i);
        }
        if (cellXfs_ < 0) return;
        const auto& list = spans_[static_cast<size_t>(cellXfs_)];
        for (size_t i = static_cast<size_t>(cellXfs_) + 1; i < spans_.size() && spans_[i].start < list.end; ++i) {
            if (spans_[i].name == "xf" && spans_[i].depth == list.depth + 1) xfs_.push_back(i);
        }
    }

    uint32_t forDate(uint32_t style) {
        if (cellXfs_ < 0 || spans_[static_cast<size_t>(cellXfs_)].isEmpty() || book_.styles().at(style).date) return style;
        if (const auto it = made_.find(style); it != made_.end()) return it->second;
        if (xfs_.empty()) return style;
        const ElementSpan& xf = spans_[xfs_[style < xfs_.size() ? style : 0]];
        std::string tag = xml_.substr(xf.start, xf.startTagEnd - xf.start);
        tag = withAttribute(withAttribute(tag, "numFmtId", std::to_string(kShortDateFormat)), "applyNumberFormat", "1");
        added_ += tag + xml_.substr(xf.startTagEnd, xf.end - xf.startTagEnd);
        const auto index = static_cast<uint32_t>(xfs_.size() + made_.size());
        made_[style] = index;
        return index;
    }

    bool changed() const { return !made_.empty(); }
    const std::string& part() const { return part_; }

    std::string result() const {
        const ElementSpan& list = spans_[static_cast<size_t>(cellXfs_)];
        Splices splices;
        const std::string tag = xml_.substr(list.start, list.startTagEnd - list.start);
        splices.replace(list.start, list.startTagEnd, withAttribute(tag, "count", std::to_string(xfs_.size() + made_.size())));
        splices.insert(endTagStart(list), added_);
        return splices.apply(xml_);
    }

private:
    const XlsxWorkbook& book_;
    std::string part_;
    std::string xml_;
    std::vector<ElementSpan> spans_;
    int cellXfs_ = -1;
    std::vector<size_t> xfs_;
    std::map<uint32_t, uint32_t> made_;
    std::string added_;
};

// Cuts the elements named `name` for which `drop` says so.
template <typename Drop>
std::string withoutElements(const std::string& xml, const std::string& part, std::string_view name, Drop drop) {
    Splices splices;
    bool any = false;
    for (const auto& s : elementSpans(xml, part)) {
        if (s.name == name && drop(s)) {
            splices.replace(s.start, s.end, "");
            any = true;
        }
    }
    return any ? splices.apply(xml) : xml;
}

// <calcPr fullCalcOnLoad="1"/> in the workbook part, added in its place when missing.
std::string withFullCalcOnLoad(const std::string& xml, const std::string& part) {
    const auto spans = elementSpans(xml, part);
    Splices splices;
    size_t after = std::string::npos;
    std::string prefix;
    for (const auto& s : spans) {
        if (s.depth != 1) continue;
        if (s.name == "calcPr") {
            const std::string tag = xml.substr(s.start, s.startTagEnd - s.start);
            splices.replace(s.start, s.startTagEnd, withAttribute(tag, "fullCalcOnLoad", "1"));
            return splices.apply(xml);
        }
        // calcPr follows these in the workbook's element order.
        if (s.name == "sheets" || s.name == "functionGroups" || s.name == "externalReferences" || s.name == "definedNames") {
            after = s.end;
            const size_t colon = s.qualified.find(':');
            prefix = colon == std::string::npos ? "" : s.qualified.substr(0, colon + 1);
        }
    }
    if (after == std::string::npos) return xml;
    splices.insert(after, "<" + prefix + "calcPr fullCalcOnLoad=\"1\"/>");
    return splices.apply(xml);
}

bool hasFormulas(const XlsxWorkbook& book) {
    for (size_t i = 0; i < book.layout().worksheets.size(); ++i) {
        for (const auto& c : book.content(i).cells) {
            if (c.formula) return true;
        }
    }
    return false;
}

}  // namespace

bool isZipPackage(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[4] = {};
    if (!in.read(head, 4)) return false;
    return head[0] == 'P' && head[1] == 'K' && ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
}

std::vector<uint8_t> buildXlsxFile(const XlsxWorkbook& book) {
    const auto& layout = book.layout();
    std::map<std::string, std::string> replaced;
    std::vector<std::string> removed;
    DateStyles dateStyles(book);
    const XlsxRecalculation& recalculation = book.recalculation();
    std::set<size_t> rewritten;
    for (const auto& [index, edits] : book.edits()) {
        if (!edits.empty()) rewritten.insert(index);
    }
    for (const auto& [index, results] : recalculation.results) rewritten.insert(index);
    static const SheetEdits noEdits;
    static const std::map<uint64_t, CellValue> noResults;
    for (const size_t index : rewritten) {
        const auto e = book.edits().find(index);
        const SheetEdits& edits = e == book.edits().end() ? noEdits : e->second;
        const auto r = recalculation.results.find(index);
        const auto& results = r == recalculation.results.end() ? noResults : r->second;
        const auto& content = book.content(index);
        CellWriteStyle style;
        style.inherited = [&](int row, int column) { return content.styleAt(row, column); };
        style.forDate = [&](uint32_t s) { return dateStyles.forDate(s); };
        style.date1904 = layout.date1904;
        const std::string& part = layout.worksheets[index].part;
        replaced[part] = rewriteWorksheet(book.package().read(part), edits, style, part, results);
    }
    if (dateStyles.changed()) replaced[dateStyles.part()] = dateStyles.result();

    if (!layout.calcChainPart.empty() || hasFormulas(book)) {
        replaced[layout.workbookPart] = withFullCalcOnLoad(book.package().read(layout.workbookPart, kSmallPartLimits),
                                                           layout.workbookPart);
    }
    if (!layout.calcChainPart.empty()) {
        // The chain lists formula cells that may now be values: it goes, with its content
        // type and its relationship.
        removed.push_back(layout.calcChainPart);
        const std::string calcChainName = "/" + lowerAscii(layout.calcChainPart);
        if (const auto types = book.package().find("[Content_Types].xml")) {
            replaced[*types] = withoutElements(book.package().read(*types, kSmallPartLimits), *types, "Override",
                                               [&](const ElementSpan& s) {
                                                   const auto it = s.attributes.find("PartName");
                                                   return it != s.attributes.end() && lowerAscii(it->second) == calcChainName;
                                               });
        }
        const std::string rels = relationshipsPartOf(layout.workbookPart);
        if (const auto stored = book.package().find(rels)) {
            replaced[*stored] = withoutElements(book.package().read(*stored, kSmallPartLimits), *stored, "Relationship",
                                                [&](const ElementSpan& s) {
                                                    const auto it = s.attributes.find("Type");
                                                    return it != s.attributes.end() && it->second.ends_with("/calcChain");
                                                });
        }
    }
    return book.package().rebuilt(replaced, removed);
}

void saveXlsxWorkbook(const XlsxWorkbook& book, const std::filesystem::path& target, const FileWriteSteps& steps,
                      const SavePlacement& placement) {
    std::vector<uint8_t> bytes;
    try {
        bytes = buildXlsxFile(book);
    } catch (const FormatError& e) {
        throw WorkbookError(e.kind(), target, std::string("cannot save: ") + e.what());
    }
    // Read back before the old file is replaced: a write that would not survive is refused.
    const auto check = XlsxWorkbook::fromBytes(bytes, target);
    for (const auto& [index, edits] : book.edits()) {
        auto& sheet = check->worksheet(static_cast<int>(index) + 1);
        for (const auto& [key, value] : edits) {
            const CellValue saved = sheet.cell(keyRow(key), keyColumn(key));
            if (!holdsWrittenValue(value, saved, check->uses1904Dates())) {
                throw WorkbookError(WorkbookErrorKind::Corrupt, target,
                                    "cannot save: worksheet \"" + sheet.name() + "\", cell " +
                                        cellName({keyRow(key), keyColumn(key)}, LetterCase::Upper) + " would read back as " +
                                        describe(saved) + " instead of " + describe(value));
            }
        }
    }
    if (placement.written) placement.written(bytes);
    replaceFileAtomically(target, bytes, steps, placement.link);
}

}  // namespace sbx::xlsx
