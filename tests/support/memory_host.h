#pragma once
// An in-memory SpreadsheetHost for tests: workbooks of named worksheets kept by path in a
// MemoryFiles "disk", with worksheet protection, open and save counts, and failures on
// demand (opening or saving a named file). Opening copies the stored workbook; closing with
// save stores the copy back, as the spreadsheet application does with files.
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"

namespace sbx::test {

struct MemorySheet {
    std::string name;
    std::map<std::pair<int, int>, CellValue> cells;  // by (row, column)
    bool protectedSheet = false;
    std::set<std::pair<int, int>> unlockedCells;     // on a protected sheet every other cell is locked

    MemorySheet& set(int row, int column, CellValue v);
    CellValue at(int row, int column) const;
};

struct MemoryBook {
    std::vector<MemorySheet> sheets;

    MemorySheet& add(const std::string& name);
    MemorySheet* find(const std::string& name);  // exact name
    const MemorySheet& sheet(const std::string& name) const;  // exact name; throws when missing
};

class MemoryFiles {
public:
    MemoryBook& put(const std::filesystem::path& file, MemoryBook book = {});
    bool exists(const std::filesystem::path& file) const;
    const MemoryBook& book(const std::filesystem::path& file) const;  // throws when missing
    void remove(const std::filesystem::path& file);
    // Bare names of the books directly in `folder`, sorted.
    std::vector<std::string> namesIn(const std::filesystem::path& folder) const;

    void failOpen(const std::filesystem::path& file) { failOpen_.insert(key(file)); }
    void failSave(const std::filesystem::path& file) { failSave_.insert(key(file)); }

    int opens(const std::filesystem::path& file) const;
    int saves(const std::filesystem::path& file) const;
    int totalSaves() const;

    // Used by the host.
    MemoryBook load(const std::filesystem::path& file);
    void store(const std::filesystem::path& file, const MemoryBook& book);

private:
    static std::string key(const std::filesystem::path& file);

    std::map<std::string, MemoryBook> books_;
    std::set<std::string> failOpen_;
    std::set<std::string> failSave_;
    std::map<std::string, int> opens_;
    std::map<std::string, int> saves_;
};

class MemoryHost final : public SpreadsheetHost {
public:
    explicit MemoryHost(MemoryFiles& files) : files_(files) {}
    ~MemoryHost() override;

    Workbook& open(const std::filesystem::path& file) override;
    void close(Workbook& workbook, bool save) override;
    void quit() override;
    void saveAs(Workbook& workbook, const std::filesystem::path& target) override;
    int openWorkbooks() const { return static_cast<int>(open_.size()); }

private:
    MemoryFiles& files_;
    std::vector<std::unique_ptr<Workbook>> open_;
};

}  // namespace sbx::test
