#include "spreadsheet/xlsx/worksheet_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/shared_strings.h"
#include "spreadsheet/xlsx/scanned_xml.h"
#include "spreadsheet/xlsx/sheet_data_scanner.h"
#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

using xls::FormatError;

namespace {

long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool readInt(std::string_view& s, size_t digits, int& out) {
    if (s.size() < digits) return false;
    out = 0;
    for (size_t i = 0; i < digits; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    s.remove_prefix(digits);
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\n' || s.front() == '\r' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool parseNumber(std::string_view text, double& value) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

uint32_t toUnsigned(const char* value) {
    uint32_t n = 0;
    if (value) std::from_chars(value, value + std::char_traits<char>::length(value), n);
    return n;
}

}  // namespace

bool isoDateSerial(std::string_view text, double& serial) {
    text = trimmed(text);
    int y, mo, d, h = 0, mi = 0, s = 0;
    if (!readInt(text, 4, y) || text.empty() || text[0] != '-') return false;
    text.remove_prefix(1);
    if (!readInt(text, 2, mo) || text.empty() || text[0] != '-') return false;
    text.remove_prefix(1);
    if (!readInt(text, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    double fraction = 0;
    if (!text.empty() && (text[0] == 'T' || text[0] == ' ')) {
        text.remove_prefix(1);
        if (!readInt(text, 2, h) || text.empty() || text[0] != ':') return false;
        text.remove_prefix(1);
        if (!readInt(text, 2, mi)) return false;
        if (!text.empty() && text[0] == ':') {
            text.remove_prefix(1);
            if (!readInt(text, 2, s)) return false;
            if (!text.empty() && text[0] == '.') {
                size_t n = 1;
                while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
                double f = 0;
                std::from_chars(text.data(), text.data() + n, f);
                fraction = f;
                text.remove_prefix(n);
            }
        }
    }
    if (!text.empty() && text != "Z") return false;
    const long long days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) -
                           daysFromCivil(1899, 12, 30);
    // The 1900 date system counts a 29 February 1900 that never was.
    const double day = static_cast<double>(days < 61 ? days - 1 : days);
    serial = day + (h * 3600 + mi * 60 + s + fraction) / 86400.0;
    return true;
}

namespace {

// Turns the events of one worksheet part into its SheetContent.
class CellHandler final : public XmlHandler {
public:
    CellHandler(const WorksheetReadOptions& options, const std::string& part) : options_(options), part_(part) {}

    SheetContent content() {
        if (!sorted_) {
            // Rows or cells out of order: sort, the last of two at one position wins.
            std::stable_sort(content_.cells.begin(), content_.cells.end(),
                             [](const StoredCell& a, const StoredCell& b) { return a.key < b.key; });
            std::vector<StoredCell> unique;
            unique.reserve(content_.cells.size());
            for (const auto& c : content_.cells) {
                if (!unique.empty() && unique.back().key == c.key) unique.back() = c;
                else unique.push_back(c);
            }
            content_.cells = std::move(unique);
        }
        return std::move(content_);
    }

    void start(std::string_view name, const char** attributes) override {
        const int level = dataDepth_;
        if (dataDepth_ >= 0) ++dataDepth_;
        if (name == "c") {
            if (level == 1) startCell(attributes);
        } else if (name == "v") {
            if (inCell_) {
                collect_ = Collect::Value;
                value_.clear();
                hasValue_ = true;
            }
        } else if (name == "f") {
            if (inCell_) startFormula(attributes);
        } else if (name == "is") {
            if (inCell_) {
                inInline_ = true;
                hasInline_ = true;
                value_.clear();
            }
        } else if (name == "t") {
            if (inInline_ && phonetic_ == 0) collect_ = Collect::Value;
        } else if (name == "rPh") {
            ++phonetic_;
        } else if (name == "row") {
            if (level == 0) startRow(attributes);
        } else if (name == "sheetData") {
            if (level < 0) dataDepth_ = 0;
        } else if (level >= 0) {
            return;
        } else if (name == "col") {
            const int first = static_cast<int>(toUnsigned(attribute(attributes, "min")));
            const int last = static_cast<int>(toUnsigned(attribute(attributes, "max")));
            if (const char* style = attribute(attributes, "style"); style && first >= 1 && last >= first) {
                content_.columnStyles.push_back({first, std::min(last, kMaxColumns), toUnsigned(style)});
            }
        } else if (name == "sheetProtection") {
            const char* sheet = attribute(attributes, "sheet");
            content_.isProtected = sheet && (std::string_view(sheet) == "1" || std::string_view(sheet) == "true");
        }
    }

    void end(std::string_view name) override {
        if (dataDepth_ > 0) --dataDepth_;
        else if (dataDepth_ == 0) dataDepth_ = -1;  // </sheetData>
        if (name == "c") {
            if (inCell_ && dataDepth_ == 1) endCell();
        } else if (name == "v" || name == "t") {
            if (collect_ == Collect::Value) collect_ = Collect::None;
        } else if (name == "f") {
            if (collect_ == Collect::Formula) {
                collect_ = Collect::None;
                if (!sharedIndex_.empty() && !follower_) shared_[sharedIndex_] = {formula_, row_, column_};
            }
        } else if (name == "is") {
            inInline_ = false;
        } else if (name == "rPh") {
            --phonetic_;
        }
    }

    void text(std::string_view chars) override {
        if (collect_ == Collect::Value) value_.append(chars);
        else if (collect_ == Collect::Formula) formula_.append(chars);
    }

private:
    enum class Collect { None, Value, Formula };

    [[noreturn]] void corrupt(const std::string& what) {
        throw FormatError(WorkbookErrorKind::Corrupt, "the worksheet part " + part_ + ": " + what);
    }

    void startRow(const char** attributes) {
        const char* r = attribute(attributes, "r");
        const int row = r ? static_cast<int>(toUnsigned(r)) : row_ + 1;
        if (row < 1 || row > kMaxRows) corrupt("row number " + std::string(r ? r : "?") + " is outside the sheet");
        row_ = row;
        column_ = 0;
        const char* custom = attribute(attributes, "customFormat");
        const char* style = attribute(attributes, "s");
        if (style && custom && (std::string_view(custom) == "1" || std::string_view(custom) == "true")) {
            content_.rowStyles[row_] = toUnsigned(style);
        }
    }

    void startCell(const char** attributes) {
        inCell_ = true;
        hasValue_ = hasInline_ = false;
        isFormula_ = false;
        value_.clear();
        type_ = 'n';
        style_ = 0;
        for (const char** a = attributes; *a; a += 2) {
            const std::string_view n = localName(a[0]);
            if (n == "r") {
                const auto cell = parseCellAddress(a[1], AddressForm::DollarsAllowed);
                if (!cell) corrupt("the cell reference \"" + std::string(a[1]) + "\" is not valid");
                row_ = cell->row;
                column_ = cell->column;
                explicit_ = true;
            } else if (n == "t") {
                const std::string_view t = a[1];
                type_ = t == "s" ? 's' : t == "str" ? 'f' : t == "inlineStr" ? 'i' : t == "b" ? 'b' : t == "e" ? 'e' : t == "d" ? 'd' : 'n';
            } else if (n == "s") {
                style_ = toUnsigned(a[1]);
            }
        }
        if (!explicit_) {
            if (row_ == 0) row_ = 1;
            ++column_;
        }
        explicit_ = false;
        if (column_ < 1 || column_ > kMaxColumns) corrupt("a cell lies right of the last column");
    }

    void startFormula(const char** attributes) {
        isFormula_ = true;
        const char* type = attribute(attributes, "t");
        const std::string_view t = type ? type : "";
        arrayArea_ = {};
        dataTable_ = t == "dataTable";
        if (t == "array" || t == "dataTable") {
            Area area;
            const char* ref = attribute(attributes, "ref");
            if (ref && parseArea(ref, area)) {
                content_.arrayAreas.push_back(area);
                if (t == "array") arrayArea_ = area;
            }
        }
        sharedIndex_.clear();
        if (t == "shared") {
            const char* si = attribute(attributes, "si");
            sharedIndex_ = si ? si : "";
            if (attribute(attributes, "ref")) content_.sharedFormulaMasters.push_back(cellKey(row_, column_));
        }
        if (options_.formulas) {
            collect_ = Collect::Formula;
            formula_.clear();
        }
        follower_ = t == "shared" && !attribute(attributes, "ref");
    }

    void endCell() {
        inCell_ = false;
        StoredCell cell;
        cell.key = cellKey(row_, column_);
        cell.style = style_;
        cell.formula = isFormula_;
        const std::string_view value = value_;
        switch (type_) {
            case 's': {
                if (!hasValue_) break;
                double index = 0;
                if (!parseNumber(value, index) || index < 0 || index >= options_.sharedStringCount) {
                    corrupt("the cell " + cellName({row_, column_}, LetterCase::Upper) + " names shared string " + std::string(value) +
                            ", which the table lacks");
                }
                cell.kind = StoredKind::SharedText;
                cell.text = static_cast<uint32_t>(index);
                break;
            }
            case 'f':
            case 'i':
                if (!hasValue_ && !hasInline_) break;
                cell.kind = StoredKind::Text;
                cell.text = static_cast<uint32_t>(content_.texts.size());
                content_.texts.push_back(decodeEscapes(value_));
                break;
            case 'b':
                if (!hasValue_) break;
                cell.kind = StoredKind::Boolean;
                cell.number = (trimmed(value) == "1" || trimmed(value) == "true") ? 1.0 : 0.0;
                break;
            case 'e':
                if (!hasValue_) break;
                cell.kind = StoredKind::Error;
                cell.number = errorCodeOf(trimmed(value));
                break;
            case 'd':
                if (!hasValue_) break;
                if (!isoDateSerial(value, cell.number)) corrupt("the date cell " + cellName({row_, column_}, LetterCase::Upper) + " holds \"" + std::string(value) + "\"");
                cell.kind = StoredKind::Date;
                break;
            default:
                if (!hasValue_ || trimmed(value).empty()) break;
                if (!parseNumber(value, cell.number)) {
                    corrupt("the cell " + cellName({row_, column_}, LetterCase::Upper) + " holds \"" + std::string(value) + "\", not a number");
                }
                if (options_.styles->at(style_).date) {
                    cell.kind = StoredKind::Date;
                    if (options_.date1904) cell.number += kDate1904Offset;
                } else {
                    cell.kind = StoredKind::Number;
                }
        }
        if (options_.formulas && isFormula_) {
            FormulaCell f{row_, column_, formula_, 0, 0, arrayArea_, dataTable_};
            if (follower_) {
                const auto it = shared_.find(sharedIndex_);
                if (it != shared_.end()) {
                    f.text = it->second.text;
                    f.masterRow = it->second.row;
                    f.masterColumn = it->second.column;
                }
            }
            options_.formulas->push_back(std::move(f));
        }
        if (cell.kind == StoredKind::Blank) {
            // Blank cells only matter for their format.
            const auto& style = options_.styles->at(style_);
            if (style.locked && !style.text && !style.date && !isFormula_) return;
        }
        if (!content_.cells.empty() && content_.cells.back().key >= cell.key) sorted_ = false;
        content_.cells.push_back(cell);
    }

    struct SharedFormula {
        std::string text;
        int row = 0, column = 0;
    };

    const WorksheetReadOptions& options_;
    const std::string& part_;
    SheetContent content_;
    // Elements open inside <sheetData>, -1 outside it. Rows are its <row> children and cells
    // their <c> children only: the anchors of controls and embedded objects after it hold
    // <xdr:row> and <xdr:col> elements of their own.
    int dataDepth_ = -1;
    int row_ = 0;
    int column_ = 0;
    bool explicit_ = false;
    bool inCell_ = false;
    bool inInline_ = false;
    bool hasValue_ = false;
    bool hasInline_ = false;
    bool isFormula_ = false;
    bool follower_ = false;
    bool sorted_ = true;
    int phonetic_ = 0;
    char type_ = 'n';
    uint32_t style_ = 0;
    Collect collect_ = Collect::None;
    std::string value_;
    std::string formula_;
    std::string sharedIndex_;
    Area arrayArea_;
    bool dataTable_ = false;
    std::map<std::string, SharedFormula> shared_;
};

}  // namespace

// Expat alone, or expat with the scanner for the content of <sheetData> (scanned_xml.h).
class WorksheetReader::Handler {
public:
    Handler(const WorksheetReadOptions& options, std::string part, WorksheetParsing parsing)
        : part_(std::move(part)), cells_(options, part_),
          parser_(cells_, part_, parsing == WorksheetParsing::Scanner ? ScannedElement{"sheetData", 1} : ScannedElement{}) {}

    void feed(std::string_view piece) { parser_.feed(piece); }

    SheetContent finish() {
        parser_.finish();
        return cells_.content();
    }

private:
    std::string part_;
    CellHandler cells_;
    ScannedXmlParser parser_;
};

WorksheetReader::WorksheetReader(const WorksheetReadOptions& options, std::string part, WorksheetParsing parsing)
    : handler_(std::make_unique<Handler>(options, std::move(part), parsing)) {}

WorksheetReader::~WorksheetReader() = default;

void WorksheetReader::feed(std::string_view piece) { handler_->feed(piece); }

SheetContent WorksheetReader::finish() { return handler_->finish(); }

SheetContent readWorksheet(const WorksheetReadOptions& options, const std::string& part, const PartStream& stream) {
    try {
        WorksheetReader reader(options, part, WorksheetParsing::Scanner);
        stream([&](std::string_view piece) { reader.feed(piece); });
        return reader.finish();
    } catch (const ScanDeclined&) {
        if (options.formulas) options.formulas->clear();
    }
    WorksheetReader reader(options, part, WorksheetParsing::Expat);
    stream([&](std::string_view piece) { reader.feed(piece); });
    return reader.finish();
}

}  // namespace sbx::xlsx
