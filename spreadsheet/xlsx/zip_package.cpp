#include "spreadsheet/xlsx/zip_package.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "spreadsheet/xls/format_error.h"

namespace sbx::xlsx {

using xls::FormatError;

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

std::string_view withoutLeadingSlash(std::string_view name) {
    while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
    return name;
}

std::string zipErrorText(zip_error_t* error) {
    const char* text = zip_error_strerror(error);
    return text ? text : "unknown zip error";
}

[[noreturn]] void throwNotZip(int code, const std::string& detail) {
    if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS || code == ZIP_ER_EOF || code == ZIP_ER_READ) {
        throw FormatError(WorkbookErrorKind::Corrupt,
                          "the zip container of the .xlsx file is damaged (" + detail + ")");
    }
    throw FormatError(WorkbookErrorKind::Corrupt, "the .xlsx package cannot be opened: " + detail);
}

std::string sizeText(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

ZipPackage::ZipPackage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
    if (!source) {
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        throw FormatError(WorkbookErrorKind::Corrupt, "cannot read the .xlsx package: " + text);
    }
    archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive_) {
        zip_source_free(source);
        const int code = zip_error_code_zip(&error);
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        throwNotZip(code, text);
    }
    zip_error_fini(&error);
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!name) continue;
        // The first entry of a name wins, as in the applications that read packages.
        byLowerName_.emplace(lowerAscii(withoutLeadingSlash(name)), i);
    }
}

ZipPackage::~ZipPackage() {
    if (archive_) zip_discard(archive_);
}

ZipPackage::ZipPackage(ZipPackage&& other) noexcept
    : bytes_(std::move(other.bytes_)),
      archive_(std::exchange(other.archive_, nullptr)),
      byLowerName_(std::move(other.byLowerName_)) {}

ZipPackage& ZipPackage::operator=(ZipPackage&& other) noexcept {
    if (this != &other) {
        if (archive_) zip_discard(archive_);
        bytes_ = std::move(other.bytes_);
        archive_ = std::exchange(other.archive_, nullptr);
        byLowerName_ = std::move(other.byLowerName_);
    }
    return *this;
}

int64_t ZipPackage::indexOf(std::string_view partName) const {
    const auto it = byLowerName_.find(lowerAscii(withoutLeadingSlash(partName)));
    return it == byLowerName_.end() ? -1 : it->second;
}

std::optional<std::string> ZipPackage::find(std::string_view partName) const {
    const int64_t index = indexOf(partName);
    if (index < 0) return std::nullopt;
    return std::string(zip_get_name(archive_, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW));
}

std::vector<std::string> ZipPackage::names() const {
    std::vector<std::string> out;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW)) {
            out.emplace_back(name);
        }
    }
    return out;
}

void ZipPackage::stream(std::string_view partName, const std::function<void(std::string_view)>& sink,
                        const InflateLimits& limits) const {
    const std::string part(withoutLeadingSlash(partName));
    const int64_t index = indexOf(part);
    if (index < 0) throw FormatError(WorkbookErrorKind::Corrupt, "the .xlsx package lacks its part " + part);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
        throw FormatError(WorkbookErrorKind::Corrupt, "the zip entry of " + part + " is damaged");
    }
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > limits.maxBytes) {
        throw FormatError(WorkbookErrorKind::Corrupt,
                          "the part " + part + " declares " + sizeText(stat.size) +
                              " of content, far beyond any real workbook (a zip bomb?)");
    }
    const uint64_t stored = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        zip_error_t* error = zip_get_error(archive_);
        const int code = zip_error_code_zip(error);
        const std::string text = zipErrorText(error);
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP) {
            throw FormatError(WorkbookErrorKind::Encrypted, "the part " + part + " is encrypted with a password");
        }
        throw FormatError(WorkbookErrorKind::Corrupt, "the part " + part + " cannot be read: " + text);
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> guard(file, zip_fclose);
    std::vector<char> buffer(64 * 1024);
    uint64_t total = 0;
    while (true) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0) {
            const std::string text = zipErrorText(zip_file_get_error(file));
            throw FormatError(WorkbookErrorKind::Corrupt, "the part " + part + " is damaged: " + text);
        }
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (total > limits.maxBytes ||
            (total > limits.ratioFloor && stored > 0 && total / stored > limits.maxRatio)) {
            throw FormatError(WorkbookErrorKind::Corrupt,
                              "the part " + part + " inflates to more than " + sizeText(total) + " from " +
                                  std::to_string(stored) + " stored bytes, far beyond any real workbook (a zip bomb?)");
        }
        sink(std::string_view(buffer.data(), static_cast<size_t>(n)));
    }
}

