#pragma once
// The text a field value contributes to an INSERT statement.
//
// Numbers of numeric fields always use a point and no group separators, so
// SQLite reads them as numbers whatever the user's regional settings; dates
// follow the regional formats. Everything here is on the per-value path of a
// conversion: text goes in and out as UTF-8 without QString round trips, and
// the regional formats are prepared once in a ValueFormat.

#include "dbaccess/Variant.h"

#include <QLocale>
#include <QString>
#include <array>
#include <string>
#include <vector>

namespace qb {

class ValueFormat {
public:
    // Under the C/POSIX locale dates are written as yyyy-MM-dd and HH:mm:ss.
    explicit ValueFormat(const QLocale& locale);
    // Explicit patterns in QLocale's notation, taken as they are; the locale
    // gives the day and month names and the AM/PM texts.
    ValueFormat(const QLocale& locale, const QString& datePattern, const QString& timePattern);

    // The patterns in use: the short date format with a four-digit year, and
    // the long time format without its time-zone part.
    const QString& datePattern() const { return datePattern_; }
    const QString& timePattern() const { return timePattern_; }

    // Yes/No as -1 and 0, the numbers Access computes with, instead of the
    // texts True and False.
    bool yesNoNumbers = false;

    // An OLE day count as date, date and time, or time alone (date part
    // 1899-12-30), rounded to the nearest second. Throws std::out_of_range
    // outside 0100-01-01 to 9999-12-31.
    void appendDateTime(std::string& out, double oleDays) const;

    enum class Kind : unsigned char {
        Literal, Day, Day2, DayShort, DayLong, Month, Month2, MonthShort, MonthLong, Year2, Year4,
        Hour12, Hour12_2, Hour24, Hour24_2, Minute, Minute2, Second, Second2, Milli, Milli3,
        AmPmUpper, AmPmLower
    };
    struct Token {
        Kind kind;
        std::string literal;
    };

private:
    void prepare(const QLocale& locale);
    struct Parts {
        long long year;
        int month, day, weekday;  // weekday 1 = Monday .. 7 = Sunday
        int hour, minute, second;
    };
    void appendPattern(std::string& out, const std::vector<Token>& tokens, const Parts& p) const;

    QString datePattern_;
    QString timePattern_;
    std::vector<Token> date_;
    std::vector<Token> time_;
    std::array<std::string, 12> monthShort_, monthLong_;
    std::array<std::string, 7> dayShort_, dayLong_;
    std::string amUpper_, pmUpper_, amLower_, pmLower_;
};

// Appends the value's text; a null value adds nothing. The ADO type settles
// what the value alone cannot: a Single delivered as double is written with
// single precision, a date delivered as a day count is written as a date, and
// a Yes/No field delivered as an integer becomes True or False.
// Throws for a value without a text form (a date out of range, NaN).
void appendValueText(std::string& out, const Variant& value, int adoType, const ValueFormat& format);
std::string valueText(const Variant& value, int adoType, const ValueFormat& format);

// Upper-case hex digits of the bytes.
void appendHex(std::string& out, const Bytes& value);

// The shortest texts that read back to the same number.
void appendDouble(std::string& out, double value);
void appendSingle(std::string& out, float value);

}  // namespace qb
