#pragma once
// Rows and columns matched by their labels (按标签对齐): a report whose rows were shifted (an
// inserted row, a moved column) is added where its labels meet the template's, not where its
// cells stand. The run's adding stays the same: an aligned source's values are laid onto the
// template's range first (alignedValues) and then added like any other's.
//
// Rules:
// - Where the labels stand is the template's to say, range by range. The row labels: the
//   range's first column when, below its first cell, it holds texts and no numbers (a label
//   column chosen with the amounts); else the nearest column left of the range that holds a
//   text in its rows. The column labels likewise: the range's first row, else the nearest row
//   above. A source holds its labels in the same column and row; a range without one is
//   added in place along that direction.
// - Labels compare after trimming blanks and folding full-width letters, digits and signs
//   to half-width (ＡＢ１２ is AB12, the ideographic space a blank); nothing else is guessed.
// - The rows of a source matched are those from the range's first row down to the last row
//   whose label the template has; columns likewise. The k-th row of a label goes to the
//   template's k-th row of that label when both hold it as many times.
// - Not matched, and reported: a row (column) holding values whose label the template lacks,
//   has none, or holds a different number of times than the template. Its values add nothing.
#include <string>
#include <vector>

#include "spreadsheet/area_values.h"
#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

// A label as compared; empty for a cell that is no label (empty, an error, a boolean, blanks).
std::string labelKey(const CellValue& value);

// Where the labels of one range stand in the template, and what they are.
struct RangeLabels {
    CellArea area;
    int labelColumn = 0;  // 0: the rows are not labelled
    int labelRow = 0;     // 0: the columns are not labelled
    std::vector<std::string> rowKeys;     // by row of the area; empty where the template has no label
    std::vector<std::string> columnKeys;  // by column of the area
};
RangeLabels rangeLabels(const Worksheet& templateSheet, const CellArea& area);

// A label of a source that could not be matched: where it stands, as shown, and how often the
// source and the template hold it.
struct UnmatchedLabel {
    CellAddress cell;
    CellValue label;
    int times = 0;
    int templateTimes = 0;
};

// How one source's area lands on the template's range.
struct AreaAlignment {
    CellArea area;             // the template's range
    std::vector<int> rows;     // by row of the range: the source's row that lands there, 0 for none
    std::vector<int> columns;  // by column of the range
    std::vector<UnmatchedLabel> unmatched;  // row by row
    // Adding by position gives the same: every row and column lands where it stands, or
    // nothing lands on it and the source holds nothing there, and nothing is unmatched.
    bool inPlace = false;

    // The smallest area of the source holding every cell that lands on the range; empty
    // (firstRow > lastRow) when none does.
    CellArea sourceArea() const;
    // The source's cell that lands on `cell` of the range; row 0 when none does.
    CellAddress sourceCell(CellAddress cell) const;
    // The cell of the range that the source's `cell` lands on; row 0 when it lands nowhere.
    CellAddress landsAt(CellAddress cell) const;
};
AreaAlignment alignArea(const RangeLabels& labels, const Worksheet& source);

// The source's values as they land on the range, as values of the range.
AreaValues alignedValues(const Worksheet& source, const AreaAlignment& alignment, bool dates1904);

// A source worksheet seen through its alignment: the cells of the range read the source's
// cells that land there (empty where none does); every other cell is the source's own. For
// evaluating the template's formulas on a shifted report. Only read.
class AlignedWorksheet final : public Worksheet {
public:
    AlignedWorksheet(const Worksheet& source, const std::vector<AreaAlignment>& alignments)
        : source_(source), alignments_(alignments) {}

    std::string name() const override { return source_.name(); }
    CellValue cell(int row, int column) const override;
    void forEachValue(const CellArea& area, const std::function<void(int, int, const CellValue&)>& visit) const override;
    std::pair<int, int> lastValueCell() const override;
    bool isProtected() const override { return source_.isProtected(); }
    bool isCellLocked(int row, int column) const override { return source_.isCellLocked(row, column); }
    void setCell(int row, int column, const CellValue& value) override;

private:
    const Worksheet& source_;
    const std::vector<AreaAlignment>& alignments_;
};

}  // namespace sbx
