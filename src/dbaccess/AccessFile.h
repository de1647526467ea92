#pragma once
// What page 0 of an Access file tells before any other page is read:
// whether it is an Access file at all, its version and page size, whether
// it is whole-file encrypted, and its database password.

#include "AccessFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::access {

// RC4 over `data` in place (the header mask and Jet's page encoding).
void rc4(const unsigned char* key, std::size_t keyLen, unsigned char* data, std::size_t n);

struct AccessHeader {
    int version = 0;        // byte 0x14: 0 Jet 3, 1 Jet 4, 2.. ACE 12 and later
    int pageSize = 0;       // 2048 for Jet 3, 4096 otherwise
    long long pageCount = 0;
    std::uint32_t encodingKey = 0;  // from the unmasked header; 0 = pages stored plainly
    int codePage = 1252;
    bool officeEncrypted = false;   // ACE file encrypted with a password as a whole
    std::optional<std::string> password;  // UTF-8; none when the header holds no password
};

// Reads page 0 of `header` (the first bytes of a file of `fileSize` bytes).
// No value when the bytes are not an Access database of a known version,
// or the size is not a whole number of (at least three) pages.
std::optional<AccessHeader> parseAccessHeader(const std::vector<unsigned char>& header, long long fileSize);

// Opens `path` read-only and parses its header. Throws DbError with the
// provider's messages: "Could not find file '<path>'." for a missing file,
// "Unrecognized database format '<path>'." for anything else that fails.
AccessHeader inspectAccessFile(const std::string& path);

// Throws DbError "Not a valid password." when the file has a password and
// `given` differs from it (letter case counts); the encrypted-file error
// when the file is whole-file encrypted.
void checkAccessPassword(const AccessHeader& header, const std::string& path, const std::string& given);

}  // namespace qb::access
