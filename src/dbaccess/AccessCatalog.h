#pragma once
// The catalog of an Access file (MSysObjects): its tables, links and queries.

#include "AccessContext.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qb::access {

struct CatalogObject {
    std::string name;
    int type = 0;
    std::uint32_t flags = 0;
    std::uint32_t page = 0;
    std::vector<unsigned char> properties;  // LvProp of tables
};

constexpr std::uint32_t kSystemObject = 0x80000000u;
constexpr std::uint32_t kAccessObject = 0x00000002u;
constexpr int kObjTable = 1, kObjOdbcLink = 4, kObjQuery = 5, kObjLink = 6;

// MSysObjects, whose definition always sits on page 2. Fails with the
// damaged-database error when it cannot be read whole, unless salvaging.
std::vector<CatalogObject> readCatalog(const FileContext& ctx);

// The TABLE_TYPE the providers report, or "" for objects not in the
// tables rowset (forms, reports, action queries and the like).
std::string tableTypeOf(const CatalogObject& o);

}  // namespace qb::access
