// Page codecs: the encrypted fixtures open with their password only and
// decode to valid pages; the schemes no fixture uses survive a round trip
// through a file this test encrypts; damaged headers fail cleanly.

#include "Fixtures.h"
#include "dbaccess/AccessCodec.h"
#include "dbaccess/AccessFile.h"
#include "core/DbError.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <nettle/nettle-meta.h>
#include <nettle/sha1.h>

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <functional>
#include <random>
#include <string_view>

using namespace qb;
using namespace qb::access;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr std::size_t kInfo = 0x299;  // EncryptionInfo: 16-bit length, then the structure

Bytes readFixture(const char* relative) {
    QFile f(test::fixture(QString::fromUtf8(relative)));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

Bytes firstPage(const Bytes& file) { return Bytes(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 4096)); }

std::string codecError(const Bytes& page0, long long fileSize, const std::string& password) {
    try {
        makePageCodec(page0, fileSize, password);
    } catch (const DbError& e) {
        return e.description();
    }
    return "(opened)";
}

Bytes decodeAll(const Bytes& file, std::size_t pageSize, const std::string& password) {
    Bytes out = file;
    const auto codec = makePageCodec(firstPage(file), static_cast<long long>(file.size()), password);
    for (std::size_t p = 0; p * pageSize < out.size(); ++p)
        codec->decode(static_cast<std::uint32_t>(p), out.data() + p * pageSize, pageSize);
    return out;
}

Bytes le32(std::uint32_t v) { return {Bytes::value_type(v), Bytes::value_type(v >> 8), Bytes::value_type(v >> 16), Bytes::value_type(v >> 24)}; }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes utf16(const std::string& ascii) {
    Bytes out;
    for (char c : ascii) out.insert(out.end(), {static_cast<unsigned char>(c), 0});
    return out;
}
Bytes digest(const nettle_hash& alg, const Bytes& data) {
    std::vector<unsigned char> ctx(alg.context_size);
    Bytes out(alg.digest_size);
    alg.init(ctx.data());
    alg.update(ctx.data(), data.size(), data.data());
    alg.digest(ctx.data(), out.size(), out.data());
    return out;
}
void rc4(const Bytes& key, unsigned char* data, std::size_t n) {
    arcfour_ctx c;
    arcfour_set_key(&c, key.size(), key.data());
    arcfour_crypt(&c, n, data, data);
}
void aesEcb(const Bytes& key, unsigned char* data, std::size_t n) {
    const nettle_cipher& alg = key.size() == 16 ? nettle_aes128 : nettle_aes256;
    std::vector<unsigned char> ctx(alg.context_size);
    alg.set_encrypt_key(ctx.data(), key.data());
    alg.encrypt(ctx.data(), n, data, data);
}

// Pages as a healthy ACE or Jet file has them: a known type, then 0x01.
bool validPage(const unsigned char* p) {
    return p[1] == 0x01 && std::string_view("\x01\x02\x03\x04\x05\x08\x09").find(static_cast<char>(p[0])) != std::string::npos;
}

// Encrypts a plain file page by page, as the scheme does, with page key
// kFileKey ^ page number; `key` gives a page key's cipher key.
constexpr std::uint32_t kFileKey = 0x1A2B3C4D;

void encryptPages(Bytes& file, std::size_t pageSize, const std::function<void(std::uint32_t, unsigned char*)>& crypt) {
    // The header mask is an XOR, and the plain file's key is 0.
    for (int i = 0; i < 4; ++i) file[0x3E + i] ^= le32(kFileKey)[i];
    for (std::size_t p = 1; p * pageSize < file.size(); ++p)
        crypt(kFileKey ^ static_cast<std::uint32_t>(p), file.data() + p * pageSize);
}

void putInfo(Bytes& file, const Bytes& info) {
    file[kInfo] = static_cast<unsigned char>(info.size());
    file[kInfo + 1] = static_cast<unsigned char>(info.size() >> 8);
    std::copy(info.begin(), info.end(), file.begin() + kInfo + 2);
}

