#pragma once
// A database value as the data-access layer hands it over: the kinds an Access
// column or an SQLite schema row can hold, with exact representations where
// the source is exact (currency, decimal) so no digit is lost on the way.

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qb {

// Currency: a 64-bit integer counting ten-thousandths.
struct Currency {
    std::int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

// Exact decimal: value = (negative ? -1 : 1) * mantissa / 10^scale.
struct Decimal {
    bool negative = false;
    unsigned __int128 mantissa = 0;  // up to 96 significant bits in Access
    int scale = 0;
    bool operator==(const Decimal&) const = default;
};

// Date/Time as the OLE automation day count (days since 1899-12-30, the
// fraction being the time of day; negative days count backwards but their
// fraction still counts forwards, as OLE defines it).
struct OleDate {
    double days = 0.0;
    bool operator==(const OleDate&) const = default;
};

// The 16 bytes of a GUID as stored in the file (Data1..Data3 little-endian).
struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    bool operator==(const Guid&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

struct Null {
    bool operator==(const Null&) const = default;
};

// Text is UTF-8. Integer holds every integer width up to 64 bits.
using Variant = std::variant<Null, bool, std::int64_t, float, double, Currency, Decimal,
                             OleDate, std::string, Bytes, Guid>;

inline bool isNull(const Variant& v) { return std::holds_alternative<Null>(v); }

}  // namespace qb
