#pragma once
// The native engine's side of SpreadsheetHost: .xls workbooks read by WorkbookReader, .xlsx
// and .xlsm workbooks by the xlsx engine (XlsxWorkbook); open() tells them apart by content.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "spreadsheet/xls/workbook_writer.h"

namespace sbx {

class NativeHost;
class NativeWorkbook;

class NativeWorksheet final : public Worksheet {
public:
    NativeWorksheet(NativeWorkbook& owner, size_t index);

    std::string name() const override;
    CellValue cell(int row, int column) const override;
    void forEachValue(const CellArea& area,
                      const std::function<void(int, int, const CellValue&)>& visit) const override;
    void readValues(const CellArea& area, AreaValues& into) const override;
    std::pair<int, int> lastValueCell() const override;
    bool isProtected() const override;
    bool isCellLocked(int row, int column) const override;
    std::string numberFormat(int row, int column) const override;
    std::optional<FormulaBlock> formulaBlockIn(const CellArea& area) const override;
    std::vector<FormulaWithoutResult> formulasWithoutResult(const CellArea& area) const override;
    std::vector<FormulaReading> formulasIn(const CellArea& area) const override;
    void setCell(int row, int column, const CellValue& value) override;

private:
    const xls::SheetCells& cells() const;
    const xls::SheetEdits* edits() const;
    void checkPosition(int row, int column) const;

    NativeWorkbook& owner_;
    const xls::WorkbookReader& book_;
    size_t index_;
};

class NativeWorkbook final : public Workbook {
public:
    NativeWorkbook(NativeHost& host, xls::WorkbookReader reader);

    const std::filesystem::path& path() const override { return reader_.file(); }
    int worksheetCount() const override { return static_cast<int>(sheets_.size()); }
    Worksheet& worksheet(int position) override;
    Worksheet& worksheet(std::string_view name) override;
    bool isModified() const override { return !edits_.empty(); }
    std::vector<StaleFormula> staleFormulas() const override;
    bool uses1904Dates() const override { return reader_.uses1904Dates(); }
    SheetGrid grid() const override { return kXlsGrid; }

    const xls::WorkbookReader& reader() const { return reader_; }
    const xls::WorkbookEdits& edits() const { return edits_; }
    xls::WorkbookEdits& edits() { return edits_; }
    NativeHost& host() { return host_; }
    // The cells of a worksheet, with the formulas stored without a result computed (once, for
    // the whole workbook, when the first worksheet holding one is read).
    const xls::SheetCells& sheetCells(size_t index);
    // Why a formula stored without a result could not be computed.
    std::string withoutResultReason(size_t index, uint32_t key) const;

private:
    void computeOnOpening();

    NativeHost& host_;
    xls::WorkbookReader reader_;
    xls::WorkbookEdits edits_;
    std::vector<std::unique_ptr<NativeWorksheet>> sheets_;
    bool opened_ = false;  // the formulas without a result were computed
    std::map<std::pair<size_t, uint32_t>, std::string> notComputed_;  // by worksheet and cellKey
};

class NativeHost final : public SpreadsheetHost {
public:
    // `writeSteps`: the file operations of saving; tests pass failing ones.
    explicit NativeHost(FileWriteSteps writeSteps = FileWriteSteps::system()) : writeSteps_(std::move(writeSteps)) {}

    Workbook& open(const std::filesystem::path& file) override;
    Workbook& openHandingBytes(const std::filesystem::path& file, const FileBytesSink& sink) override;
    // Takes a workbook that was read some other way (from memory, in tests and tools).
    NativeWorkbook& adopt(xls::WorkbookReader reader);
    void close(Workbook& workbook, bool save) override;
    void quit() override;
    void saveAs(Workbook& workbook, const std::filesystem::path& target) override;
    void saveAsReplacingLink(Workbook& workbook, const std::filesystem::path& target,
                             const WrittenBytesSink& written) override;

private:
    void save(Workbook& workbook, const std::filesystem::path& target, const SavePlacement& placement);

    FileWriteSteps writeSteps_;
    std::vector<std::unique_ptr<Workbook>> open_;
};

}  // namespace sbx
