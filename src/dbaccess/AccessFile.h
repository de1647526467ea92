#pragma once
// What page 0 of an Access file tells before any other page is read:
// whether it is an Access file at all, its version and page size, how its
// pages are encoded or encrypted, and its database password.

#include "AccessCodec.h"
#include "AccessFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb::access {

struct AccessHeader {
    int version = 0;        // byte 0x14: 0 Jet 3, 1 Jet 4, 2.. ACE 12 and later
    int pageSize = 0;       // 2048 for Jet 3, 4096 otherwise
    long long pageCount = 0;
    std::uint32_t encodingKey = 0;  // from the unmasked header; 0 = pages stored plainly
    int codePage = 1252;
    bool officeEncrypted = false;   // ACE file encrypted with a password as a whole
    std::optional<std::string> password;  // UTF-8; none when the header holds no password
    std::vector<unsigned char> page0;     // as stored; filled by inspectAccessFile only
    long long tailBytes = 0;  // bytes after the last whole page (only when cut pages are allowed)
};

// Reads page 0 of `header` (the first bytes of a file of `fileSize` bytes).
// No value when the bytes are not an Access database of a known version,
// or the size is not a whole number of (at least three) pages. With
// `cutPages`, a file cut inside a page counts its whole pages only.
std::optional<AccessHeader> parseAccessHeader(const std::vector<unsigned char>& header, long long fileSize,
                                              bool cutPages = false);

// Opens `path` read-only and parses its header. Throws DbError with the
// provider's messages: "Could not find file '<path>'." for a missing file,
// "Unrecognized database format '<path>'." for anything else that fails.
AccessHeader inspectAccessFile(const std::string& path, bool cutPages = false);

// Checks `given` against the file's password and returns the codec its
// pages need (see AccessCodec.h), keys already derived. Throws DbError
// "Not a valid password." when `given` differs from the password in the
// header (letter case counts) or does not open an encrypted file, and the
// codec's error for encryption that cannot be read. `header` must come from
// inspectAccessFile.
std::unique_ptr<PageCodec> checkAccessPassword(const AccessHeader& header, const std::string& given);

}  // namespace qb::access
