#include "AccessPageCodec.h"

#include "AccessFile.h"
#include "DbError.h"

namespace qb::access {

namespace {

class PlainCodec : public PageCodec {
public:
    void decode(std::uint32_t, unsigned char*, std::size_t) const override {}
};

// Jet "encoded" files: every page after 0 is RC4 under the header's key
// XOR the page number; no password is involved.
class JetRc4Codec : public PageCodec {
public:
    explicit JetRc4Codec(std::uint32_t key) : key_(key) {}
    void decode(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const override {
        const std::uint32_t k = key_ ^ pageNumber;
        const unsigned char key[4] = {static_cast<unsigned char>(k), static_cast<unsigned char>(k >> 8),
                                      static_cast<unsigned char>(k >> 16), static_cast<unsigned char>(k >> 24)};
        rc4(key, sizeof key, page, size);
    }

private:
    std::uint32_t key_;
};

}  // namespace

std::unique_ptr<PageCodec> makePageCodec(const std::vector<unsigned char>& page0, long long fileSize,
                                         const std::string&) {
    const auto h = parseAccessHeader(page0, fileSize);
    if (!h) throw DbError(errnum::Generic, "Unrecognized database format.");
    if (h->officeEncrypted)
        throw DbError(errnum::Generic, "The file is encrypted with a database password and cannot be read.");
    if (h->encodingKey == 0) return std::make_unique<PlainCodec>();
    return std::make_unique<JetRc4Codec>(h->encodingKey);
}

}  // namespace qb::access
