// Access functions and aggregates as SQLite expressions.

#include "AccessExpression.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

namespace qb::accesssql {

namespace {

// Dates kept as a time alone belong to 1899-12-30.
std::string fullDate(const std::string& d) {
    return "(CASE WHEN length(" + d + ") = 8 THEN '1899-12-30 ' || " + d + " ELSE " + d + " END)";
}

std::string datePart(const std::string& format, const std::string& d) {
    return "CAST(strftime('" + format + "', " + fullDate(d) + ") AS INTEGER)";
}

// A full date and time written back as the tables write dates: day 0 as
// its time alone, midnight as the date alone; Access has no dates outside
// the years 100 to 9999, so those give Null.
std::string asStored(const std::string& x) {
    return "(CASE WHEN " + x + " IS NULL OR " + x + " < '0100' OR length(" + x + ") <> 19 THEN NULL WHEN date(" + x +
           ") = '1899-12-30' THEN time(" + x + ") WHEN time(" + x + ") = '00:00:00' THEN date(" + x +
           ") ELSE datetime(" + x + ") END)";
}

// `months` months after the date d, on the same day or, where that month
// is shorter, on its last day.
std::string addMonths(const std::string& months, const std::string& d) {
    const std::string first = "date(" + d + ", 'start of month', (" + months + ") || ' months')";
    const std::string lastDay = "CAST(strftime('%d', " + first + ", '+1 month', '-1 day') AS INTEGER)";
    const std::string day = "CAST(strftime('%d', " + d + ") AS INTEGER)";
    return "datetime(" + first + " || ' ' || time(" + d + "), (min(" + day + ", " + lastDay + ") - 1) || ' days')";
}

std::string wholeDays(const std::string& from, const std::string& to) {
    return "CAST(julianday(date(" + to + ")) - julianday(date(" + from + ")) AS INTEGER)";
}

// Half to even at `digits` decimals, as Currency, CInt, CLng and Round
// round: the whole number nearest x * 10^digits, the even one on a tie.
std::string halfEven(const std::string& x, int digits) {
    std::string scale = "1";
    for (int i = 0; i < digits; ++i) scale += "0";
    const std::string v = "((" + x + ") * " + scale + ".0)";
    const std::string t = "CAST(" + v + " AS INTEGER)";
    const std::string f = "(" + v + " - " + t + ")";
    const std::string whole = "(CASE WHEN " + f + " > 0.5 THEN " + t + " + 1 WHEN " + f + " < -0.5 THEN " + t +
                              " - 1 WHEN " + f + " = 0.5 THEN " + t + " + (" + t + " % 2) WHEN " + f + " = -0.5 THEN " +
                              t + " - (" + t + " % 2 <> 0) ELSE " + t + " END)";
    return digits == 0 ? whole : "(" + whole + " / " + scale + ".0)";
}

}  // namespace

std::vector<Sql> ExpressionReader::arguments() {
    std::vector<Sql> out;
    expect("(");
    if (accept(")")) return out;
    do out.push_back(orExpr());
    while (accept(","));
    expect(")");
    return out;
}

namespace {

// One call's arguments, as values, with the checks every function needs.
struct Call {
    std::string written;  // the name as the query spells it
    std::vector<Sql> args, v;

