#include "ValueText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace qb {
namespace {

constexpr int adSingle = 4;
constexpr int adDate = 7;
constexpr int adBoolean = 11;
constexpr int adDBDate = 133;
constexpr int adDBTime = 134;
constexpr int adDBTimeStamp = 135;

// OLE day 0 (1899-12-30) counted from 1970-01-01.
constexpr long long kOleEpochFromUnix = -25569;
// 0100-01-01 and 10000-01-01 as OLE day counts.
constexpr double kFirstOleDay = -657434.0;
constexpr double kEndOleDay = 2958466.0;

void appendUnsigned(std::string& out, unsigned long long n, int minWidth = 1) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    const int length = static_cast<int>(r.ptr - buf);
    if (minWidth > length) out.append(static_cast<std::size_t>(minWidth - length), '0');
    out.append(buf, static_cast<std::size_t>(length));
}

std::string utf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

bool isBlank(QChar c) { return c.isSpace(); }

void chopBlanks(QString& s) {
    while (!s.isEmpty() && isBlank(s.back())) s.chop(1);
}

// Index just past a quoted literal that starts at `i` (a quote character);
// a doubled quote inside stands for one quote.
qsizetype skipQuoted(const QString& p, qsizetype i) {
    ++i;
    while (i < p.size()) {
        if (p[i] == u'\'') {
            if (i + 1 < p.size() && p[i + 1] == u'\'') {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

qsizetype runEnd(const QString& p, qsizetype i) {
    qsizetype j = i;
    while (j < p.size() && p[j] == p[i]) ++j;
    return j;
}

// Four-digit years, and no time-zone part (with the blanks or parentheses
// that only served to set it off).
QString adaptPattern(const QString& p) {
    QString out;
    qsizetype i = 0;
    while (i < p.size()) {
        const QChar c = p[i];
        if (c == u'\'') {
            const qsizetype j = skipQuoted(p, i);
            out += p.mid(i, j - i);
            i = j;
        } else if (c == u'y') {
            const qsizetype j = runEnd(p, i);
            out += (j - i >= 2) ? QStringLiteral("yyyy") : QStringLiteral("y");
            i = j;
        } else if (c == u't') {
            qsizetype j = runEnd(p, i);
            chopBlanks(out);
            while (j < p.size() && isBlank(p[j])) ++j;
            if (!out.isEmpty() && out.back() == u'(' && j < p.size() && p[j] == u')') {
                out.chop(1);
                chopBlanks(out);
                ++j;
                while (j < p.size() && isBlank(p[j])) ++j;
            }
            if (!out.isEmpty() && j < p.size()) out += u' ';
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out.trimmed();
}

using Kind = ValueFormat::Kind;

std::vector<ValueFormat::Token> compilePattern(const QString& p) {
    std::vector<ValueFormat::Token> tokens;
    QString literal;
    auto flush = [&] {
        if (!literal.isEmpty()) tokens.push_back({Kind::Literal, utf8(literal)});
        literal.clear();
    };
    auto field = [&](Kind k) {
        flush();
        tokens.push_back({k, {}});
    };
    bool twelveHour = false;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p[i] == u'\'') {
            i = skipQuoted(p, i) - 1;
        } else if (p[i] == u'a' || p[i] == u'A') {
            twelveHour = true;
        }
    }
    qsizetype i = 0;
    while (i < p.size()) {
        const QChar c = p[i];
        const qsizetype run = runEnd(p, i) - i;
        if (c == u'\'') {
            if (i + 1 < p.size() && p[i + 1] == u'\'') {
                literal += u'\'';
                i += 2;
                continue;
            }
            const qsizetype end = skipQuoted(p, i);
            const bool closed = end <= p.size() && end - 1 > i && p[end - 1] == u'\'';
            QString inner = p.mid(i + 1, (closed ? end - 1 : end) - i - 1);
            inner.replace(QStringLiteral("''"), QStringLiteral("'"));
            literal += inner;
            i = end;
            continue;
        }
        qsizetype used = 0;
        switch (c.unicode()) {
        case 'd': {
            used = std::min<qsizetype>(run, 4);
            static constexpr Kind k[] = {Kind::Day, Kind::Day2, Kind::DayShort, Kind::DayLong};
            field(k[used - 1]);
            break;
        }
        case 'M': {
            used = std::min<qsizetype>(run, 4);
            static constexpr Kind k[] = {Kind::Month, Kind::Month2, Kind::MonthShort, Kind::MonthLong};
            field(k[used - 1]);
            break;
        }
        case 'y':
            if (run >= 4) {
                used = 4;
                field(Kind::Year4);
            } else if (run >= 2) {
                used = 2;
                field(Kind::Year2);
            }
            break;
        case 'h':
            used = std::min<qsizetype>(run, 2);
            if (twelveHour) field(used == 1 ? Kind::Hour12 : Kind::Hour12_2);
            else field(used == 1 ? Kind::Hour24 : Kind::Hour24_2);
            break;
        case 'H':
            used = std::min<qsizetype>(run, 2);
            field(used == 1 ? Kind::Hour24 : Kind::Hour24_2);
            break;
        case 'm':
            used = std::min<qsizetype>(run, 2);
            field(used == 1 ? Kind::Minute : Kind::Minute2);
            break;
        case 's':
            used = std::min<qsizetype>(run, 2);
            field(used == 1 ? Kind::Second : Kind::Second2);
            break;
        case 'z':
            used = run >= 3 ? 3 : 1;
            field(used == 1 ? Kind::Milli : Kind::Milli3);
            break;
        case 'a':
        case 'A':
            used = (i + 1 < p.size() && (p[i + 1] == u'p' || p[i + 1] == u'P')) ? 2 : 1;
            field(c == u'A' ? Kind::AmPmUpper : Kind::AmPmLower);
            break;
        default:
            break;
        }
        if (used == 0) {
            literal += c;
            used = 1;
        }
        i += used;
    }
    flush();
    return tokens;
}

// Days since 1970-01-01 to the proleptic Gregorian calendar date.
void civilFromDays(long long z, long long& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

// Shortest round-trip digits from std::to_chars' scientific form, rewritten
// as plain text for moderate magnitudes and as 1.5E+300 otherwise.
void appendShortest(std::string& out, const char* first, const char* last) {
    const char* p = first;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    char digits[40];
    int n = 0;
    for (; p != last && *p != 'e'; ++p) {
        if (*p != '.') digits[n++] = *p;
    }
    int exponent = 0;
    if (p != last) {
        ++p;  // 'e'
        std::from_chars(*p == '+' ? p + 1 : p, last, exponent);
    }
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (n > 1) {
            out += '.';
            out.append(digits + 1, digits + n);
        }
        out += 'E';
        out += exponent < 0 ? '-' : '+';
        appendUnsigned(out, static_cast<unsigned>(exponent < 0 ? -exponent : exponent));
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits, digits + n);
    } else if (n <= exponent + 1) {
        out.append(digits, digits + n);
        out.append(static_cast<std::size_t>(exponent + 1 - n), '0');
    } else {
        out.append(digits, digits + exponent + 1);
        out += '.';
        out.append(digits + exponent + 1, digits + n);
    }
}

template <class F>
void appendFloating(std::string& out, F value) {
    if (!std::isfinite(value)) throw std::domain_error("Value has no text form");
    if (value == 0) {
        out += '0';  // also for -0: the sign of zero carries nothing worth keeping
        return;
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    appendShortest(out, buf, r.ptr);
}

constexpr char kHex[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, std::uint8_t b) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

}  // namespace

ValueFormat::ValueFormat(const QLocale& locale) {
    if (locale.language() == QLocale::C) {
        datePattern_ = QStringLiteral("yyyy-MM-dd");
        timePattern_ = QStringLiteral("HH:mm:ss");
    } else {
        datePattern_ = adaptPattern(locale.dateFormat(QLocale::ShortFormat));
        timePattern_ = adaptPattern(locale.timeFormat(QLocale::LongFormat));
    }
    prepare(locale);
}

ValueFormat::ValueFormat(const QLocale& locale, const QString& datePattern, const QString& timePattern)
    : datePattern_(datePattern), timePattern_(timePattern) {
    prepare(locale);
}

void ValueFormat::prepare(const QLocale& locale) {
    date_ = compilePattern(datePattern_);
    time_ = compilePattern(timePattern_);
    for (int i = 0; i < 12; ++i) {
        monthShort_[i] = utf8(locale.monthName(i + 1, QLocale::ShortFormat));
        monthLong_[i] = utf8(locale.monthName(i + 1, QLocale::LongFormat));
    }
    for (int i = 0; i < 7; ++i) {
        dayShort_[i] = utf8(locale.dayName(i + 1, QLocale::ShortFormat));
        dayLong_[i] = utf8(locale.dayName(i + 1, QLocale::LongFormat));
    }
    amUpper_ = utf8(locale.amText().toUpper());
    pmUpper_ = utf8(locale.pmText().toUpper());
    amLower_ = utf8(locale.amText().toLower());
    pmLower_ = utf8(locale.pmText().toLower());
}

void ValueFormat::appendPattern(std::string& out, const std::vector<Token>& tokens, const Parts& p) const {
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    for (const Token& t : tokens) {
        switch (t.kind) {
        case Kind::Literal: out += t.literal; break;
        case Kind::Day: appendUnsigned(out, p.day); break;
        case Kind::Day2: appendUnsigned(out, p.day, 2); break;
        case Kind::DayShort: out += dayShort_[p.weekday - 1]; break;
        case Kind::DayLong: out += dayLong_[p.weekday - 1]; break;
        case Kind::Month: appendUnsigned(out, p.month); break;
        case Kind::Month2: appendUnsigned(out, p.month, 2); break;
        case Kind::MonthShort: out += monthShort_[p.month - 1]; break;
        case Kind::MonthLong: out += monthLong_[p.month - 1]; break;
        case Kind::Year2: appendUnsigned(out, static_cast<unsigned long long>(p.year % 100), 2); break;
        case Kind::Year4: appendUnsigned(out, static_cast<unsigned long long>(p.year), 4); break;
        case Kind::Hour12: appendUnsigned(out, hour12); break;
        case Kind::Hour12_2: appendUnsigned(out, hour12, 2); break;
        case Kind::Hour24: appendUnsigned(out, p.hour); break;
        case Kind::Hour24_2: appendUnsigned(out, p.hour, 2); break;
        case Kind::Minute: appendUnsigned(out, p.minute); break;
        case Kind::Minute2: appendUnsigned(out, p.minute, 2); break;
        case Kind::Second: appendUnsigned(out, p.second); break;
        case Kind::Second2: appendUnsigned(out, p.second, 2); break;
        case Kind::Milli: out += '0'; break;  // values are rounded to whole seconds
        case Kind::Milli3: out += "000"; break;
        case Kind::AmPmUpper: out += p.hour < 12 ? amUpper_ : pmUpper_; break;
        case Kind::AmPmLower: out += p.hour < 12 ? amLower_ : pmLower_; break;
        }
    }
}

void ValueFormat::appendDateTime(std::string& out, double oleDays) const {
    if (!(oleDays > kFirstOleDay - 1.0 && oleDays < kEndOleDay)) throw std::out_of_range("Date value out of range");
    // The whole days count from 1899-12-30 in either direction; the fraction
    // is always the time of day forwards from that day.
    double whole = 0;
    const double fraction = std::fabs(std::modf(oleDays, &whole));
    long long day = static_cast<long long>(whole);
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    Parts p{};
    const long long unixDays = day + kOleEpochFromUnix;
    civilFromDays(unixDays, p.year, p.month, p.day);
    p.weekday = static_cast<int>(((unixDays % 7) + 7 + 3) % 7) + 1;  // 1970-01-01 was a Thursday
    p.hour = static_cast<int>(seconds / 3600);
    p.minute = static_cast<int>(seconds / 60 % 60);
    p.second = static_cast<int>(seconds % 60);
    if (day == 0) {
        appendPattern(out, time_, p);
        return;
    }
    appendPattern(out, date_, p);
    if (seconds != 0) {
        out += ' ';
        appendPattern(out, time_, p);
    }
}

void appendDouble(std::string& out, double value) { appendFloating(out, value); }
void appendSingle(std::string& out, float value) { appendFloating(out, value); }

namespace {

void appendCurrency(std::string& out, Currency value) {
    const bool negative = value.scaled < 0;
    const unsigned long long magnitude =
        negative ? 0ull - static_cast<unsigned long long>(value.scaled) : static_cast<unsigned long long>(value.scaled);
    if (negative) out += '-';
    appendUnsigned(out, magnitude / 10000);
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction == 0) return;
    int width = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --width;
    }
    out += '.';
    appendUnsigned(out, fraction, width);
}

void appendDecimal(std::string& out, const Decimal& value) {
    if (value.scale < -64 || value.scale > 64) throw std::out_of_range("Decimal scale out of range");
    char buf[48];
    int n = 0;
    unsigned __int128 m = value.mantissa;
    do {
        buf[n++] = static_cast<char>('0' + static_cast<int>(m % 10));
        m /= 10;
    } while (m != 0);
    std::string digits(buf, buf + n);
    std::reverse(digits.begin(), digits.end());
    if (value.mantissa != 0 && value.negative) out += '-';
    if (value.scale <= 0) {
        out += digits;
        if (value.mantissa != 0) out.append(static_cast<std::size_t>(-value.scale), '0');
        return;
    }
    const std::size_t scale = static_cast<std::size_t>(value.scale);
    if (digits.size() <= scale) digits.insert(0, scale - digits.size() + 1, '0');
    std::size_t end = digits.size();
    const std::size_t point = digits.size() - scale;
    while (end > point && digits[end - 1] == '0') --end;
    out.append(digits, 0, point);
    if (end > point) {
        out += '.';
        out.append(digits, point, end - point);
    }
}

void appendGuid(std::string& out, const Guid& value) {
    const auto& b = value.bytes;
    out += '{';
    for (int i : {3, 2, 1, 0}) appendHexByte(out, b[i]);
    out += '-';
    for (int i : {5, 4}) appendHexByte(out, b[i]);
    out += '-';
    for (int i : {7, 6}) appendHexByte(out, b[i]);
    out += '-';
    for (int i : {8, 9}) appendHexByte(out, b[i]);
    out += '-';
    for (int i = 10; i < 16; ++i) appendHexByte(out, b[i]);
    out += '}';
}

}  // namespace

void appendHex(std::string& out, const Bytes& value) {
    out.reserve(out.size() + value.size() * 2);
    for (std::uint8_t b : value) appendHexByte(out, b);
}

void appendValueText(std::string& out, const Variant& value, int adoType, const ValueFormat& format) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Null>) {
            } else if constexpr (std::is_same_v<T, bool>) {
                if (format.yesNoNumbers) out += v ? "-1" : "0";
                else out += v ? "True" : "False";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                if (adoType == adBoolean) {
                    if (format.yesNoNumbers) out += v != 0 ? "-1" : "0";
                    else out += v != 0 ? "True" : "False";
                } else {
                    char buf[24];
                    out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
                }
            } else if constexpr (std::is_same_v<T, float>) {
                appendSingle(out, v);
            } else if constexpr (std::is_same_v<T, double>) {
                if (adoType == adSingle) appendSingle(out, static_cast<float>(v));
                else if (adoType == adDate || adoType == adDBDate || adoType == adDBTime || adoType == adDBTimeStamp)
                    format.appendDateTime(out, v);
                else appendDouble(out, v);
            } else if constexpr (std::is_same_v<T, Currency>) {
                appendCurrency(out, v);
            } else if constexpr (std::is_same_v<T, Decimal>) {
                appendDecimal(out, v);
            } else if constexpr (std::is_same_v<T, OleDate>) {
                format.appendDateTime(out, v.days);
            } else if constexpr (std::is_same_v<T, std::string>) {
                out += v;
            } else if constexpr (std::is_same_v<T, Bytes>) {
                appendHex(out, v);
            } else if constexpr (std::is_same_v<T, Guid>) {
                appendGuid(out, v);
            }
        },
        value);
}

std::string valueText(const Variant& value, int adoType, const ValueFormat& format) {
    std::string out;
    appendValueText(out, value, adoType, format);
    return out;
}

}  // namespace qb
