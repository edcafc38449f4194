#include "consolidate/file_digest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

struct DigestContext {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx{EVP_MD_CTX_new(), EVP_MD_CTX_free};
    DigestContext() {
        if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
    }
    void add(const void* data, size_t size) { EVP_DigestUpdate(ctx.get(), data, size); }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(ctx.get(), digest, &length);
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text;
        text.reserve(length * 2);
        for (unsigned int i = 0; i < length; ++i) {
            text += kHex[digest[i] >> 4];
            text += kHex[digest[i] & 15];
        }
        return text;
    }
};

}  // namespace

std::string sha256Of(std::string_view bytes) {
    DigestContext digest;
    digest.add(bytes.data(), bytes.size());
    return digest.hex();
}

std::string sha256OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int error = errno;
        std::error_code ec;
        const bool exists = std::filesystem::exists(file, ec);
        throw WorkbookError(exists ? WorkbookErrorKind::Unreadable : WorkbookErrorKind::FileNotFound, file,
                            exists ? "the file cannot be read: " + std::string(std::strerror(error))
                                   : "the file does not exist",
                            error);
    }
    DigestContext digest;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        digest.add(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) throw WorkbookError(WorkbookErrorKind::Unreadable, file, "reading the file failed part-way");
    return digest.hex();
}

}  // namespace sbx
