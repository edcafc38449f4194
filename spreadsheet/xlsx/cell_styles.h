#pragma once
// What the cell formats (styles.xml cellXfs) mean for values and writes: which show numbers
// as dates, which make a cell a text cell, which cells are locked.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sbx::xlsx {

struct CellStyle {
    bool date = false;
    bool time = false;  // a date format showing only a time of day or a duration
    bool text = false;
    bool locked = true;  // cells are locked unless their format says otherwise
    uint32_t numberFormat = 0;
    std::string code = "General";  // the number format code
};

class CellStyles {
public:
    CellStyles() = default;
    // Throws xls::FormatError for malformed XML.
    static CellStyles parse(std::string_view stylesXml, const std::string& part);

    // Formats outside the table act as the default format.
    const CellStyle& at(uint32_t index) const { return index < styles_.size() ? styles_[index] : default_; }
    size_t size() const { return styles_.size(); }

private:
    std::vector<CellStyle> styles_;
    CellStyle default_;
};

}  // namespace sbx::xlsx
