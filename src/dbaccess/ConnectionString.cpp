#include "ConnectionString.h"

#include "core/DbError.h"

#include <algorithm>
#include <cctype>

namespace qb {

bool startsWithAsciiNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](unsigned char a, unsigned char b) {
               return std::tolower(a) == std::tolower(b);
           });
}

bool equalsAsciiNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && startsWithAsciiNoCase(a, b);
}

ConnectionPairs parseConnectionString(const std::string& text) {
    ConnectionPairs pairs;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t eq = text.find('=', i);
        const std::size_t semi = text.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            // A segment without "=": a key with an empty value (or nothing).
            const std::size_t end = semi == std::string::npos ? n : semi;
            if (end > i) pairs.emplace_back(text.substr(i, end - i), std::string());
            i = end + 1;
            continue;
        }
        std::string key = text.substr(i, eq - i);
        i = eq + 1;
        std::string value;
        if (i < n && text[i] == '{') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == '}') {
                    if (i + 1 < n && text[i + 1] == '}') {
                        value += '}';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed) throw DbError(errnum::Generic, "Unterminated brace in the connection string.");
            // Whatever stands between the closing brace and the next ";" is not part of the value.
            const std::size_t end = text.find(';', i);
            if (end != std::string::npos && end > i &&
                text.find_first_not_of(' ', i) < end)
                throw DbError(errnum::Generic, "Unexpected text after a braced value in the connection string.");
            i = end == std::string::npos ? n : end + 1;
        } else {
            const std::size_t end = semi == std::string::npos ? n : semi;
            value = text.substr(i, end - i);
            i = end + 1;
        }
        pairs.emplace_back(std::move(key), std::move(value));
    }
    return pairs;
}

std::optional<std::string> connectionValue(const ConnectionPairs& pairs, const std::string& key) {
    for (const auto& [k, v] : pairs)
        if (equalsAsciiNoCase(k, key)) return v;
    return std::nullopt;
}

std::string quoteConnectionValue(const std::string& value) {
    if (value.find(';') == std::string::npos && (value.empty() || value.front() != '{')) return value;
    std::string quoted = "{";
    for (char c : value) {
        quoted += c;
        if (c == '}') quoted += '}';
    }
    quoted += '}';
    return quoted;
}

}  // namespace qb
