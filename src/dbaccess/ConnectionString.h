#pragma once
// Reading and writing "key=value;key=value" connection strings. A value may
// be wrapped in braces, with "}}" standing for one "}", so that a path or a
// password containing ";" stays one value.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qb {

using ConnectionPairs = std::vector<std::pair<std::string, std::string>>;

// Splits a connection string into its pairs; keys are kept as written,
// values unwrapped from braces. Throws DbError on an unterminated brace.
ConnectionPairs parseConnectionString(const std::string& text);

// Keys, provider and driver names compare without regard to ASCII case.
bool equalsAsciiNoCase(const std::string& a, const std::string& b);
bool startsWithAsciiNoCase(const std::string& text, const std::string& prefix);

// The value of `key` (matched without regard to case), if present.
std::optional<std::string> connectionValue(const ConnectionPairs& pairs, const std::string& key);

// The value as it must be written into a connection string: unchanged when
// it holds no ";" and does not start with "{", otherwise in braces.
std::string quoteConnectionValue(const std::string& value);

}  // namespace qb
