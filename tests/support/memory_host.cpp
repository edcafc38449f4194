#include "tests/support/memory_host.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <stdexcept>

#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/worksheet_name.h"

namespace sbx::test {

namespace {

bool sameName(std::string_view a, std::string_view b) { return sameWorksheetName(a, b); }

class MemoryWorkbook;

class MemoryWorksheet final : public Worksheet {
public:
    MemoryWorksheet(MemoryWorkbook& book, size_t index) : book_(book), index_(index) {}

    std::string name() const override { return data().name; }
    CellValue cell(int row, int column) const override {
        check(row, column);
        return data().at(row, column);
    }
    void forEachValue(const CellArea& area,
                      const std::function<void(int, int, const CellValue&)>& visit) const override {
        for (const auto& [pos, v] : data().cells) {
            if (!v.isEmpty() && area.contains(pos.first, pos.second)) visit(pos.first, pos.second, v);
        }
    }
    std::pair<int, int> lastValueCell() const override {
        std::pair<int, int> last{0, 0};
        for (const auto& [pos, v] : data().cells) {
            if (v.isEmpty()) continue;
            last.first = std::max(last.first, pos.first);
            last.second = std::max(last.second, pos.second);
        }
        return last;
    }
    bool isProtected() const override { return data().protectedSheet; }
    bool isCellLocked(int row, int column) const override { return !data().unlockedCells.contains({row, column}); }
    void setCell(int row, int column, const CellValue& value) override;

    const MemorySheet& data() const;
    MemorySheet& data();

private:
    void check(int row, int column) const;

    MemoryWorkbook& book_;
    size_t index_;
};

class MemoryWorkbook final : public Workbook {
public:
    MemoryWorkbook(MemoryHost& host, std::filesystem::path path, MemoryBook data)
        : host_(host), path_(std::move(path)), data_(std::move(data)) {
        for (size_t i = 0; i < data_.sheets.size(); ++i) sheets_.push_back(std::make_unique<MemoryWorksheet>(*this, i));
    }

    const std::filesystem::path& path() const override { return path_; }
    int worksheetCount() const override { return static_cast<int>(sheets_.size()); }
    Worksheet& worksheet(int position) override {
        if (position < 1 || position > worksheetCount()) {
            throw WorkbookError(WorkbookErrorKind::SheetNotFound, path_, "no worksheet number " + std::to_string(position));
        }
        return *sheets_[static_cast<size_t>(position - 1)];
    }
    Worksheet& worksheet(std::string_view name) override {
        for (auto& s : sheets_) {
            if (sameName(s->name(), name)) return *s;
        }
        throw WorkbookError(WorkbookErrorKind::SheetNotFound, path_,
                            "the workbook has no worksheet named \"" + std::string(name) + "\"");
    }
    bool isModified() const override { return modified_; }

