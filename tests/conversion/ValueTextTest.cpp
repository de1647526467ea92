#include "conversion/ValueText.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

namespace {

using qb::Variant;

std::string text(const Variant& v, int adoType = 0, const QLocale& locale = QLocale::c()) {
    return qb::valueText(v, adoType, qb::ValueFormat(locale));
}

std::string dbl(double x) {
    std::string s;
    qb::appendDouble(s, x);
    return s;
}

std::string sgl(float x) {
    std::string s;
    qb::appendSingle(s, x);
    return s;
}

// Before 1899-12-30 the whole days count backwards but the time forwards.
double oleDays(QDate d, QTime t = QTime(0, 0)) {
    const double whole = static_cast<double>(QDate(1899, 12, 30).daysTo(d));
    const double time = t.msecsSinceStartOfDay() / 86400000.0;
    return whole < 0 ? whole - time : whole + time;
}

TEST(ValueText, NullBooleanIntegerAndText) {
    EXPECT_EQ(text(qb::Null{}), "");
    EXPECT_EQ(text(true), "True");
    EXPECT_EQ(text(false), "False");
    EXPECT_EQ(text(std::int64_t{-1}, 11), "True");  // a Yes/No field handed over as an integer
    EXPECT_EQ(text(std::int64_t{0}, 11), "False");
    EXPECT_EQ(text(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
    EXPECT_EQ(text(std::int64_t{1234567}, 3, QLocale("de_DE")), "1234567");
    for (const char* s : {"1,234", "12,5", "-3.5e2", "  ", "O'Neil", "€ 10 😀"})
        for (const QLocale& l : {QLocale("en_US"), QLocale("de_DE")}) EXPECT_EQ(text(std::string(s), 202, l), s);
}

TEST(ValueText, CurrencyAndDecimalAreExact) {
    EXPECT_EQ(text(qb::Currency{125000}, 6, QLocale("de_DE")), "12.5");
    EXPECT_EQ(text(qb::Currency{-12345678}), "-1234.5678");
    EXPECT_EQ(text(qb::Currency{std::numeric_limits<std::int64_t>::max()}), "922337203685477.5807");
    EXPECT_EQ(text(qb::Currency{std::numeric_limits<std::int64_t>::min()}), "-922337203685477.5808");
    EXPECT_EQ(text(qb::Currency{0}), "0");
    EXPECT_EQ(text(qb::Currency{10000}), "1");
    EXPECT_EQ(text(qb::Currency{-1}), "-0.0001");

    const unsigned __int128 max96 = (static_cast<unsigned __int128>(1) << 96) - 1;
    EXPECT_EQ(text(qb::Decimal{false, 12345, 2}, 14, QLocale("de_DE")), "123.45");
    EXPECT_EQ(text(qb::Decimal{true, 5, 3}), "-0.005");
    EXPECT_EQ(text(qb::Decimal{false, 1200, 2}), "12");
    EXPECT_EQ(text(qb::Decimal{false, 1500, 0}), "1500");
    EXPECT_EQ(text(qb::Decimal{true, 0, 4}), "0");
    EXPECT_EQ(text(qb::Decimal{false, max96, 0}), "79228162514264337593543950335");
    EXPECT_EQ(text(qb::Decimal{true, max96, 28}), "-7.9228162514264337593543950335");
    EXPECT_EQ(text(qb::Decimal{false, 1, 28}), "0.0000000000000000000000000001");
}

TEST(ValueText, DoublesAreShortestWithPlainMiddleRange) {
    EXPECT_EQ(dbl(0.1), "0.1");
    EXPECT_EQ(dbl(2.0), "2");
    EXPECT_EQ(dbl(-350.0), "-350");
    EXPECT_EQ(dbl(123456.789), "123456.789");
    EXPECT_EQ(dbl(1e-5), "0.00001");
    EXPECT_EQ(dbl(9.5e-6), "9.5E-6");
    EXPECT_EQ(dbl(999999999999999.0), "999999999999999");
    EXPECT_EQ(dbl(1e15), "1E+15");
    EXPECT_EQ(dbl(9007199254740992.0), "9.007199254740992E+15");
    EXPECT_EQ(dbl(1e-300), "1E-300");
    EXPECT_EQ(dbl(1.5e300), "1.5E+300");
    EXPECT_EQ(dbl(5e-324), "5E-324");
    EXPECT_EQ(dbl(-DBL_MAX), "-1.7976931348623157E+308");
    EXPECT_EQ(dbl(0.0), "0");
    EXPECT_EQ(dbl(-0.0), "0");
    EXPECT_THROW(dbl(std::nan("")), std::domain_error);
    EXPECT_THROW(dbl(HUGE_VAL), std::domain_error);
    // Locale-independent, also when the value comes through a field.
    EXPECT_EQ(text(12.5, 5, QLocale("de_DE")), "12.5");
    EXPECT_EQ(text(1234567.25, 5, QLocale("en_US")), "1234567.25");
}

TEST(ValueText, DoublesReadBackToTheSameValue) {
    std::mt19937_64 rng(42);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x)) continue;
        const std::string s = dbl(x);
        ASSERT_EQ(std::strtod(s.c_str(), nullptr), x == 0 ? 0.0 : x) << s;
        float f = static_cast<float>(x);
        if (!std::isfinite(f)) continue;
        const std::string t = sgl(f);
        ASSERT_EQ(std::strtof(t.c_str(), nullptr), f == 0 ? 0.0f : f) << t;
    }
}