// Standard AES, derived from the documentation: H0 = SHA-1(salt ‖ password),
// 50,000 rounds of SHA-1(LE32(i) ‖ H), then SHA-1(H ‖ block) spread over
// the 0x36 and 0x5C pads.
void standardAes(Bytes& file, std::uint32_t algId, std::size_t keyBytes) {
    const Bytes salt(16, 0x5A), verifier(16, 0xC3);
    Bytes h = digest(nettle_sha1, cat({salt, utf16("password")}));
    for (std::uint32_t i = 0; i < 50'000; ++i) h = digest(nettle_sha1, cat({le32(i), h}));
    auto key = [&](std::uint32_t block) {
        const Bytes f = digest(nettle_sha1, cat({h, le32(block)}));
        Bytes out;
        for (unsigned char pad : {0x36, 0x5C}) {
            Bytes x(64, pad);
            for (std::size_t i = 0; i < f.size(); ++i) x[i] ^= f[i];
            out = cat({out, digest(nettle_sha1, x)});
        }
        out.resize(keyBytes);
        return out;
    };
    Bytes encVerifier = verifier, encHash = digest(nettle_sha1, verifier);
    encHash.resize(32, 0);
    aesEcb(key(0), encVerifier.data(), 16);
    aesEcb(key(0), encHash.data(), 32);
    const Bytes header = cat({le32(0x24), le32(0), le32(algId), le32(0x8004), le32(std::uint32_t(keyBytes * 8)), le32(0x18),
                              le32(0), le32(0), utf16(std::string("Microsoft Enhanced RSA and AES Cryptographic Provider") + '\0')});
    putInfo(file, cat({{4, 0, 2, 0}, le32(0x24), le32(std::uint32_t(header.size())), header, le32(16), salt, encVerifier,
                       le32(20), encHash}));
    encryptPages(file, 4096, [&](std::uint32_t block, unsigned char* page) { aesEcb(key(block), page, 4096); });
}

// Office binary RC4: MD5 over the password, 16 copies of (5 bytes ‖ salt),
// then MD5(5 bytes ‖ block) as the RC4 key.
void officeRc4(Bytes& file) {
    const Bytes salt(16, 0x77), verifier(16, 0x19);
    const Bytes h0 = digest(nettle_md5, utf16("password"));
    Bytes fill;
    for (int i = 0; i < 16; ++i) fill = cat({fill, Bytes(h0.begin(), h0.begin() + 5), salt});
    const Bytes h1 = digest(nettle_md5, fill);
    auto key = [&](std::uint32_t block) { return digest(nettle_md5, cat({Bytes(h1.begin(), h1.begin() + 5), le32(block)})); };
    Bytes check = cat({verifier, digest(nettle_md5, verifier)});
    rc4(key(0), check.data(), check.size());
    putInfo(file, cat({{1, 0, 1, 0}, salt, check}));
    encryptPages(file, 4096, [&](std::uint32_t block, unsigned char* page) { rc4(key(block), page, 4096); });
}

// RC4 CryptoAPI with no key size given: a Base provider means 40 bits,
// padded with zeros to 128.
void cryptoApiRc4Base(Bytes& file) {
    const Bytes salt(16, 0x3C), verifier(16, 0xA5);
    const Bytes h0 = digest(nettle_sha1, cat({salt, utf16("password")}));
    auto key = [&](std::uint32_t block) {
        Bytes k = digest(nettle_sha1, cat({h0, le32(block)}));
        k.resize(5);
        k.resize(16, 0);
        return k;
    };
    Bytes check = cat({verifier, digest(nettle_sha1, verifier)});
    rc4(key(0), check.data(), check.size());
    const Bytes header = cat({le32(0x04), le32(0), le32(0x6801), le32(0x8004), le32(0), le32(1), le32(0), le32(0),
                              utf16(std::string("Microsoft Base Cryptographic Provider v1.0") + '\0')});
    putInfo(file, cat({{4, 0, 2, 0}, le32(0x04), le32(std::uint32_t(header.size())), header, le32(16), salt,
                       Bytes(check.begin(), check.begin() + 16), le32(20), Bytes(check.begin() + 16, check.end())}));
    encryptPages(file, 4096, [&](std::uint32_t block, unsigned char* page) { rc4(key(block), page, 4096); });
}

void jetRc4(Bytes& file, std::size_t pageSize) {
    encryptPages(file, pageSize, [&](std::uint32_t block, unsigned char* page) { rc4(le32(block), page, pageSize); });
}

}  // namespace

