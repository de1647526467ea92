#pragma once
// Turns the stored bytes of a page (after page 0) into its plain bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qb::access {

class PageCodec {
public:
    virtual ~PageCodec() = default;
    // Decodes page `pageNumber` (> 0) of `size` bytes in place.
    virtual void decode(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const = 0;
};

// The codec a file's page 0 asks for: none, or Jet's RC4 page encoding.
// Throws DbError for files whose pages need a password-derived key.
std::unique_ptr<PageCodec> makePageCodec(const std::vector<unsigned char>& page0, long long fileSize,
                                         const std::string& password);

}  // namespace qb::access
