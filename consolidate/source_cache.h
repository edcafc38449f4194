#pragma once
// Source workbooks kept open between the worksheets of a run, so that a pool is parsed once
// per run instead of once per worksheet, while the files kept stay within a byte budget.
// Sources are never saved: they are closed without saving.
#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>

#include "spreadsheet/consolidate_by_position.h"

namespace sbx {

class SourceCache final : public SourceOpener {
public:
    // 48 MB of workbook files: a parsed workbook takes a few times its file's size, which
    // keeps a run well under 200 MB whatever the size of the pool.
    static constexpr uintmax_t kDefaultBudget = 48u << 20;

    explicit SourceCache(SpreadsheetHost& host, uintmax_t budgetBytes = kDefaultBudget);
    ~SourceCache() override;
    SourceCache(const SourceCache&) = delete;
    SourceCache& operator=(const SourceCache&) = delete;

    // The worksheet (letter case aside) of the workbook, opening it when it is not open.
    // Throws WorkbookError as the host does.
    OpenedSource open(const SourceArea& source) override;
    // Done with the source for this worksheet: closed unless it fits in the budget.
    void release(const SourceArea& source) override;

private:
    struct Entry {
        Workbook* book = nullptr;
        bool kept = false;
    };
    SpreadsheetHost& host_;
    uintmax_t budget_;
    uintmax_t used_ = 0;
    std::unordered_map<std::filesystem::path, Entry> open_;  // looked up for every worksheet of every source
};

}  // namespace sbx
