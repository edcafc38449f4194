#pragma once
// Source workbooks kept open between the worksheets of a run, so that a pool is parsed once
// per run instead of once per worksheet, while the files kept stay within a byte budget.
// Sources are never saved: they are closed without saving.
//
// Beside the workbooks the cache keeps what the check before a run read, so that nothing is
// read twice: the values of each source's areas (the run adds them up and the record lists
// them from these) and, for a run with a record, the SHA-256 of each file, worked out on
// another thread from the bytes the engine read to parse it. Every area of values the check
// reads, held or not, is also told to a listener (the record lays out its lists from them).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "consolidate/run/file_digest.h"
#include "spreadsheet/area_values.h"
#include "spreadsheet/consolidate_by_position.h"
#include "spreadsheet/path_hash.h"

namespace sbx {

// Told of every area of values the check reads, in the order it reads them, held by the cache
// or not, so that whoever needs them all reads no source again.
class AreaValuesListener {
public:
    virtual ~AreaValuesListener() = default;
    // `checkIndex`: the source's place in the check's list. `held`: the cache keeps the values;
    // otherwise the listener's share is the only one, and it should let them go soon.
    virtual void valuesRead(uint32_t checkIndex, const std::string& worksheet, std::shared_ptr<const AreaValues> values,
                            bool held) = 0;
};

class SourceCache final : public SourceOpener {
public:
    // 48 MB of parsed workbooks, judged by their files' sizes: beside the values held and the
    // record's lists, a run stays under 200 MB whatever the size of the pool.
    static constexpr uintmax_t kDefaultBudget = 48u << 20;
    // What a parsed workbook takes for each byte of its file (measured on LibreOffice's
    // reports): an .xls about three, an .xlsx package, whose XML inflates five times, about five.
    static constexpr uintmax_t kBiffWeight = 3;
    static constexpr uintmax_t kPackageWeight = 5;
    // 64 MB of held values: 16 bytes a number, so four million values (3,300 reports of
    // 1,200 values); the areas of the sources beyond are read again from their workbooks.
    static constexpr size_t kValuesBudget = 64u << 20;

    // Whether a run record follows: the digests are then worked out while the sources are read.
    enum class ForRecord { No, Yes };

    explicit SourceCache(SpreadsheetHost& host, uintmax_t budgetBytes = kDefaultBudget, ForRecord forRecord = ForRecord::No,
                         size_t valuesBudget = kValuesBudget);
    ~SourceCache() override;
    SourceCache(const SourceCache&) = delete;
    SourceCache& operator=(const SourceCache&) = delete;

    // The worksheet (letter case aside) of the workbook, opening it when it is not open.
    // Throws WorkbookError as the host does; for a cache that keeps digests, also when a
    // workbook read again (not kept open) is no longer the bytes read the first time.
    OpenedSource open(const SourceArea& source) override;
    // The size of the file: as it was read, while its workbook is open here; else as it is now
    // (0 when it cannot be looked at).
    uintmax_t fileSize(const std::filesystem::path& file);
    // Done with the source for this worksheet: closed unless it fits in the budget.
    void release(const SourceArea& source) override;

    // From here on every area of values held (or offered) is told to `listener`, which must
    // outlive the cache's use. Before the check.
    void tellValuesTo(AreaValuesListener& listener) { listener_ = &listener; }
    size_t valuesBudget() const { return valuesBudget_; }
    // Keeps the values of the source's area, when they fit in the budget, and tells the
    // listener of them in any case. `checkIndex`: the source's place in the check's list.
    // Values that do not stand where the workbook has them (a source aligned by its labels)
    // are kept whatever the budget: the run could not read them again from the workbook.
    enum class Keep { WithinBudget, Always };
    void hold(const SourceArea& source, AreaValues values, uint32_t checkIndex, Keep keep = Keep::WithinBudget);
    // Closes the workbook of `file` when the values of `areas` areas of it are held: the run
    // adds up those, so a parsed workbook (several times its file's size, for an .xlsx
    // twenty times) would only take memory the next sources' values could use.
    void closeIfHeld(const std::filesystem::path& file, size_t areas);
    // The values held for exactly this source, worksheet (as spelled) and area, or null.
    const AreaValues* held(const SourceArea& source) override;

    // The SHA-256 of the file as it was read when opened, waiting for it; empty when the
    // cache does not keep digests or never read the file.
    std::string digest(const std::filesystem::path& file);
private:
    // The digest of the first bytes read of `file`, or, read again, the check that they are the same.
    void digestOrCompare(const std::filesystem::path& file, const FileBytes& bytes);

    struct Entry {
        Workbook* book = nullptr;
        bool kept = false;
        uintmax_t size = 0;  // of the file, when opened
        uintmax_t cost = 0;  // what it counts against the budget
    };
    struct HeldArea {
        std::string worksheet;
        std::shared_ptr<const AreaValues> values;  // shared with the cells' lists while they are laid out
    };
    SpreadsheetHost& host_;
    uintmax_t budget_;
    uintmax_t used_ = 0;
    std::unordered_map<std::filesystem::path, Entry, PathHash> open_;  // looked up for every worksheet of every source
    size_t valuesBudget_;
    size_t valuesUsed_ = 0;
    bool valuesSpent_ = false;  // some values did not fit
    std::unordered_map<std::filesystem::path, std::vector<HeldArea>, PathHash> held_;
    std::unique_ptr<BackgroundDigests> digests_;
    AreaValuesListener* listener_ = nullptr;
};

}  // namespace sbx
