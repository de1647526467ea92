#pragma once
// Value texts bound as numbers. SQLite turns a text stored in a column of
// numeric affinity into a number itself; handing it that number directly
// saves the driver a copy and SQLite a parse. Only a text whose number is
// beyond doubt qualifies, so every stored value and its type stay exactly
// what the text would have given.

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

namespace qb {

// How a prepared statement's parameter is bound (one per parameter).
enum BindKind : char {
    kBindText = 0,
    kBindBytes = 1,   // the text's bytes as a BLOB
    kBindNumber = 2,  // a column of numeric affinity: the number where exact, else the text
};

using ExactNumber = std::variant<std::int64_t, double>;

// The number SQLite would store for `text` in a column of INTEGER, NUMERIC
// or REAL affinity, when that is certain: a plain decimal integer in 64-bit
// range, or a plain decimal fraction of at most 18 digits whose nearest
// double both a correctly rounded parse and SQLite's own extended-precision
// parse agree on. Anything else (exponents, signs other than a leading "-",
// leading zeros, blanks, "-0") gives no value and is bound as text.
std::optional<ExactNumber> exactNumber(std::string_view text);

}  // namespace qb
