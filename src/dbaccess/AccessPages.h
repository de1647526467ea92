#pragma once
// Page N of an Access file, checked to exist and passed through the file's
// page codec: the only way the reader gets at the file's bytes.

#include "AccessFormat.h"
#include "AccessCodec.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qb::access {

class PageSource {
public:
    // Opens `path` read-only; throws DbError when it cannot be opened.
    // `tailBytes`: the bytes of a page cut short after the last whole one.
    PageSource(const std::string& path, int pageSize, long long pageCount, std::unique_ptr<PageCodec> codec,
               long long tailBytes = 0);
    ~PageSource();
    PageSource(const PageSource&) = delete;
    PageSource& operator=(const PageSource&) = delete;

    int pageSize() const { return pageSize_; }
    long long pageCount() const { return pageCount_; }
    long long tailBytes() const { return tailBytes_; }
    bool exists(std::uint32_t n) const { return n > 0 && static_cast<long long>(n) < pageCount_; }

    // Fills `buf` with page `n` (> 0); false when the page lies outside the
    // file or cannot be read whole. Safe to call from several threads.
    bool read(std::uint32_t n, std::vector<unsigned char>& buf) const;

    // Fills `buf` with the page cut short at the end of the file (number
    // pageCount()), zeros where the file ends; `valid` tells how many of
    // its first bytes are the file's. False when there is no such page.
    bool readTail(std::vector<unsigned char>& buf, std::size_t& valid) const;

private:
    int fd_ = -1;
    int pageSize_;
    long long pageCount_;
    std::unique_ptr<PageCodec> codec_;
    long long tailBytes_ = 0;
};

}  // namespace qb::access