    void need(std::size_t low, std::size_t high) const {
        if (args.size() < low || args.size() > high)
            refuse("the function " + written + " with " + std::to_string(args.size()) + " arguments");
    }
    Sql result(std::string text, ValueType type) const {
        // Date arithmetic repeats its arguments; nested calls would grow
        // the view's text without bound.
        if (text.size() > 1000000) refuse("an expression too long to write as a view");
        Sql s = make(std::move(text), type);
        for (const Sql& a : v) s.aggregate = s.aggregate || a.aggregate;
        return s;
    }
    std::string text(std::size_t i) const {
        if (v[i].type == ValueType::Text || v[i].type == ValueType::Unknown) return v[i].text;
        if (v[i].type == ValueType::Integer) return "CAST(" + v[i].text + " AS TEXT)";
        refuse("the function " + written + " on a value that is not a text");
    }
    std::string number(std::size_t i) const {
        needNumber(v[i], written.c_str());
        return v[i].text;
    }
    std::string date(std::size_t i) const {
        if (v[i].type != ValueType::Date) refuse("the function " + written + " on a value that is not a date");
        return v[i].text;
    }
};

std::optional<Sql> logicFunction(const std::string& name, const Call& c) {
    if (name == "iif") {
        c.need(3, 3);
        return c.result(
            "(CASE WHEN " + predicateOf(c.args[0]) + " THEN " + c.v[1].text + " ELSE " + c.v[2].text + " END)",
            common(c.v[1].type, c.v[2].type));
    }
    if (name == "switch") {
        if (c.args.empty() || c.args.size() % 2 != 0) refuse("Switch without pairs of conditions and values");
        std::string text = "(CASE";
        ValueType type = c.v[1].type;
        for (std::size_t i = 0; i < c.args.size(); i += 2) {
            text += " WHEN " + predicateOf(c.args[i]) + " THEN " + c.v[i + 1].text;
            type = common(type, c.v[i + 1].type);
        }
        return c.result(text + " END)", type);
    }
    if (name == "choose") {
        if (c.args.size() < 2) refuse("Choose without choices");
        if (!wholeNumber(c.v[0].type)) refuse("Choose with an index that is not a whole number");
        std::string text = "(CASE " + c.v[0].text;
        ValueType type = c.v[1].type;
        for (std::size_t i = 1; i < c.args.size(); ++i) {
            text += " WHEN " + std::to_string(i) + " THEN " + c.v[i].text;
            type = common(type, c.v[i].type);
        }
        return c.result(text + " END)", type);
    }
    if (name != "nz") return std::nullopt;
    c.need(1, 2);
    if (c.args.size() == 2)
        return c.result("COALESCE(" + c.v[0].text + ", " + c.v[1].text + ")", common(c.v[0].type, c.v[1].type));
    // Without a default, Nz gives the Empty value: "" for texts, 0 for numbers.
    if (c.v[0].type == ValueType::Text) return c.result("COALESCE(" + c.v[0].text + ", '')", ValueType::Text);
    if (numeric(c.v[0].type)) return c.result("COALESCE(" + c.v[0].text + ", 0)", c.v[0].type);
    refuse("Nz without a default on a value of unknown type");
}

std::optional<Sql> textFunction(const std::string& name, const Call& c) {
    if (name == "left" || name == "right") {
        c.need(2, 2);
        const std::string s = c.text(0), n = c.number(1);
        if (name == "left") return c.result("substr(" + s + ", 1, " + n + ")", ValueType::Text);
        return c.result("substr(" + s + ", max(length(" + s + ") - (" + n + ") + 1, 1))", ValueType::Text);
    }
    if (name == "mid") {
        c.need(2, 3);
        return c.result(
            "substr(" + c.text(0) + ", " + c.number(1) + (c.args.size() == 3 ? ", " + c.number(2) : "") + ")",
            ValueType::Text);
    }
    if (name == "len") {
        c.need(1, 1);
        return c.result("length(" + c.text(0) + ")", ValueType::Integer);
    }
    if (name == "cstr") {
        c.need(1, 1);
        return c.result(c.text(0), ValueType::Text);
    }
    if (name == "space") {
        c.need(1, 1);
        return c.result("printf('%*s', " + c.number(0) + ", '')", ValueType::Text);
    }
    if (name == "string") {
        c.need(2, 2);
        if (!c.v[1].literal || c.v[1].type != ValueType::Text || c.v[1].literalValue.empty())
            refuse("String with a character that is not a fixed text");
        const std::string first = QString::fromStdString(c.v[1].literalValue).left(1).replace("'", "''").toStdString();
        return c.result("replace(printf('%*s', " + c.number(0) + ", ''), ' ', '" + first + "')", ValueType::Text);
    }
    if (name == "trim" || name == "ltrim" || name == "rtrim") {
        c.need(1, 1);
        return c.result(name + "(" + c.text(0) + ", ' ')", ValueType::Text);
    }
    return std::nullopt;
}

std::optional<Sql> dateFunction(const std::string& name, const Call& c) {
    static const std::map<std::string, const char*> parts = {
        {"year", "%Y"}, {"month", "%m"}, {"day", "%d"}, {"hour", "%H"}, {"minute", "%M"}, {"second", "%S"}};
    if (const auto part = parts.find(name); part != parts.end()) {
        c.need(1, 1);
        return c.result(datePart(part->second, c.date(0)), ValueType::Integer);
    }
    if (name == "weekday") {
        c.need(1, 2);
        if (c.args.size() == 2 && !(c.v[1].literal && c.v[1].literalValue == "1"))
            refuse("Weekday counted from another day than Sunday");
        return c.result("(" + datePart("%w", c.date(0)) + " + 1)", ValueType::Integer);
    }
    // The local date and time, written as the tables hold dates.
    if (name == "date") {
        c.need(0, 0);
        return c.result("date('now', 'localtime')", ValueType::Date);
    }
    if (name == "now") {
        c.need(0, 0);
        const std::string now = "datetime('now', 'localtime')";
        return c.result("(CASE WHEN time('now', 'localtime') = '00:00:00' THEN date('now', 'localtime') ELSE " + now +
                            " END)",
                        ValueType::Date);
    }
    if (name != "datepart") return std::nullopt;
    c.need(2, 4);
    if (!c.v[0].literal || c.v[0].type != ValueType::Text) refuse("DatePart with an interval that is not a fixed text");
    const std::string interval = lower(c.v[0].literalValue);
    const std::string d = c.date(1);
    // The first day of the week and week of the year change none of these.
    if (interval == "yyyy") return c.result(datePart("%Y", d), ValueType::Integer);
    if (interval == "m") return c.result(datePart("%m", d), ValueType::Integer);
    if (interval == "d") return c.result(datePart("%d", d), ValueType::Integer);
    if (interval == "q") return c.result("((" + datePart("%m", d) + " + 2) / 3)", ValueType::Integer);
    refuse("DatePart with the interval \"" + c.v[0].literalValue + "\"");
}

std::optional<Sql> dateArithmetic(const std::string& name, const Call& c) {
    if (name == "dateserial") {
        c.need(3, 3);
        for (std::size_t i = 0; i < 3; ++i)
            if (!wholeNumber(c.v[i].type)) refuse("DateSerial with a part that is not a whole number");
        const std::string y = c.v[0].text, m = c.v[1].text, d = c.v[2].text;
        // Two-digit years as Access reads them; months and days past their
        // range carry into the next year or month.
        const std::string year = "(CASE WHEN " + y + " BETWEEN 0 AND 29 THEN " + y + " + 2000 WHEN " + y +
                                 " BETWEEN 30 AND 99 THEN " + y + " + 1900 ELSE " + y + " END)";
        return c.result("(CASE WHEN " + year + " BETWEEN 100 AND 9999 THEN " +
                            asStored("datetime(printf('%04d-01-01', " + year + "), ((" + m + ") - 1) || ' months', ((" +
                                     d + ") - 1) || ' days')") +
                            " END)",
                        ValueType::Date);
    }
    if (name != "dateadd" && name != "datediff") return std::nullopt;
    const bool add = name == "dateadd";
    add ? c.need(3, 3) : c.need(3, 4);
    if (!c.v[0].literal || c.v[0].type != ValueType::Text)
        refuse("the function " + c.written + " with an interval that is not a fixed text");
    const std::string interval = lower(c.v[0].literalValue);
    if (add) {
        if (!wholeNumber(c.v[1].type)) refuse("DateAdd with a number of intervals that is not a whole number");
        const std::string n = "(" + c.v[1].text + ")", d = fullDate(c.date(2));
        static const std::map<std::string, std::pair<const char*, const char*>> steps = {
            {"d", {"", " days"}},     {"y", {"", " days"}},      {"w", {"", " days"}},   {"ww", {" * 7", " days"}},
            {"h", {"", " hours"}},    {"n", {"", " minutes"}},  {"s", {"", " seconds"}}};
        if (const auto step = steps.find(interval); step != steps.end())
            return c.result(asStored("datetime(" + d + ", (" + n + step->second.first + ") || '" +
                                     step->second.second + "')"),
                            ValueType::Date);
        static const std::map<std::string, const char*> months = {{"m", ""}, {"q", " * 3"}, {"yyyy", " * 12"}};
        if (const auto m = months.find(interval); m != months.end())
            return c.result(asStored(addMonths(n + m->second, d)), ValueType::Date);
        refuse("DateAdd with the interval \"" + c.v[0].literalValue + "\"");
    }
    // Weeks counted from another day than Sunday would need the day of the
    // week Access is set to.
    if (c.args.size() == 4 && !(c.v[3].literal && c.v[3].literalValue == "1"))
        refuse("DateDiff with weeks starting on another day than Sunday");
    const std::string a = c.date(1), b = c.date(2);
    // Access counts the boundaries crossed, not whole intervals elapsed.
    const auto diff = [&](const std::function<std::string(const std::string&)>& of) {
        return "((" + of(b) + ") - (" + of(a) + "))";
    };
    const auto p = [](const char* f) { return [f](const std::string& d) { return datePart(f, d); }; };
    const auto clock = [](int withMinutes, int withSeconds) {
        return [=](const std::string& d) {
            std::string t = datePart("%H", d) + " * " + std::to_string(withSeconds ? 3600 : withMinutes ? 60 : 1);
            if (withMinutes) t += " + " + datePart("%M", d) + (withSeconds ? " * 60" : "");
            if (withSeconds) t += " + " + datePart("%S", d);
            return t;
        };
    };
    const std::string days = wholeDays(fullDate(a), fullDate(b));
    std::string text;
    if (interval == "yyyy") text = diff(p("%Y"));
    else if (interval == "q")
        text = diff([](const std::string& d) { return datePart("%Y", d) + " * 4 + (" + datePart("%m", d) + " - 1) / 3"; });
    else if (interval == "m")
        text = diff([](const std::string& d) { return datePart("%Y", d) + " * 12 + " + datePart("%m", d); });
    else if (interval == "d" || interval == "y") text = days;
    else if (interval == "w") text = "(" + days + " / 7)";
    else if (interval == "ww") text = "((" + days + " - " + datePart("%w", b) + " + " + datePart("%w", a) + ") / 7)";
    else if (interval == "h") text = "(" + days + " * 24 + " + diff(clock(0, 0)) + ")";
    else if (interval == "n") text = "(" + days + " * 1440 + " + diff(clock(1, 0)) + ")";
    else if (interval == "s") text = "(" + days + " * 86400 + " + diff(clock(1, 1)) + ")";
    else refuse("DateDiff with the interval \"" + c.v[0].literalValue + "\"");
    return c.result(text, ValueType::Integer);
}

std::optional<Sql> numberFunction(const std::string& name, const Call& c) {
    if (name == "cint" || name == "clng") {
        c.need(1, 1);
        return c.result(halfEven(c.number(0), 0), ValueType::Integer);
    }
    if (name == "round") {
        c.need(1, 2);
        int digits = 0;
        if (c.args.size() == 2) {
            const std::string& d = c.v[1].literalValue;
            if (!c.v[1].literal || c.v[1].type != ValueType::Integer || d.size() > 1)
                refuse("Round to a number of decimals that is not a constant from 0 to 9");
            digits = d[0] - '0';
        }
        const ValueType type = digits == 0 ? ValueType::Integer
                               : c.v[0].type == ValueType::Currency ? ValueType::Currency : ValueType::Real;
        return c.result(halfEven(c.number(0), digits), type);
    }
    if (name == "sgn") {
        c.need(1, 1);
        const std::string x = c.number(0);
        return c.result("(CASE WHEN " + x + " > 0 THEN 1 WHEN " + x + " < 0 THEN -1 WHEN " + x + " = 0 THEN 0 END)",
                        ValueType::Integer);
    }
    if (name == "ccur") {
        c.need(1, 1);
        return c.result(halfEven(c.number(0), 4), ValueType::Currency);
    }
    if (name == "cdbl") {
        c.need(1, 1);
        return c.result("CAST(" + c.number(0) + " AS REAL)", ValueType::Real);
    }
    if (name == "int" || name == "fix") {
        c.need(1, 1);
        const std::string x = c.number(0);
        if (name == "fix") return c.result("CAST(" + x + " AS INTEGER)", ValueType::Integer);
        return c.result("(CAST(" + x + " AS INTEGER) - (" + x + " < CAST(" + x + " AS INTEGER)))", ValueType::Integer);
    }
    if (name == "abs") {
        c.need(1, 1);
        return c.result("abs(" + c.number(0) + ")", c.v[0].type);
    }
    return std::nullopt;
}

}  // namespace

Sql ExpressionReader::aggregate(const std::string& written, const std::string& function) {
    const std::string name = lower(written);
    if (name == "count" && t_[pos_ + 1].is("*") && t_[pos_ + 2].is(")")) {
        pos_ += 3;
        const std::string arg =
            scope_.aggregateFilter.empty() ? "*" : "CASE WHEN " + scope_.aggregateFilter + " THEN 1 END";
        Sql s = make("COUNT(" + arg + ")", ValueType::Integer);
        s.aggregate = true;
        return s;
    }
    const auto args = arguments();
    if (args.size() != 1) refuse("the function " + written + " with other than one argument");
    const Sql a = valueOf(args[0]);
    if (a.aggregate) refuse("an aggregate inside an aggregate");
    if ((name == "sum" || name == "avg") && !numeric(a.type) && a.type != ValueType::Unknown)
        refuse(written + " over values that are not numbers");
    std::string arg = a.text + ((name == "min" || name == "max") ? collationFor(a.type) : "");
    if (!scope_.aggregateFilter.empty()) arg = "CASE WHEN " + scope_.aggregateFilter + " THEN " + arg + " END";
    const bool currency = a.type == ValueType::Currency;
    const ValueType type = name == "count" ? ValueType::Integer : name == "avg" && !currency ? ValueType::Real : a.type;
    Sql s = make(function + "(" + arg + ")", type);
    // The average of amounts is an amount: rounded as Currency rounds.
    if (currency && name == "avg") s.text = halfEven(s.text, 4);
    if (currency && name == "sum") s = exactCurrency(s);
    s.aggregate = true;
    return s;
}

Sql ExpressionReader::call(const std::string& written) {
    const std::string name = lower(written);
    static const std::map<std::string, std::string> aggregates = {
        {"sum", "SUM"}, {"avg", "AVG"}, {"min", "MIN"}, {"max", "MAX"}, {"count", "COUNT"}};
    if (const auto agg = aggregates.find(name); agg != aggregates.end()) return aggregate(written, agg->second);
    Call c;
    c.written = written;
    c.args = arguments();
    for (const Sql& a : c.args) c.v.push_back(valueOf(a));
    for (auto group : {logicFunction, textFunction, dateFunction, dateArithmetic, numberFunction})
        if (auto s = group(name, c)) return *s;
    refuse("the function " + written);
}

}  // namespace qb::accesssql