std::string ZipPackage::read(std::string_view partName, const InflateLimits& limits) const {
    std::string out;
    stream(partName, [&](std::string_view piece) { out.append(piece); }, limits);
    return out;
}

std::vector<uint8_t> ZipPackage::rebuilt(const std::map<std::string, std::string>& replaced,
                                         const std::vector<std::string>& removed) const {
    zip_error_t error;
    zip_error_init(&error);
    // The writable source gets a copy of its own (malloc'd, freed by libzip): when saving, a
    // buffer source may hand pieces of its memory on to the new archive and free them there.
    void* copy = std::malloc(bytes_.empty() ? 1 : bytes_.size());
    if (!copy) throw std::bad_alloc();
    if (!bytes_.empty()) std::memcpy(copy, bytes_.data(), bytes_.size());
    zip_source_t* source = zip_source_buffer_create(copy, bytes_.size(), 1, &error);
    if (!source) {
        std::free(copy);
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        throw FormatError(WorkbookErrorKind::Corrupt, "cannot copy the .xlsx package: " + text);
    }
    zip_source_keep(source);
    std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> sourceGuard(source, zip_source_free);
    zip_t* archive = zip_open_from_source(source, 0, &error);
    if (!archive) {
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        throw FormatError(WorkbookErrorKind::Corrupt, "cannot copy the .xlsx package: " + text);
    }
    zip_error_fini(&error);
    auto fail = [&](const std::string& what) {
        const std::string text = zipErrorText(zip_get_error(archive));
        zip_discard(archive);
        throw FormatError(WorkbookErrorKind::Corrupt, what + ": " + text);
    };
    for (const auto& [name, content] : replaced) {
        zip_source_t* data = zip_source_buffer(archive, content.data(), content.size(), 0);
        if (!data) fail("cannot store the new " + name);
        const zip_int64_t index = zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW);
        const bool ok = index >= 0 ? zip_file_replace(archive, static_cast<zip_uint64_t>(index), data, 0) == 0
                                   : zip_file_add(archive, name.c_str(), data, ZIP_FL_ENC_UTF_8) >= 0;
        if (!ok) {
            zip_source_free(data);
            fail("cannot store the new " + name);
        }
        const zip_int64_t stored = index >= 0 ? index : zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW);
        if (stored >= 0) zip_set_file_compression(archive, static_cast<zip_uint64_t>(stored), ZIP_CM_DEFLATE, 0);
    }
    for (const auto& name : removed) {
        const zip_int64_t index = zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW);
        if (index >= 0 && zip_delete(archive, static_cast<zip_uint64_t>(index)) != 0) fail("cannot drop " + name);
    }
    if (zip_close(archive) != 0) fail("cannot write the new .xlsx package");

    std::vector<uint8_t> out;
    if (zip_source_open(source) != 0) {
        throw FormatError(WorkbookErrorKind::Corrupt, "cannot read back the new .xlsx package");
    }
    std::vector<uint8_t> buffer(256 * 1024);
    while (true) {
        const zip_int64_t n = zip_source_read(source, buffer.data(), buffer.size());
        if (n < 0) {
            zip_source_close(source);
            throw FormatError(WorkbookErrorKind::Corrupt, "cannot read back the new .xlsx package");
        }
        if (n == 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    zip_source_close(source);
    return out;
}

std::string resolvePartName(std::string_view sourcePart, std::string_view target) {
    std::string path;
    if (!target.empty() && target.front() == '/') {
        path = std::string(target);
    } else {
        const size_t slash = sourcePart.rfind('/');
        path = (slash == std::string_view::npos ? std::string() : std::string(sourcePart.substr(0, slash + 1))) +
               std::string(target);
    }
    std::vector<std::string> steps;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find_first_of("/\\", begin);
        if (end == std::string::npos) end = path.size();
        const std::string step = path.substr(begin, end - begin);
        if (step == "..") {
            if (!steps.empty()) steps.pop_back();
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        begin = end + 1;
    }
    std::string out;
    for (const auto& step : steps) out += (out.empty() ? "" : "/") + step;
    return out;
}

}  // namespace sbx::xlsx
