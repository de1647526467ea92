#include "BoundNumber.h"

#include <charconv>

namespace qb {

namespace {

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// SQLite builds a decimal fraction as digits / 10^k in long double and then
// rounds to double; a correctly rounded parse may differ from that in the
// last bit, and then the text's own path is the only safe one.
std::optional<double> agreedFraction(bool negative, std::string_view whole, std::string_view fraction) {
    std::uint64_t digits = 0;
    int count = 0;
    for (std::string_view part : {whole, fraction}) {
        for (char c : part) {
            if (count == 0 && c == '0') continue;
            if (++count > 18) return std::nullopt;
            digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
        }
    }
    long double scale = 1.0L;
    for (std::size_t i = 0; i < fraction.size(); ++i) scale *= 10.0L;
    double extended = static_cast<double>(static_cast<long double>(digits) / scale);
    if (negative) extended = -extended;

    // The text from its sign on, as from_chars reads it.
    const char* begin = whole.data() - (negative ? 1 : 0);
    const char* end = fraction.data() + fraction.size();
    double rounded = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, rounded);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    // Compared as values: -0.0 and 0.0 both become the integer 0 in a
    // numeric column, as the text "-0.0" does.
    if (rounded != extended) return std::nullopt;
    return rounded;
}

}  // namespace

std::optional<ExactNumber> exactNumber(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view body = negative ? text.substr(1) : text;
    const std::size_t point = body.find('.');
    const std::string_view whole = body.substr(0, point);
    if (!allDigits(whole) || (whole.size() > 1 && whole.front() == '0')) return std::nullopt;
    if (point == std::string_view::npos) {
        if (negative && whole == "0") return std::nullopt;
        std::int64_t value = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
        return value;
    }
    const std::string_view fraction = body.substr(point + 1);
    if (!allDigits(fraction)) return std::nullopt;
    if (auto d = agreedFraction(negative, whole, fraction)) return *d;
    return std::nullopt;
}

}  // namespace qb
