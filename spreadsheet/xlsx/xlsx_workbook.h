#pragma once
// The .xlsx/.xlsm engine's side of Workbook and Worksheet: a package read on open, each
// worksheet read when first used, written cells kept as edits until saveXlsxWorkbook.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/package_layout.h"
#include "spreadsheet/xlsx/sheet_content.h"
#include "spreadsheet/xlsx/worksheet_reader.h"
#include "spreadsheet/xlsx/zip_package.h"

namespace sbx::xlsx {

class XlsxWorkbook;
struct XlsxRecalculation;

// Written cells by cellKey; an empty CellValue clears a cell's value.
using SheetEdits = std::map<uint64_t, CellValue>;
// By worksheet index (into PackageLayout::worksheets).
using WorkbookEdits = std::map<size_t, SheetEdits>;

class XlsxWorksheet final : public Worksheet {
public:
    XlsxWorksheet(XlsxWorkbook& owner, size_t index) : owner_(owner), index_(index) {}

    std::string name() const override;
    CellValue cell(int row, int column) const override;
    void forEachValue(const CellArea& area,
                      const std::function<void(int, int, const CellValue&)>& visit) const override;
    std::pair<int, int> lastValueCell() const override;
    bool isProtected() const override;
    bool isCellLocked(int row, int column) const override;
    std::string numberFormat(int row, int column) const override;
    std::vector<FormulaWithoutResult> formulasWithoutResult(const CellArea& area) const override;
    std::vector<FormulaReading> formulasIn(const CellArea& area) const override;
    void setCell(int row, int column, const CellValue& value) override;

private:
    void checkPosition(int row, int column) const;
    const SheetEdits* edits() const;

    XlsxWorkbook& owner_;
    size_t index_;
};

class XlsxWorkbook final : public Workbook {
public:
    // Throws WorkbookError naming `file`.
    static std::unique_ptr<XlsxWorkbook> open(const std::filesystem::path& file);
    // The same for bytes read some other way (tests, fuzzing).
    static std::unique_ptr<XlsxWorkbook> fromBytes(std::vector<uint8_t> bytes, const std::filesystem::path& file);

    const std::filesystem::path& path() const override { return file_; }
    int worksheetCount() const override { return static_cast<int>(sheets_.size()); }
    Worksheet& worksheet(int position) override;
    Worksheet& worksheet(std::string_view name) override;
    bool isModified() const override { return !edits_.empty(); }
    std::vector<StaleFormula> staleFormulas() const override;
    bool uses1904Dates() const override { return layout_.date1904; }

    const ZipPackage& package() const { return package_; }
    const PackageLayout& layout() const { return layout_; }
    const CellStyles& styles() const { return styles_; }
    const WorkbookEdits& edits() const { return edits_; }
    WorkbookEdits& edits() {
        recalculation_.reset();  // the cells change
        return edits_;
    }
    // The new results of the formulas over the written cells, computed once for the edits as
    // they are (the report of stale formulas and the save share it). Throws WorkbookError.
    const XlsxRecalculation& recalculation() const;
    bool isHidden(size_t index) const { return layout_.worksheets[index].hidden; }

    // The worksheet's cells as stored in the file, read on first use, with the results of
    // formulas stored without one computed (once for the whole workbook, when the first
    // worksheet holding one is read). Throws WorkbookError.
    const SheetContent& content(size_t index) const;
    // Why a formula stored without a result could not be computed.
    std::string withoutResultReason(size_t index, uint64_t key) const;
    // Whether a worksheet read so far holds a formula stored without a result.
    bool holdsFormulasWithoutResult() const { return withoutResult_; }
    // The results computed for them (and the formulas reading them), by worksheet and cellKey.
    const std::map<size_t, std::map<uint64_t, CellValue>>& openingResults() const { return openingResults_; }
    // Every formula of a worksheet, read again from its part (the cells are kept when they
    // were not read yet).
    std::vector<FormulaCell> formulas(size_t index) const;
    CellValue valueOf(const SheetContent& sheet, const StoredCell& cell) const;
    bool isRead(size_t index) const { return contents_[index].has_value(); }

private:
    XlsxWorkbook(std::filesystem::path file, ZipPackage package);
    const std::vector<std::string>& sharedStrings() const;
    uint32_t sharedStringCount() const;
    [[noreturn]] void rethrow(const std::exception& e) const;
    void keep(size_t index, SheetContent content) const;
    void computeOnOpening() const;

    std::filesystem::path file_;
    ZipPackage package_;
    PackageLayout layout_;
    CellStyles styles_;
    WorkbookEdits edits_;
    std::vector<std::unique_ptr<XlsxWorksheet>> sheets_;
    mutable std::optional<std::vector<std::string>> sharedStrings_;
    mutable std::vector<std::optional<SheetContent>> contents_;
    mutable std::shared_ptr<const XlsxRecalculation> recalculation_;
    mutable bool withoutResult_ = false;  // a worksheet read holds a formula without a result
    mutable bool opened_ = false;         // those were computed
    mutable std::map<std::pair<size_t, uint64_t>, std::string> notComputed_;  // by worksheet and cellKey
    mutable std::map<size_t, std::map<uint64_t, CellValue>> openingResults_;
};

// Reads a whole file, with FileNotFound and Unreadable errors naming it.
std::vector<uint8_t> readFileBytes(const std::filesystem::path& file);

}  // namespace sbx::xlsx