TEST(ValueText, SinglesUseSinglePrecision) {
    EXPECT_EQ(sgl(3.14f), "3.14");
    EXPECT_EQ(sgl(FLT_MAX), "3.4028235E+38");
    EXPECT_EQ(sgl(-FLT_MAX), "-3.4028235E+38");
    EXPECT_EQ(sgl(std::numeric_limits<float>::denorm_min()), "1E-45");
    EXPECT_EQ(text(3.14f, 4, QLocale("de_DE")), "3.14");
    // A single handed over widened to double still shows its own digits.
    EXPECT_EQ(text(static_cast<double>(3.14f), 4), "3.14");
    EXPECT_EQ(text(static_cast<double>(3.14f), 5), "3.140000104904175");
}

TEST(ValueText, GuidAndBinary) {
    qb::Guid g;
    g.bytes = {0x40, 0xFC, 0x29, 0x6B, 0x47, 0xCA, 0x67, 0x10, 0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA};
    EXPECT_EQ(text(g, 72), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(text(qb::Bytes{0x00, 0xab, 0x0f, 0xff}, 204), "00AB0FFF");
    EXPECT_EQ(text(qb::Bytes{}, 128), "");
}

struct DateCase {
    double days;
    const char* c;
    const char* en;
    const char* de;
};

TEST(ValueText, DatesInRegionalFormats) {
    const DateCase cases[] = {
        {oleDays(QDate(1850, 3, 4)), "1850-03-04", "3/4/1850", "04.03.1850"},
        {oleDays(QDate(2000, 1, 1)), "2000-01-01", "1/1/2000", "01.01.2000"},
        {oleDays(QDate(2021, 8, 31), QTime(23, 59, 59)), "2021-08-31 23:59:59", "8/31/2021 11:59:59 PM",
         "31.08.2021 23:59:59"},
        {oleDays(QDate(1899, 12, 30), QTime(13, 5, 9)), "13:05:09", "1:05:09 PM", "13:05:09"},
        {0.0, "00:00:00", "12:00:00 AM", "00:00:00"},
        {oleDays(QDate(9999, 12, 31)), "9999-12-31", "12/31/9999", "31.12.9999"},
        {oleDays(QDate(9999, 12, 31), QTime(23, 59, 59)), "9999-12-31 23:59:59", "12/31/9999 11:59:59 PM",
         "31.12.9999 23:59:59"},
        {oleDays(QDate(100, 1, 1)), "0100-01-01", "1/1/0100", "01.01.0100"},
        // Negative: whole days backwards, the fraction still forwards.
        {-1.25, "1899-12-29 06:00:00", "12/29/1899 6:00:00 AM", "29.12.1899 06:00:00"},
        {-0.5, "12:00:00", "12:00:00 PM", "12:00:00"},
        // Rounded to the nearest second, carrying into the next day.
        {oleDays(QDate(2021, 8, 31), QTime(10, 0, 0, 499)), "2021-08-31 10:00:00", "8/31/2021 10:00:00 AM",
         "31.08.2021 10:00:00"},
        {oleDays(QDate(2021, 8, 31), QTime(23, 59, 59, 600)), "2021-09-01", "9/1/2021", "01.09.2021"},
    };
    const qb::ValueFormat c(QLocale::c()), en(QLocale("en_US")), de(QLocale("de_DE"));
    for (const auto& k : cases) {
        EXPECT_EQ(qb::valueText(qb::OleDate{k.days}, 7, c), k.c) << k.days;
        EXPECT_EQ(qb::valueText(qb::OleDate{k.days}, 7, en), k.en) << k.days;
        EXPECT_EQ(qb::valueText(qb::OleDate{k.days}, 135, de), k.de) << k.days;
        // A date handed over as a plain day count.
        EXPECT_EQ(qb::valueText(k.days, 7, c), k.c) << k.days;
    }
    EXPECT_THROW(qb::valueText(qb::OleDate{oleDays(QDate(99, 12, 31))}, 7, c), std::out_of_range);
    EXPECT_THROW(qb::valueText(qb::OleDate{oleDays(QDate(10000, 1, 1))}, 7, c), std::out_of_range);
    EXPECT_THROW(qb::valueText(qb::OleDate{std::nan("")}, 7, c), std::out_of_range);
}

TEST(ValueText, PatternsDropTimeZoneAndWidenTheYear) {
    EXPECT_EQ(qb::ValueFormat(QLocale("en_US")).datePattern(), "M/d/yyyy");
    EXPECT_EQ(qb::ValueFormat(QLocale("en_US")).timePattern(), "h:mm:ss AP");
    EXPECT_EQ(qb::ValueFormat(QLocale("zh_CN")).timePattern(), "HH:mm:ss");
    EXPECT_EQ(qb::ValueFormat(QLocale("fa_IR")).timePattern(), "H:mm:ss");
    EXPECT_EQ(qb::ValueFormat(QLocale("bg_BG")).datePattern(), "d.MM.yyyy 'г'.");
}

// The compiled patterns must write what Qt itself writes for the same pattern.
TEST(ValueText, FormattingAgreesWithQt) {
    const QDateTime moments[] = {
        QDateTime(QDate(1850, 3, 4), QTime(13, 5, 9)), QDateTime(QDate(2021, 8, 31), QTime(0, 0, 1)),
        QDateTime(QDate(1999, 12, 5), QTime(12, 30, 0)), QDateTime(QDate(2024, 2, 29), QTime(9, 7, 3)),
    };
    for (const char* name : {"en_US", "de_DE", "fr_FR", "en_GB", "ja_JP", "ko_KR", "bg_BG", "hi_IN", "zh_CN"}) {
        const QLocale locale(name);
        const qb::ValueFormat f(locale);
        for (const QDateTime& m : moments) {
            const QString expected = locale.toString(m, f.datePattern() + u' ' + f.timePattern());
            const std::string got = qb::valueText(qb::OleDate{oleDays(m.date(), m.time())}, 7, f);
            EXPECT_EQ(got, expected.toStdString()) << name;
        }
        // Names, two-digit years, 12-hour clock and quoting in patterns of other programs' making.
        const QString datePattern = QStringLiteral("dddd ddd MMMM MMM d M yy 'o''clock' '' yyyyy");
        const QString timePattern = QStringLiteral("hh h a ap AP H m s z zzz");
        const qb::ValueFormat custom(locale, datePattern, timePattern);
        for (const QDateTime& m : moments) {
            const QString expected = locale.toString(m, datePattern + u' ' + timePattern);
            const std::string got = qb::valueText(qb::OleDate{oleDays(m.date(), m.time())}, 7, custom);
            EXPECT_EQ(got, expected.toStdString()) << name;
        }
    }
}

}  // namespace
