#pragma once
// The fixture manifest's canonical text forms of values, so decoded values
// can be compared with what the fixture generator wrote.

#include "dbaccess/Variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace qb::test {

// Python repr() of a binary floating-point value: shortest round trip,
// fixed notation for exponents -4..15 (always with a fraction), otherwise
// d.ddde+XX.
template <typename F>
std::string pythonRepr(F value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string sci(buf, res.ptr);
    std::string sign;
    if (sci[0] == '-') {
        sign = "-";
        sci.erase(0, 1);
    }
    const auto e = sci.find('e');
    std::string digits = sci.substr(0, e);
    const int exp = std::stoi(sci.substr(e + 1));
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    if (exp >= -4 && exp < 16) {
        std::string out;
        if (exp < 0) {
            out = "0." + std::string(static_cast<std::size_t>(-exp - 1), '0') + digits;
        } else if (static_cast<int>(digits.size()) <= exp + 1) {
            out = digits + std::string(static_cast<std::size_t>(exp + 1 - static_cast<int>(digits.size())), '0') + ".0";
        } else {
            out = digits.substr(0, static_cast<std::size_t>(exp + 1)) + "." + digits.substr(static_cast<std::size_t>(exp + 1));
        }
        return sign + out;
    }
    std::string mant = digits.size() > 1 ? digits.substr(0, 1) + "." + digits.substr(1) : digits;
    char ebuf[16];
    std::snprintf(ebuf, sizeof ebuf, "e%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
    return sign + mant + ebuf;
}

inline std::string exactDecimal(bool negative, unsigned __int128 mantissa, int scale) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mantissa % 10)));
        mantissa /= 10;
    } while (mantissa != 0);
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale)
            digits.insert(0, std::string(static_cast<std::size_t>(scale + 1 - static_cast<int>(digits.size())), '0'));
        digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (negative && digits != "0") digits.insert(0, "-");
    return digits;
}

inline std::string isoFromOleDate(double days) {
    long long whole = static_cast<long long>(std::trunc(days));
    long long secs = std::llround(std::fabs(days - static_cast<double>(whole)) * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        ++whole;
    }
    // Civil date from days since 1970-01-01 (1899-12-30 is day -25569).
    const long long z = whole - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", y, m, d, secs / 3600, (secs / 60) % 60,
                  secs % 60);
    return buf;
}

inline std::string hexOf(const unsigned char* p, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string guidText(const Guid& g) {
    const auto& b = g.bytes;
    char buf[48];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                  b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return buf;
}

// The canonical text of a non-null, non-boolean value.
inline std::string canonicalText(const Variant& v) {
    struct Visitor {
        std::string operator()(const Null&) const { return "<null>"; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(float f) const { return pythonRepr(f); }
        std::string operator()(double d) const { return pythonRepr(d); }
        std::string operator()(const Currency& c) const {
            const bool neg = c.scaled < 0;
            const unsigned __int128 m = neg ? static_cast<unsigned __int128>(-(static_cast<__int128>(c.scaled)))
                                            : static_cast<unsigned __int128>(c.scaled);
            return exactDecimal(neg, m, 4);
        }
        std::string operator()(const Decimal& d) const { return exactDecimal(d.negative, d.mantissa, d.scale); }
        std::string operator()(const OleDate& d) const { return isoFromOleDate(d.days); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const Bytes& b) const { return hexOf(b.data(), b.size()); }
        std::string operator()(const Guid& g) const { return guidText(g); }
    };
    return std::visit(Visitor{}, v);
}

}  // namespace qb::test
