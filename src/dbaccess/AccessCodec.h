#pragma once
// How the pages of an Access file are stored: plainly, RC4-"encoded" by Jet
// (no password), or encrypted with an Office database password (.accdb).
// Page 0 is always plain; every later page is decoded on its own, so a
// reader can fetch pages in any order.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qb::access {

class PageCodec {
public:
    virtual ~PageCodec() = default;
    // Decodes page `pageNumber` in place; page 0, always stored plainly, is
    // left as it is. `size` is the file's page size. Never reads or writes
    // outside [page, page + size). Keys are derived when the codec is made; a
    // call costs a hash and the cipher, no allocation, and is safe to make
    // from several threads at once.
    void decode(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const {
        if (pageNumber != 0) decodePage(pageNumber, page, size);
    }
    // True when decode() leaves every page as it is.
    virtual bool plain() const { return false; }

protected:
    virtual void decodePage(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const = 0;
};

// Chooses the codec from the raw bytes of page 0 as stored in the file (at
// least the first 0x400 bytes; a whole page for Office encryption, whose
// header lies behind 0x299) of a file of `fileSize` bytes: none, Jet RC4
// encoding, or Office page encryption (agile, RC4 CryptoAPI, standard AES,
// Office binary RC4). `password` is the user's password as UTF-8; files
// without Office encryption ignore it.
//
// Throws qb::DbError: "Not a valid password." for a wrong or missing
// password; a message naming the scheme for extensible, external or otherwise
// unsupported encryption, and for a damaged encryption header; "Unrecognized
// database format." when page 0 is not an Access header at all.
std::unique_ptr<PageCodec> makePageCodec(const std::vector<unsigned char>& page0, long long fileSize,
                                         const std::string& password);

}  // namespace qb::access
