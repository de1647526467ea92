#include "AccessFile.h"

#include "AccessCodec.h"
#include "AccessText.h"
#include "core/DbError.h"

#include <nettle/arcfour.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace qb::access {

namespace {

// Jet masks the start of its header with RC4 under this fixed key.
constexpr unsigned char kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::size_t kMaskStart = 0x18;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kKeyOffset = 0x3E;
constexpr std::size_t kCodePageOffset = 0x3C;
constexpr std::size_t kDateOffset = 0x72;
constexpr std::size_t kHeaderBytes = 0x400;
constexpr off_t kMaxPageSize = 4096;

[[noreturn]] void unrecognized(const std::string& path) {
    throw DbError(errnum::Generic, "Unrecognized database format '" + path + "'.");
}

}  // namespace

std::optional<AccessHeader> parseAccessHeader(const std::vector<unsigned char>& raw, long long fileSize,
                                              bool cutPages) {
    if (raw.size() < kHeaderBytes) return std::nullopt;
    static const unsigned char magic[4] = {0x00, 0x01, 0x00, 0x00};
    if (std::memcmp(raw.data(), magic, 4) != 0) return std::nullopt;
    if (std::memcmp(raw.data() + 4, "Standard Jet DB", 15) != 0 &&
        std::memcmp(raw.data() + 4, "Standard ACE DB", 15) != 0)
        return std::nullopt;
    AccessHeader h;
    h.version = raw[0x14];
    if (h.version > 6) return std::nullopt;
    h.pageSize = h.version == 0 ? 2048 : 4096;
    if (fileSize < 3LL * h.pageSize || (fileSize % h.pageSize != 0 && !cutPages)) return std::nullopt;
    h.pageCount = fileSize / h.pageSize;
    h.tailBytes = fileSize % h.pageSize;

    std::vector<unsigned char> page(raw.begin(), raw.end());
    const std::size_t masked = h.version == 0 ? 126 : 128;
    arcfour_ctx mask;
    arcfour_set_key(&mask, sizeof kHeaderKey, kHeaderKey);
    arcfour_crypt(&mask, masked, page.data() + kMaskStart, page.data() + kMaskStart);
    h.encodingKey = u32(page.data() + kKeyOffset);
    h.codePage = u16(page.data() + kCodePageOffset);

    // From ACE on, a page key means Office encryption, whose header (behind
    // 0x299) replaces the masked password.
    h.officeEncrypted = h.version >= 2 && h.encodingKey != 0;
    if (h.officeEncrypted) return h;

    if (h.version == 0) {
        const unsigned char* p = page.data() + kPasswordOffset;
        std::size_t n = 0;
        while (n < 20 && p[n] != 0) ++n;
        if (n > 0) {
            std::string pw;
            CodePage(h.codePage).append(pw, p, n);
            h.password = pw;
        }
    } else {
        unsigned char pw[40];
        std::memcpy(pw, page.data() + kPasswordOffset, sizeof pw);
        double created = 0;
        std::memcpy(&created, page.data() + kDateOffset, sizeof created);
        // The creation date's integer part masks the password bytes.
        std::int32_t dateKey = 0;
        if (std::isfinite(created) && created > -2147483648.0 && created < 2147483648.0)
            dateKey = static_cast<std::int32_t>(created);
        unsigned char mask[4];
        const auto k = static_cast<std::uint32_t>(dateKey);
        for (int i = 0; i < 4; ++i) mask[i] = static_cast<unsigned char>(k >> (8 * i));
        for (std::size_t i = 0; i < sizeof pw; ++i) pw[i] ^= mask[i % 4];
        std::size_t n = 0;
        while (n + 1 < sizeof pw && (pw[n] != 0 || pw[n + 1] != 0)) n += 2;
        if (n > 0) {
            std::string s;
            appendUtf16le(s, pw, n);
            h.password = s;
        }
    }
    return h;
}

AccessHeader inspectAccessFile(const std::string& path, bool cutPages) {
    // Opening a FIFO (or a device) can block for ever, so anything that is
    // not a regular file is refused before it is opened; O_NONBLOCK covers
    // one swapped in between.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw DbError(errnum::Generic, "Could not find file '" + path + "'.");
    } else if (!S_ISREG(before.st_mode)) {
        unrecognized(path);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw DbError(errnum::Generic, "Could not find file '" + path + "'.");
        throw DbError(errnum::Generic, "The database engine cannot open the file '" + path +
                                           "'. It is already opened exclusively by another user, "
                                           "or you need permission to view its data.");
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        unrecognized(path);
    }
    // Page 0 whole (a Jet 3 file reads a little of page 1 too): the Office
    // encryption header lies beyond the first 0x400 bytes.
    std::vector<unsigned char> header(static_cast<std::size_t>(std::min<off_t>(st.st_size, kMaxPageSize)));
    std::size_t got = 0;
    while (got < header.size()) {
        const ssize_t n = ::pread(fd, header.data() + got, header.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got < header.size() || got < kHeaderBytes) unrecognized(path);
    auto h = parseAccessHeader(header, static_cast<long long>(st.st_size), cutPages);
    if (!h) unrecognized(path);
    header.resize(static_cast<std::size_t>(h->pageSize));
    h->page0 = std::move(header);
    return *h;
}

std::unique_ptr<PageCodec> checkAccessPassword(const AccessHeader& header, const std::string& given) {
    if (header.password && *header.password != given) throw DbError(errnum::Generic, "Not a valid password.");
    return makePageCodec(header.page0, header.pageCount * header.pageSize, given);
}

}  // namespace qb::access