TEST(AccessCodec, EncryptedFixturesOpenWithTheirPasswordOnly) {
    for (const char* f : {"public/password/office-encrypted-4.2.accdb", "public/password/V2010_with-password.accdb",
                          "public/password/office-encrypted-4.4.accdb"}) {
        SCOPED_TRACE(f);
        const AccessHeader header = inspectAccessFile(test::fixture(QString::fromUtf8(f)).toStdString());
        for (const char* wrong : {"", "Password", "password ", "passwor"})
            EXPECT_EQ(codecError(header.page0, header.pageCount * 4096, wrong), "Not a valid password.") << wrong;

        const auto codec = checkAccessPassword(header, "password");
        ASSERT_FALSE(codec->plain());
        Bytes file = readFixture(f);
        ASSERT_EQ(static_cast<long long>(file.size()), header.pageCount * 4096);
        int invalid = 0;
        for (std::size_t p = 1; p < file.size() / 4096; ++p) {
            codec->decode(static_cast<std::uint32_t>(p), file.data() + p * 4096, 4096);
            if (!validPage(file.data() + p * 4096)) ++invalid;
        }
        EXPECT_EQ(invalid, 0);
        // Page 2 is the system catalog's definition: a TDEF of a system
        // table ('S') with the 17 columns it has in every ACE file.
        const unsigned char* tdef = file.data() + 2 * 4096;
        EXPECT_EQ(tdef[0], 0x02);
        EXPECT_EQ(tdef[0x28], 'S');
        EXPECT_EQ(u16(tdef + 0x2D), 17);
        EXPECT_LT(u32(tdef + 4), header.pageCount);
    }
}

