#include "AccessCodec.h"

#include "AccessFile.h"
#include "core/DbError.h"

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <nettle/nettle-meta.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>

namespace qb::access {

namespace {

using Bytes = std::vector<unsigned char>;
using View = std::span<const unsigned char>;

constexpr std::size_t kCryptInfoOffset = 0x299;
// Office documents the spin count as at most ten million; a header asking for
// more is damaged, and honouring it would only stall the open.
constexpr std::uint32_t kMaxSpinCount = 10'000'000;
// Office never uses more of a password than this many UTF-16 units.
constexpr qsizetype kMaxPasswordUnits = 255;
constexpr std::size_t kAesBlock = 16;

const std::string kAgile = "agile encryption";
const std::string kCryptoApi = "RC4 CryptoAPI encryption";
const std::string kStandard = "standard AES encryption";
const std::string kOfficeRc4 = "Office RC4 encryption";

[[noreturn]] void wrongPassword() { throw DbError(errnum::Generic, "Not a valid password."); }

[[noreturn]] void unsupported(const std::string& scheme) {
    throw DbError(errnum::Generic, "The database is encrypted with " + scheme +
                                       ", which cannot be read. Remove the password in Microsoft Access and try again.");
}

[[noreturn]] void damaged(const std::string& scheme) {
    throw DbError(errnum::Generic, "The encryption header of the database (" + scheme +
                                       ") is damaged; the database cannot be read.");
}

void putLe32(unsigned char* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Bounds-checked reading of an encryption header: anything out of range
// means the header is damaged.
class Reader {
public:
    Reader(View bytes, const std::string& scheme) : v_(bytes), scheme_(&scheme) {}
    std::uint16_t u16(std::size_t at) const { return access::u16(bytes(at, 2).data()); }
    std::uint32_t u32(std::size_t at) const { return access::u32(bytes(at, 4).data()); }
    View bytes(std::size_t at, std::size_t n) const {
        if (at > v_.size() || n > v_.size() - at) damaged(*scheme_);
        return v_.subspan(at, n);
    }
    Reader sub(std::size_t at, std::size_t n, const std::string& scheme) const { return Reader(bytes(at, n), scheme); }
    std::size_t size() const { return v_.size(); }

private:
    View v_;
    const std::string* scheme_;
};

// ---- hashes -------------------------------------------------------------

struct Digest {
    std::array<unsigned char, SHA512_DIGEST_SIZE> bytes{};
    std::size_t size = 0;
    View view() const { return {bytes.data(), size}; }
};

union HashContext {
    md5_ctx md5;
    sha1_ctx sha1;
    sha256_ctx sha256;
    sha512_ctx sha512;  // SHA-384 too
};

Digest hash(const nettle_hash& alg, std::initializer_list<View> parts) {
    HashContext ctx;
    alg.init(&ctx);
    for (View p : parts) alg.update(&ctx, p.size(), p.data());
    Digest d;
    d.size = alg.digest_size;
    alg.digest(&ctx, d.size, d.bytes.data());
    return d;
}

// H0 = H(salt ‖ password), then Hi = H(LE32(i) ‖ Hi-1), `count` times.
Digest spin(const nettle_hash& alg, View salt, View password, std::uint32_t count) {
    Digest h = hash(alg, {salt, password});
    unsigned char i4[4];
    for (std::uint32_t i = 0; i < count; ++i) {
        putLe32(i4, i);
        h = hash(alg, {View(i4), h.view()});
    }
    return h;
}

// Office fits hashes to key and block sizes by cutting them or padding with 0x36.
Bytes fitted(View v, std::size_t n) {
    Bytes out(n, 0x36);
    std::memcpy(out.data(), v.data(), std::min(n, v.size()));
    return out;
}

// ---- ciphers ------------------------------------------------------------

void rc4(View key, unsigned char* data, std::size_t n) {
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, key.size(), key.data());
    arcfour_crypt(&ctx, n, data, data);
}

const nettle_cipher* aesForKeyBytes(std::size_t n) {
    switch (n) {
    case 16: return &nettle_aes128;
    case 24: return &nettle_aes192;
    case 32: return &nettle_aes256;
    default: return nullptr;
    }
}

// AES decryption under one key (16, 24 or 32 bytes, checked by the caller).
// Only whole blocks are touched; pages are always whole blocks.
class AesDecryptor {
public:
    explicit AesDecryptor(View key) : alg_(aesForKeyBytes(key.size())) { alg_->set_decrypt_key(&ctx_, key.data()); }
    void ecb(unsigned char* data, std::size_t n) const { alg_->decrypt(&ctx_, n - n % kAesBlock, data, data); }
    void cbc(View iv, unsigned char* data, std::size_t n) const {
        unsigned char chain[kAesBlock];
        std::memcpy(chain, iv.data(), kAesBlock);
        cbc_decrypt(&ctx_, alg_->decrypt, kAesBlock, chain, n - n % kAesBlock, data, data);
    }

private:
    const nettle_cipher* alg_;
    union {
        aes128_ctx a128;
        aes192_ctx a192;
        aes256_ctx a256;
    } ctx_;
};

Bytes utf16le(const std::string& utf8) {
    const QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).left(kMaxPasswordUnits);
    Bytes out;
    out.reserve(static_cast<std::size_t>(s.size()) * 2);
    for (const QChar c : s) {
        out.push_back(static_cast<unsigned char>(c.unicode() & 0xFF));
        out.push_back(static_cast<unsigned char>(c.unicode() >> 8));
    }
    return out;
}

// ---- codecs -------------------------------------------------------------

class PlainCodec final : public PageCodec {
public:
    void decodePage(std::uint32_t, unsigned char*, std::size_t) const override {}
    bool plain() const override { return true; }
};

// Every scheme keys a page with the file's key XOR the page number.
class KeyedCodec : public PageCodec {
protected:
    explicit KeyedCodec(std::uint32_t fileKey) : fileKey_(fileKey) {}
    void pageKey(std::uint32_t pageNumber, unsigned char out[4]) const { putLe32(out, fileKey_ ^ pageNumber); }

private:
    std::uint32_t fileKey_;
};

class JetRc4Codec final : public KeyedCodec {
public:
    explicit JetRc4Codec(std::uint32_t fileKey) : KeyedCodec(fileKey) {}
    void decodePage(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const override {
        unsigned char key[4];
        pageKey(pageNumber, key);
        rc4(View(key), page, size);
    }
};

// RC4 CryptoAPI: key = SHA-1(base ‖ block) cut to the key size; 40-bit keys
// are padded with zeros to 128 bits.
class CryptoApiRc4Codec final : public KeyedCodec {
public:
    CryptoApiRc4Codec(std::uint32_t fileKey, const Digest& base, std::size_t keyBytes)
        : KeyedCodec(fileKey), base_(base), keyBytes_(keyBytes) {}
    // Fills `key` (16 bytes at least) and returns its length.
    std::size_t keyFor(const unsigned char block[4], unsigned char* key) const {
        const Digest h = hash(nettle_sha1, {base_.view(), View(block, 4)});
        std::memset(key, 0, 16);
        std::memcpy(key, h.bytes.data(), keyBytes_);
        return keyBytes_ == 5 ? 16 : keyBytes_;
    }
    void decodePage(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const override {
        unsigned char block[4], key[SHA1_DIGEST_SIZE];
        pageKey(pageNumber, block);
        rc4(View(key, keyFor(block, key)), page, size);
    }

private:
    Digest base_;
    std::size_t keyBytes_;
};

// Office binary RC4: key = MD5(5-byte base ‖ block), all 128 bits.
class OfficeRc4Codec final : public KeyedCodec {
public:
    OfficeRc4Codec(std::uint32_t fileKey, View base5) : KeyedCodec(fileKey) { std::memcpy(base_, base5.data(), 5); }
    Digest keyFor(const unsigned char block[4]) const { return hash(nettle_md5, {View(base_), View(block, 4)}); }
    void decodePage(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const override {
        unsigned char block[4];
        pageKey(pageNumber, block);
        rc4(keyFor(block).view(), page, size);
    }

private:
    unsigned char base_[5];
};

// Standard AES: the 50,000-round hash is made once; per page only
// H(Hn ‖ block) and the two pad hashes remain.
class StandardAesCodec final : public KeyedCodec {
public:
    StandardAesCodec(std::uint32_t fileKey, const Digest& spun, std::size_t keyBytes)
        : KeyedCodec(fileKey), spun_(spun), keyBytes_(keyBytes) {}
    std::array<unsigned char, 2 * SHA1_DIGEST_SIZE> keyFor(const unsigned char block[4]) const {
        const Digest final = hash(nettle_sha1, {spun_.view(), View(block, 4)});
        std::array<unsigned char, 2 * SHA1_DIGEST_SIZE> out{};
        unsigned char pad[64];
        for (int half = 0; half < 2; ++half) {
            std::memset(pad, half == 0 ? 0x36 : 0x5C, sizeof pad);
            for (std::size_t i = 0; i < final.size; ++i) pad[i] ^= final.bytes[i];
            const Digest x = hash(nettle_sha1, {View(pad)});
            std::memcpy(out.data() + half * SHA1_DIGEST_SIZE, x.bytes.data(), SHA1_DIGEST_SIZE);
        }
        return out;
    }
    AesDecryptor decryptorFor(const unsigned char block[4]) const {
        const auto key = keyFor(block);
        return AesDecryptor(View(key.data(), keyBytes_));
    }
    void decodePage(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const override {
        unsigned char block[4];
        pageKey(pageNumber, block);
        decryptorFor(block).ecb(page, size);
    }

private:
    Digest spun_;
    std::size_t keyBytes_;
};

class AgileCodec final : public KeyedCodec {
public:
    AgileCodec(std::uint32_t fileKey, const nettle_hash& alg, Bytes salt, View dataKey)
        : KeyedCodec(fileKey), alg_(alg), salt_(std::move(salt)), aes_(dataKey) {}
    void decodePage(std::uint32_t pageNumber, unsigned char* page, std::size_t size) const override {
        unsigned char block[4];
        pageKey(pageNumber, block);
        // Every supported hash is at least one AES block long, so the IV is
        // the hash cut to the block.
        const Digest iv = hash(alg_, {View(salt_), View(block)});
        aes_.cbc(iv.view(), page, size);
    }

private:
    const nettle_hash& alg_;
    Bytes salt_;
    AesDecryptor aes_;
};

// ---- RC4 CryptoAPI and standard AES: binary EncryptionHeader + verifier ---

struct BinaryInfo {
    std::uint32_t flags = 0, algId = 0, hashId = 0, keyBits = 0;
    bool baseProvider = false;  // the CSP name is empty or names a "Base" provider
    View salt, verifier, verifierHash;
    std::uint32_t verifierHashSize = 0;
};

constexpr std::uint32_t kFlagCryptoApi = 0x04;
constexpr std::uint32_t kFlagExternal = 0x10;
constexpr std::uint32_t kFlagAes = 0x20;
constexpr std::uint32_t kAlgRc4 = 0x6801, kAlgAes128 = 0x660E, kAlgAes192 = 0x660F, kAlgAes256 = 0x6610;
constexpr std::uint32_t kHashSha1 = 0x8004;

// `info` starts at the version; the flags copy, the header size, the header
// and the verifier follow.
BinaryInfo readBinaryInfo(const Reader& info, std::size_t verifierHashBytes, const std::string& scheme) {
    BinaryInfo b;
    const std::uint32_t headerSize = info.u32(8);
    if (headerSize < 32) damaged(scheme);
    const Reader header = info.sub(12, headerSize, scheme);
    b.flags = header.u32(0);
    b.algId = header.u32(8);
    b.hashId = header.u32(12);
    b.keyBits = header.u32(16);
    std::string csp;
    for (std::size_t at = 32; at + 1 < header.size(); at += 2) {
        const std::uint16_t c = header.u16(at);
        if (c == 0) break;
        csp += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c < 0x80 ? static_cast<char>(c) : '?';
    }
    b.baseProvider = csp.find_first_not_of(' ') == std::string::npos || csp.find(" base ") != std::string::npos;

    const std::size_t v = 12 + static_cast<std::size_t>(headerSize);
    if (info.u32(v) != 16) damaged(scheme);
    b.salt = info.bytes(v + 4, 16);
    b.verifier = info.bytes(v + 20, 16);
    b.verifierHashSize = info.u32(v + 36);
    b.verifierHash = info.bytes(v + 40, verifierHashBytes);
    if (b.verifierHashSize != SHA1_DIGEST_SIZE) damaged(scheme);
    if (b.flags & kFlagExternal) unsupported("extensible encryption");
    if (b.hashId != 0 && b.hashId != kHashSha1) damaged(scheme);
    return b;
}

std::unique_ptr<PageCodec> cryptoApiRc4(const Reader& info, std::uint32_t fileKey, View password) {
    const BinaryInfo b = readBinaryInfo(info, SHA1_DIGEST_SIZE, kCryptoApi);
    if (b.algId != 0 && b.algId != kAlgRc4) damaged(kCryptoApi);
    const std::uint32_t bits = b.keyBits != 0 ? b.keyBits : (b.baseProvider ? 40 : 128);
    if (bits < 40 || bits > 128 || bits % 8 != 0) damaged(kCryptoApi);

    auto codec = std::make_unique<CryptoApiRc4Codec>(fileKey, hash(nettle_sha1, {b.salt, password}), bits / 8);
    // The verifier and its hash are one RC4 stream under the key of block 0.
    const unsigned char block0[4] = {};
    unsigned char key[SHA1_DIGEST_SIZE];
    const std::size_t keyLength = codec->keyFor(block0, key);
    unsigned char plain[16 + SHA1_DIGEST_SIZE];
    std::memcpy(plain, b.verifier.data(), 16);
    std::memcpy(plain + 16, b.verifierHash.data(), SHA1_DIGEST_SIZE);
    rc4(View(key, keyLength), plain, sizeof plain);
    const Digest check = hash(nettle_sha1, {View(plain, 16)});
    if (std::memcmp(check.bytes.data(), plain + 16, SHA1_DIGEST_SIZE) != 0) wrongPassword();
    return codec;
}

std::unique_ptr<PageCodec> standardAes(const Reader& info, std::uint32_t fileKey, View password) {
    // The encrypted verifier hash is the SHA-1 padded to two AES blocks.
    const BinaryInfo b = readBinaryInfo(info, 2 * kAesBlock, kStandard);
    std::uint32_t algBits = 0;
    switch (b.algId) {
    case 0:
    case kAlgAes128: algBits = 128; break;
    case kAlgAes192: algBits = 192; break;
    case kAlgAes256: algBits = 256; break;
    default: damaged(kStandard);
    }
    if (b.keyBits != 0 && b.keyBits != algBits) damaged(kStandard);

    auto codec = std::make_unique<StandardAesCodec>(fileKey, spin(nettle_sha1, b.salt, password, 50'000), algBits / 8);
    const unsigned char block0[4] = {};
    unsigned char plain[3 * kAesBlock];
    std::memcpy(plain, b.verifier.data(), kAesBlock);
    std::memcpy(plain + kAesBlock, b.verifierHash.data(), 2 * kAesBlock);
    codec->decryptorFor(block0).ecb(plain, sizeof plain);
    const Digest check = hash(nettle_sha1, {View(plain, kAesBlock)});
    if (std::memcmp(check.bytes.data(), plain + kAesBlock, SHA1_DIGEST_SIZE) != 0) wrongPassword();
    return codec;
}

// ---- Office binary RC4 (version 1.1) --------------------------------------

std::unique_ptr<PageCodec> officeRc4(const Reader& info, std::uint32_t fileKey, View password) {
    const View salt = info.bytes(4, 16), verifier = info.bytes(20, 16), verifierHash = info.bytes(36, 16);
    const Digest h0 = hash(nettle_md5, {password});
    unsigned char fill[16 * 21];
    for (std::size_t at = 0; at < sizeof fill; at += 21) {
        std::memcpy(fill + at, h0.bytes.data(), 5);
        std::memcpy(fill + at + 5, salt.data(), 16);
    }
    const Digest h1 = hash(nettle_md5, {View(fill)});
    auto codec = std::make_unique<OfficeRc4Codec>(fileKey, View(h1.bytes.data(), 5));

    const unsigned char block0[4] = {};
    unsigned char plain[32];
    std::memcpy(plain, verifier.data(), 16);
    std::memcpy(plain + 16, verifierHash.data(), 16);
    rc4(codec->keyFor(block0).view(), plain, sizeof plain);
    const Digest check = hash(nettle_md5, {View(plain, 16)});
    if (std::memcmp(check.bytes.data(), plain + 16, 16) != 0) wrongPassword();
    return codec;
}

// ---- agile (XML EncryptionDescriptor) -------------------------------------

struct AgileKey {
    const nettle_hash* hash = nullptr;
    std::size_t keyBytes = 0;
    Bytes salt;
    // The password key encryptor's own fields.
    std::uint32_t spinCount = 0;
    Bytes verifierInput, verifierValue, keyValue;
};

const nettle_hash* agileHash(const QString& name) {
    if (name == u"SHA1") return &nettle_sha1;
    if (name == u"SHA256") return &nettle_sha256;
    if (name == u"SHA384") return &nettle_sha384;
    if (name == u"SHA512") return &nettle_sha512;
    return nullptr;
}

Bytes base64(const QXmlStreamAttributes& attrs, const char* name, bool wholeBlocks) {
    const auto decoded = QByteArray::fromBase64Encoding(attrs.value(QLatin1String(name)).toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.size() > 1024) damaged(kAgile);
    if (wholeBlocks && decoded.decoded.size() % static_cast<qsizetype>(kAesBlock) != 0) damaged(kAgile);
    return Bytes(decoded.decoded.begin(), decoded.decoded.end());
}

AgileKey readAgileKey(const QXmlStreamAttributes& attrs, bool passwordEncryptor) {
    auto number = [&](const char* name) {
        bool ok = false;
        const uint v = attrs.value(QLatin1String(name)).toUInt(&ok);
        if (!ok) damaged(kAgile);
        return v;
    };
    const QString cipher = attrs.value(QLatin1String("cipherAlgorithm")).toString().left(40);
    if (cipher != u"AES") unsupported("agile encryption using the cipher '" + cipher.toStdString() + "'");
    const QString chaining = attrs.value(QLatin1String("cipherChaining")).toString().left(40);
    if (chaining != u"ChainingModeCBC") unsupported("agile encryption using '" + chaining.toStdString() + "'");
    const QString hashName = attrs.value(QLatin1String("hashAlgorithm")).toString().left(40);
    AgileKey k;
    k.hash = agileHash(hashName);
    if (!k.hash) unsupported("agile encryption using the hash '" + hashName.toStdString() + "'");
    if (number("blockSize") != kAesBlock || number("hashSize") != k.hash->digest_size) damaged(kAgile);
    k.keyBytes = number("keyBits") / 8;
    if (!aesForKeyBytes(k.keyBytes) || number("keyBits") % 8 != 0) damaged(kAgile);
    k.salt = base64(attrs, "saltValue", false);
    if (number("saltSize") != k.salt.size()) damaged(kAgile);
    if (passwordEncryptor) {
        k.spinCount = number("spinCount");
        if (k.spinCount > kMaxSpinCount) damaged(kAgile);
        k.verifierInput = base64(attrs, "encryptedVerifierHashInput", true);
        k.verifierValue = base64(attrs, "encryptedVerifierHashValue", true);
        k.keyValue = base64(attrs, "encryptedKeyValue", true);
        if (k.verifierInput.size() < k.salt.size() || k.verifierValue.size() < k.hash->digest_size ||
            k.keyValue.size() < k.keyBytes)
            damaged(kAgile);
    }
    return k;
}

std::unique_ptr<PageCodec> agile(const Reader& info, std::uint32_t fileKey, View password) {
    if (info.u32(4) != 0x40) damaged(kAgile);
    const View xmlBytes = info.bytes(8, info.size() - 8);
    QXmlStreamReader xml(QByteArray(reinterpret_cast<const char*>(xmlBytes.data()), static_cast<qsizetype>(xmlBytes.size())));
    std::optional<AgileKey> keyData, encryptor;
    bool otherEncryptor = false;
    int depth = 0;
    // Stop at the end of the root element: the header may be padded behind it.
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (xml.name() == u"keyData" && !keyData) {
                keyData = readAgileKey(xml.attributes(), false);
            } else if (xml.name() == u"encryptedKey") {
                if (xml.namespaceUri() == u"http://schemas.microsoft.com/office/2006/keyEncryptor/password" && !encryptor)
                    encryptor = readAgileKey(xml.attributes(), true);
                else
                    otherEncryptor = true;
            }
        } else if (token == QXmlStreamReader::EndElement && --depth == 0) {
            break;
        }
    }
    if (xml.hasError() || !keyData) damaged(kAgile);
    if (!encryptor) {
        if (otherEncryptor) unsupported("agile encryption with a certificate");
        damaged(kAgile);
    }

    const AgileKey& e = *encryptor;
    const Digest spun = spin(*e.hash, View(e.salt), password, e.spinCount);
    const Bytes iv = fitted(View(e.salt), kAesBlock);
    auto decrypt = [&](const unsigned char(&blockKey)[8], Bytes data) {
        const Bytes key = fitted(hash(*e.hash, {spun.view(), View(blockKey)}).view(), e.keyBytes);
        AesDecryptor(View(key)).cbc(View(iv), data.data(), data.size());
        return data;
    };
    static const unsigned char kVerifierInputBlock[8] = {0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79};
    static const unsigned char kVerifierValueBlock[8] = {0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E};
    static const unsigned char kKeyValueBlock[8] = {0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6};
    const Bytes input = decrypt(kVerifierInputBlock, e.verifierInput);
    const Bytes value = decrypt(kVerifierValueBlock, e.verifierValue);
    const Digest check = hash(*e.hash, {View(input.data(), e.salt.size())});
    if (std::memcmp(check.bytes.data(), value.data(), check.size) != 0) wrongPassword();

    const Bytes dataKey = decrypt(kKeyValueBlock, e.keyValue);
    if (dataKey.size() < keyData->keyBytes) damaged(kAgile);
    return std::make_unique<AgileCodec>(fileKey, *keyData->hash, keyData->salt, View(dataKey.data(), keyData->keyBytes));
}

std::unique_ptr<PageCodec> officeCodec(const std::vector<unsigned char>& page0, std::size_t pageSize,
                                       std::uint32_t fileKey, const std::string& password) {
    const std::string scheme = "Office encryption";
    const Reader page(View(page0.data(), std::min(page0.size(), pageSize)), scheme);
    const Reader info = page.sub(kCryptInfoOffset + 2, page.u16(kCryptInfoOffset), scheme);
    const int major = info.u16(0), minor = info.u16(2);
    const Bytes pw = utf16le(password);
    if (major == 4 && minor == 4) return agile(info, fileKey, View(pw));
    if ((major == 3 || major == 4) && minor == 3) unsupported("extensible encryption");
    if (major >= 2 && major <= 4 && minor == 2) {
        const std::uint32_t flags = info.u32(4);
        if (flags & kFlagExternal) unsupported("extensible encryption");
        if (!(flags & kFlagCryptoApi)) unsupported("an unknown kind of Office encryption");
        if (flags & kFlagAes) return standardAes(info, fileKey, View(pw));
        return cryptoApiRc4(info, fileKey, View(pw));
    }
    if (major == 1 && minor == 1) return officeRc4(info, fileKey, View(pw));
    unsupported("an unknown kind of Office encryption (version " + std::to_string(major) + "." +
                std::to_string(minor) + ")");
}

}  // namespace

std::unique_ptr<PageCodec> makePageCodec(const std::vector<unsigned char>& page0, long long fileSize,
                                         const std::string& password) {
    const auto header = parseAccessHeader(page0, fileSize);
    if (!header) throw DbError(errnum::Generic, "Unrecognized database format.");
    if (header->encodingKey == 0) return std::make_unique<PlainCodec>();
    // Jet 3 and Jet 4 encode pages with RC4 under the page key alone; from
    // ACE on, a key means Office encryption.
    if (header->version < 2) return std::make_unique<JetRc4Codec>(header->encodingKey);
    return officeCodec(page0, static_cast<std::size_t>(header->pageSize), header->encodingKey, password);
}

}  // namespace qb::access
