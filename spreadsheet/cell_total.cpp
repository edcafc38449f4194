#include "spreadsheet/cell_total.h"

#include <algorithm>
#include <cmath>

#include "spreadsheet/typed_number.h"

namespace sbx {

Contribution CellTotal::add(const CellValue& v, bool dates1904) {
    switch (v.kind()) {
        case CellKind::Empty: return Contribution::Blank;
        case CellKind::Number:
            if (!std::isfinite(v.numberValue())) return Contribution::AddsNothing;
            addNumber(v.numberValue());
            return Contribution::Added;
        case CellKind::Text:
            if (const auto n = parseTypedNumber(v.textValue())) {
                addNumber(*n);
                return Contribution::Added;
            }
            return Contribution::AddsNothing;
        case CellKind::Date:
            if (!std::isfinite(v.numberValue())) return Contribution::AddsNothing;
            // Times of day and durations are amounts (6:00 and 12:00 make 18:00): they add
            // the number their workbook stores.
            if (v.isTimeOnly()) {
                addNumber(dates1904 ? v.numberValue() - kDate1904Offset : v.numberValue());
                return Contribution::Added;
            }
            // The stored number counts towards a sum; the date itself is kept in case no
            // plain number ever comes.
            sum_.add(dates1904 ? v.numberValue() - kDate1904Offset : v.numberValue());
            latestDate_ = dates_ ? std::max(latestDate_, v.numberValue()) : v.numberValue();
            dates_ = true;
            return Contribution::Added;
        case CellKind::Boolean:
        case CellKind::Error: return Contribution::AddsNothing;
    }
    return Contribution::AddsNothing;
}

bool CellTotal::finite() const { return !numbers_ || std::isfinite(sum_.value()); }

CellValue CellTotal::written() const {
    if (numbers_) {
        const double total = sum_.value();
        return total == 0.0 ? CellValue() : CellValue::number(total);
    }
    if (dates_) return CellValue::date(latestDate_);
    return CellValue();
}

}  // namespace sbx
