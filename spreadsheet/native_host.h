#pragma once
// The native engine's side of SpreadsheetHost: workbooks read by WorkbookReader.
#include <memory>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xls/workbook_reader.h"

namespace sbx {

class NativeWorksheet final : public Worksheet {
public:
    NativeWorksheet(const xls::WorkbookReader& book, size_t index) : book_(book), index_(index) {}

    std::string name() const override;
    CellValue cell(int row, int column) const override;
    void forEachValue(const CellArea& area,
                      const std::function<void(int, int, const CellValue&)>& visit) const override;
    std::pair<int, int> lastValueCell() const override;
    bool isProtected() const override;
    bool isCellLocked(int row, int column) const override;

private:
    const xls::SheetCells& cells() const { return book_.cells(index_); }
    void checkPosition(int row, int column) const;

    const xls::WorkbookReader& book_;
    size_t index_;
};

class NativeWorkbook final : public Workbook {
public:
    explicit NativeWorkbook(xls::WorkbookReader reader);

    const std::filesystem::path& path() const override { return reader_.file(); }
    int worksheetCount() const override { return static_cast<int>(sheets_.size()); }
    Worksheet& worksheet(int position) override;
    Worksheet& worksheet(std::string_view name) override;

    const xls::WorkbookReader& reader() const { return reader_; }

private:
    xls::WorkbookReader reader_;
    std::vector<std::unique_ptr<NativeWorksheet>> sheets_;
};

class NativeHost final : public SpreadsheetHost {
public:
    Workbook& open(const std::filesystem::path& file) override;
    void close(Workbook& workbook) override;
    void quit() override { open_.clear(); }

private:
    std::vector<std::unique_ptr<NativeWorkbook>> open_;
};

}  // namespace sbx
