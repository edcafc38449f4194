#pragma once
// The cells of a workbook as its formulas see them: the values read, the cells written over
// them, and the results computed so far. Dates are the workbook's own serial numbers.
#include <map>
#include <optional>
#include <vector>

#include "spreadsheet/xls/formula_evaluator.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "spreadsheet/xls/workbook_writer.h"

namespace sbx::xls::formula {

class WorkbookCells final : public CellSource {
public:
    WorkbookCells(const WorkbookReader& reader, const WorkbookEdits& edits) : reader_(reader), edits_(edits) {
        sheets_.resize(reader.worksheets().size());
    }

    CellValue value(uint32_t sheet, uint32_t row, uint32_t column) const override;
    void forEach(uint32_t sheet, const Area& area,
                 const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const override;
    void set(uint32_t sheet, uint32_t key, const CellValue& value);

private:
    const std::map<uint32_t, CellValue>& sheet(uint32_t index) const;
    CellValue plain(const CellValue& v) const;

    const WorkbookReader& reader_;
    const WorkbookEdits& edits_;
    mutable std::vector<std::optional<std::map<uint32_t, CellValue>>> sheets_;
};

}  // namespace sbx::xls::formula
