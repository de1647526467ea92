#include "AccessPages.h"

#include "core/DbError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace qb::access {

PageSource::PageSource(const std::string& path, int pageSize, long long pageCount, std::unique_ptr<PageCodec> codec,
                       long long tailBytes)
    : pageSize_(pageSize), pageCount_(pageCount), codec_(std::move(codec)), tailBytes_(tailBytes) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw DbError(errnum::Generic, "Could not find file '" + path + "'.");
}

PageSource::~PageSource() {
    if (fd_ >= 0) ::close(fd_);
}

bool PageSource::read(std::uint32_t n, std::vector<unsigned char>& buf) const {
    if (!exists(n)) return false;
    buf.resize(static_cast<std::size_t>(pageSize_));
    const off_t at = static_cast<off_t>(n) * pageSize_;
    std::size_t got = 0;
    while (got < buf.size()) {
        const ssize_t r = ::pread(fd_, buf.data() + got, buf.size() - got, at + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<std::size_t>(r);
    }
    if (codec_) codec_->decode(n, buf.data(), buf.size());
    return true;
}

bool PageSource::readTail(std::vector<unsigned char>& buf, std::size_t& valid) const {
    if (tailBytes_ <= 0 || tailBytes_ >= pageSize_ || pageCount_ >= 0xFFFFFFLL) return false;
    buf.assign(static_cast<std::size_t>(pageSize_), 0);
    const off_t at = static_cast<off_t>(pageCount_) * pageSize_;
    std::size_t got = 0;
    const auto want = static_cast<std::size_t>(tailBytes_);
    while (got < want) {
        const ssize_t r = ::pread(fd_, buf.data() + got, want - got, at + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<std::size_t>(r);
    }
    // Page ciphers work in streams or 16-byte blocks from the page's start:
    // the whole blocks that are there decode as they would in the page.
    valid = codec_ && !codec_->plain() ? want & ~static_cast<std::size_t>(15) : want;
    if (codec_) codec_->decode(static_cast<std::uint32_t>(pageCount_), buf.data(), buf.size());
    return true;
}

}  // namespace qb::access