TEST(AccessCodec, SchemesWithoutFixtureRoundTrip) {
    struct Case {
        const char* name;
        const char* fixture;
        std::size_t pageSize;
        std::function<void(Bytes&)> encrypt;
        bool password;
    };
    const Case cases[] = {
        {"Jet RC4, Jet 3", "public/testV1997.mdb", 2048, [](Bytes& f) { jetRc4(f, 2048); }, false},
        {"Jet RC4, Jet 4", "sample.mdb", 4096, [](Bytes& f) { jetRc4(f, 4096); }, false},
        {"standard AES-128", "public/testV2010.accdb", 4096, [](Bytes& f) { standardAes(f, 0x660E, 16); }, true},
        {"standard AES-256", "public/testV2010.accdb", 4096, [](Bytes& f) { standardAes(f, 0x6610, 32); }, true},
        {"Office RC4", "public/testV2010.accdb", 4096, officeRc4, true},
        {"RC4 CryptoAPI, 40 bits", "public/testV2010.accdb", 4096, cryptoApiRc4Base, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes plain = readFixture(c.fixture);
        ASSERT_FALSE(plain.empty());
        Bytes encrypted = plain;
        c.encrypt(encrypted);
        ASSERT_NE(encrypted, plain);
        if (c.password) {
            EXPECT_EQ(codecError(firstPage(encrypted), static_cast<long long>(encrypted.size()), "Password"),
                      "Not a valid password.");
        }
        const Bytes decoded = decodeAll(encrypted, c.pageSize, c.password ? "password" : "");
        // Page 0 is never decoded (it now names the key); the rest is as it was.
        const auto page1 = static_cast<std::ptrdiff_t>(c.pageSize);
        EXPECT_TRUE(std::equal(decoded.begin(), decoded.begin() + page1, encrypted.begin()));
        EXPECT_TRUE(std::equal(decoded.begin() + page1, decoded.end(), plain.begin() + page1, plain.end()));
    }
}

TEST(AccessCodec, DamagedEncryptionHeadersFailCleanly) {
    const Bytes rc4File = readFixture("public/password/office-encrypted-4.2.accdb");
    const Bytes agileFile = readFixture("public/password/office-encrypted-4.4.accdb");
    ASSERT_FALSE(rc4File.empty());
    ASSERT_FALSE(agileFile.empty());
    const long long size = static_cast<long long>(agileFile.size());

    auto replaced = [](const Bytes& file, const std::string& from, const std::string& to) {
        Bytes page = firstPage(file);
        const std::size_t length = u16(page.data() + kInfo);
        std::string info(page.begin() + kInfo + 2, page.begin() + static_cast<std::ptrdiff_t>(kInfo + 2 + length));
        const std::size_t at = info.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) info.replace(at, from.size(), to);
        putInfo(page, Bytes(info.begin(), info.end()));
        return page;
    };
    auto patched = [](const Bytes& file, std::size_t at, const Bytes& bytes) {
        Bytes page = firstPage(file);
        std::copy(bytes.begin(), bytes.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
        return page;
    };
    const std::string ns = "http://schemas.microsoft.com/office/2006/keyEncryptor/";
    const struct {
        const char* name;
        Bytes page0;
        const char* error;
    } cases[] = {
        {"spin count beyond the limit", replaced(agileFile, "spinCount=\"100000\"", "spinCount=\"4000000000\""), "damaged"},
        {"foreign cipher", replaced(agileFile, "cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"DES\""), "the cipher 'DES'"},
        {"CFB chaining", replaced(agileFile, "ChainingModeCBC", "ChainingModeCFB"), "'ChainingModeCFB'"},
        {"unknown hash", replaced(agileFile, "hashAlgorithm=\"SHA512\"", "hashAlgorithm=\"MD4\""), "the hash 'MD4'"},
        {"odd key size", replaced(agileFile, "keyBits=\"256\"", "keyBits=\"100\""), "damaged"},
        {"bad base64", replaced(agileFile, "saltValue=\"", "saltValue=\"!"), "damaged"},
        {"unbalanced XML", replaced(agileFile, "</keyEncryptors>", ""), "damaged"},
        {"certificate key only", replaced(agileFile, ns + "password\"", ns + "certificate\""), "with a certificate"},
        {"agile reserved value", patched(agileFile, kInfo + 6, {0x41}), "damaged"},
        {"extensible 3.3", patched(agileFile, kInfo + 2, {3, 0, 3, 0}), "extensible encryption"},
        {"extensible 4.3", patched(rc4File, kInfo + 2, {4, 0, 3, 0}), "extensible encryption"},
        {"external provider", patched(rc4File, kInfo + 6, {0x14}), "extensible encryption"},
        {"unknown version", patched(rc4File, kInfo + 2, {9, 0, 9, 0}), "version 9.9"},
        {"info past the page", patched(rc4File, kInfo, {0xFF, 0xFF}), "damaged"},
        {"info cut short", patched(rc4File, kInfo, {0x40, 0x00}), "damaged"},
        {"header size", patched(rc4File, kInfo + 10, {0xFF, 0xFF, 0xFF, 0xFF}), "damaged"},
        {"salt size", patched(rc4File, kInfo + 2 + 12 + 0x7E, {17}), "damaged"},
        {"AES flag on RC4", patched(rc4File, kInfo + 6, {0x24}), "damaged"},
    };
    for (const auto& c : cases) {
        const std::string e = codecError(c.page0, size, "password");
        EXPECT_NE(e.find(c.error), std::string::npos) << c.name << ": " << e;
    }

    // Random damage, page cuts included: a DbError or a codec, never a crash.
    // The agile copy spins once so that each try stays cheap.
    const Bytes bases[] = {firstPage(rc4File), replaced(agileFile, "spinCount=\"100000\"", "spinCount=\"1\"")};
    std::mt19937 rng(20261208);
    Bytes scratch(4096);
    int refused = 0, opened = 0;
    for (int i = 0; i < 4000; ++i) {
        Bytes page = bases[i % 2];
        const std::size_t end = kInfo + 2 + u16(page.data() + kInfo);
        for (int n = 1 + rng() % 4; n > 0; --n)
            page[rng() % 8 == 0 ? rng() % end : kInfo + rng() % (end - kInfo)] = static_cast<unsigned char>(rng());
        if (rng() % 4 == 0) page.resize(0x400 + rng() % (page.size() - 0x400));
        try {
            makePageCodec(page, size, "password")->decode(1, scratch.data(), scratch.size());
            ++opened;
        } catch (const DbError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 1000);
    EXPECT_GT(opened, 0);
}