    MemoryHost& host() { return host_; }
    MemoryBook& data() { return data_; }
    void markModified() { modified_ = true; }
    bool owns(const Worksheet* sheet) const {
        return std::ranges::any_of(sheets_, [&](const auto& s) { return s.get() == sheet; });
    }

private:
    MemoryHost& host_;
    std::filesystem::path path_;
    MemoryBook data_;
    std::vector<std::unique_ptr<MemoryWorksheet>> sheets_;
    bool modified_ = false;
};

const MemorySheet& MemoryWorksheet::data() const { return book_.data().sheets[index_]; }
MemorySheet& MemoryWorksheet::data() { return book_.data().sheets[index_]; }

void MemoryWorksheet::check(int row, int column) const {
    if (row < 1 || row > 65536 || column < 1 || column > 256) {
        throw WorkbookError(WorkbookErrorKind::CellOutOfRange, book_.path(),
                            "no cell at row " + std::to_string(row) + ", column " + std::to_string(column));
    }
}

void MemoryWorksheet::setCell(int row, int column, const CellValue& value) {
    check(row, column);
    if (isProtected() && isCellLocked(row, column)) {
        throw WorkbookError(WorkbookErrorKind::CellLocked, book_.path(),
                            "worksheet \"" + name() + "\" is protected and the cell is locked");
    }
    data().set(row, column, value);
    book_.markModified();
}




}  // namespace

MemorySheet& MemorySheet::set(int row, int column, CellValue v) {
    if (v.isEmpty()) {
        cells.erase({row, column});
    } else {
        cells[{row, column}] = std::move(v);
    }
    return *this;
}

CellValue MemorySheet::at(int row, int column) const {
    const auto it = cells.find({row, column});
    return it == cells.end() ? CellValue() : it->second;
}

MemorySheet& MemoryBook::add(const std::string& name) {
    sheets.push_back(MemorySheet{name, {}, false, {}});
    return sheets.back();
}

MemorySheet* MemoryBook::find(const std::string& name) {
    for (auto& s : sheets) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

const MemorySheet& MemoryBook::sheet(const std::string& name) const {
    for (const auto& s : sheets) {
        if (s.name == name) return s;
    }
    throw std::out_of_range("no worksheet " + name);
}

std::string MemoryFiles::key(const std::filesystem::path& file) { return utf8String(file.lexically_normal()); }

MemoryBook& MemoryFiles::put(const std::filesystem::path& file, MemoryBook book) {
    return books_[key(file)] = std::move(book);
}

bool MemoryFiles::exists(const std::filesystem::path& file) const { return books_.contains(key(file)); }

const MemoryBook& MemoryFiles::book(const std::filesystem::path& file) const {
    const auto it = books_.find(key(file));
    if (it == books_.end()) throw std::out_of_range("no workbook " + key(file));
    return it->second;
}

void MemoryFiles::remove(const std::filesystem::path& file) { books_.erase(key(file)); }

std::vector<std::string> MemoryFiles::namesIn(const std::filesystem::path& folder) const {
    std::filesystem::path dir = folder.lexically_normal();
    if (!dir.has_filename()) dir = dir.parent_path();  // "pool/" names the folder "pool"
    std::vector<std::string> names;
    for (const auto& [k, book] : books_) {
        const std::filesystem::path p = utf8Path(k);
        if (p.parent_path() == dir) {
            names.push_back(utf8String(p.filename()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

int MemoryFiles::opens(const std::filesystem::path& file) const {
    const auto it = opens_.find(key(file));
    return it == opens_.end() ? 0 : it->second;
}

int MemoryFiles::saves(const std::filesystem::path& file) const {
    const auto it = saves_.find(key(file));
    return it == saves_.end() ? 0 : it->second;
}

int MemoryFiles::totalSaves() const {
    int n = 0;
    for (const auto& [k, count] : saves_) n += count;
    return n;
}

MemoryBook MemoryFiles::load(const std::filesystem::path& file) {
    const std::string k = key(file);
    if (failOpen_.contains(k)) throw WorkbookError(WorkbookErrorKind::Unreadable, file, "open refused (test)");
    const auto it = books_.find(k);
    if (it == books_.end()) throw WorkbookError(WorkbookErrorKind::FileNotFound, file, "no such file");
    ++opens_[k];
    return it->second;
}

void MemoryFiles::store(const std::filesystem::path& file, const MemoryBook& book) {
    const std::string k = key(file);
    if (failSave_.contains(k)) throw WorkbookError(WorkbookErrorKind::Unwritable, file, "save refused (test)", EACCES);
    books_[k] = book;
    ++saves_[k];
}

MemoryHost::~MemoryHost() = default;

Workbook& MemoryHost::open(const std::filesystem::path& file) {
    open_.push_back(std::make_unique<MemoryWorkbook>(*this, file, files_.load(file)));
    return *open_.back();
}

void MemoryHost::close(Workbook& workbook, bool save) {
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& b) { return b.get() == &workbook; });
    if (it == open_.end()) return;
    std::unique_ptr<Workbook> book = std::move(*it);
    open_.erase(it);
    auto& memoryBook = static_cast<MemoryWorkbook&>(*book);
    if (save && memoryBook.isModified()) files_.store(memoryBook.path(), memoryBook.data());
}

void MemoryHost::quit() { open_.clear(); }

void MemoryHost::saveAs(Workbook& workbook, const std::filesystem::path& target) {
    files_.store(target, static_cast<MemoryWorkbook&>(workbook).data());
}

}  // namespace sbx::test
