#pragma once
// Opens an Access file straight through the Access back end, with the pairs
// a connection string for it would give.

#include "dbaccess/Backends.h"

#include <memory>
#include <string>

namespace qb::test {

inline constexpr const char* kJetProvider = "Microsoft.Jet.OLEDB.4.0";
inline constexpr const char* kAceProvider = "Microsoft.ACE.OLEDB.12.0";

inline std::unique_ptr<Backend> openAccessFile(const std::string& path, const std::string& password = "",
                                               const std::string& provider = kJetProvider) {
    return openAccessBackend(
        {{"Provider", provider}, {"Data Source", path}, {"JET OLEDB:Database Password", password}});
}

}  // namespace qb::test
