#pragma once
// What callers of the engine catch: which file failed, what kind of fault, and why in plain words.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace sbx {

enum class WorkbookErrorKind {
    FileNotFound,        // the path names no file
    Unreadable,          // the operating system refused to read it
    NotAFile,            // a folder, a named pipe, a device: nothing a workbook can be read from
    TooLarge,            // far larger than any workbook, refused before it is read
    Unwritable,          // saving failed: the folder or disk refused the new file
    NotCompoundFile,     // not an Excel 97-2003 container at all (and no known other format)
    WrongFormat,         // a known other format: .xlsx, HTML, XML spreadsheet, text
    UnsupportedVersion,  // a workbook version the engine does not know (a bare BIFF5/8 stream)
    Truncated,           // the file ends before the data it declares
    Corrupt,             // broken structure: chains, records, sizes
    Encrypted,           // encrypted with a password of its own, or an unknown encryption
    SheetNotFound,       // a worksheet name or position that the workbook lacks
    CellOutOfRange,      // a row or column outside the sheet
    CellLocked,          // a write to a locked cell of a protected worksheet
    CellInArray,         // a write to part of a multi-cell array formula or of a data table
    WriteUnsupported,    // a workbook format that is read but not written (Excel 2.1-4.0, 95)
};

class WorkbookError : public std::runtime_error {
public:
    // `systemError`: the errno value behind it, when the operating system refused something.
    WorkbookError(WorkbookErrorKind kind, std::filesystem::path file, std::string reason, int systemError = 0);

    WorkbookErrorKind kind() const noexcept { return kind_; }
    const std::filesystem::path& file() const noexcept { return file_; }
    const std::string& reason() const noexcept { return reason_; }
    int systemError() const noexcept { return systemError_; }

private:
    WorkbookErrorKind kind_;
    std::filesystem::path file_;
    std::string reason_;
    int systemError_ = 0;
};

}  // namespace sbx
