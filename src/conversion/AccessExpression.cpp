// Access expressions as SQLite expressions.
//
// Precedence, loosest first: Or; And; Not; comparisons (= <> < > <= >=,
// Like, Between, In, Is); &; + -; Mod; \; * /; unary -; ^.
//
// Where Access and SQLite part ways:
// - "/" always divides as floating point; "\" and Mod only on whole numbers.
// - "&" treats Null as "" unless both sides are Null; "+" joins two texts.
// - Texts compare without regard to case: COLLATE NOCASE (ASCII letters).
// - Like patterns (*, ?, #, [a-z], [!x]) become GLOB patterns matched
//   against the lower-cased value.
// - True is -1. A comparison used as a value is negated to give -1/0.

#include "AccessExpression.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace qb::accesssql {

namespace {

[[noreturn]] void refuse(const std::string& why) { throw NotTranslated(why); }

bool equalsNoCase(const std::string& a, const std::string& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

std::string lower(const std::string& s) { return QString::fromUtf8(s).toLower().toStdString(); }

std::string quoteText(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

Sql make(std::string text, ValueType type, bool predicate = false) {
    Sql s;
    s.text = std::move(text);
    s.type = type;
    s.predicate = predicate;
    return s;
}

Sql withAggregate(Sql s, std::initializer_list<const Sql*> parts) {
    for (const Sql* p : parts) s.aggregate = s.aggregate || p->aggregate;
    return s;
}

// #m/d/y [h:mm[:ss] [AM|PM]]#, #y-m-d ...# or a time alone, as the ISO text
// the converted tables hold.
std::string isoDate(const std::string& written) {
    int a = 0, b = 0, c = 0, h = 0, mi = 0, s = 0, used = 0;
    std::string rest = written;
    bool hasDate = false;
    int year = 0, month = 0, day = 0;
    if (std::sscanf(rest.c_str(), " %d-%d-%d%n", &a, &b, &c, &used) == 3) {
        year = a, month = b, day = c, hasDate = true;
    } else if (std::sscanf(rest.c_str(), " %d/%d/%d%n", &a, &b, &c, &used) == 3) {
        month = a, day = b, year = c, hasDate = true;
        // Two-digit years as Access reads them: 00-29 this century, 30-99 the last.
        const std::string head = rest.substr(0, static_cast<std::size_t>(used));
        const std::string yearText = QString::fromStdString(head.substr(head.rfind('/') + 1)).trimmed().toStdString();
        if (yearText.size() <= 2) year += year < 30 ? 2000 : 1900;
    }
    if (hasDate) rest = rest.substr(static_cast<std::size_t>(used));
    bool hasTime = false;
    if (std::sscanf(rest.c_str(), " %d:%d%n", &h, &mi, &used) == 2) {
        hasTime = true;
        rest = rest.substr(static_cast<std::size_t>(used));
        if (std::sscanf(rest.c_str(), ":%d%n", &s, &used) == 1) rest = rest.substr(static_cast<std::size_t>(used));
        const std::string marker = lower(QString::fromStdString(rest).trimmed().toStdString());
        if (marker == "pm" && h < 12) h += 12;
        else if (marker == "am" && h == 12) h = 0;
        else if (!marker.empty() && marker != "am" && marker != "pm") refuse("the date #" + written + "#");
    } else if (!QString::fromStdString(rest).trimmed().isEmpty()) {
        refuse("the date #" + written + "#");
    }
    if ((!hasDate && !hasTime) || (hasDate && (month < 1 || month > 12 || day < 1 || day > 31 || year < 100)) ||
        h > 23 || mi > 59 || s > 59)
        refuse("the date #" + written + "#");
    char buf[64];
    if (!hasDate) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    else if (h == 0 && mi == 0 && s == 0) std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    else std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, h, mi, s);
    return buf;
}

// An Access Like pattern as a GLOB pattern over lower-cased text.
std::string globPattern(const std::string& like) {
    std::string out;
    const std::string p = lower(like);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '#') {
            out += "[0-9]";
        } else if (c == '[') {
            const auto close = p.find(']', i + 1);
            if (close == std::string::npos) refuse("the Like pattern \"" + like + "\"");
            std::string set = p.substr(i + 1, close - i - 1);
            if (!set.empty() && set[0] == '!') set[0] = '^';
            if (set.empty()) refuse("the Like pattern \"" + like + "\"");
            out += "[" + set + "]";
            i = close;
        } else {
            out += c;  // * and ? mean the same in GLOB
        }
    }
    return out;
}

bool wholeNumber(ValueType t) { return t == ValueType::Integer || t == ValueType::YesNo; }

ValueType common(ValueType a, ValueType b) {
    if (a == b) return a;
    if (numeric(a) && numeric(b)) {
        if (a == ValueType::Real || b == ValueType::Real) return ValueType::Real;
        return (a == ValueType::Currency || b == ValueType::Currency) ? ValueType::Currency : ValueType::Integer;
    }
    return ValueType::Unknown;
}

// Dates kept as a time alone belong to 1899-12-30.
std::string fullDate(const std::string& d) {
    return "(CASE WHEN length(" + d + ") = 8 THEN '1899-12-30 ' || " + d + " ELSE " + d + " END)";
}

std::string datePart(const std::string& format, const std::string& d) {
    return "CAST(strftime('" + format + "', " + fullDate(d) + ") AS INTEGER)";
}

// Half to even at four decimals, as Currency rounds.
std::string currencyRound(const std::string& x) {
    const std::string v = "((" + x + ") * 10000.0)";
    const std::string t = "CAST(" + v + " AS INTEGER)";
    const std::string f = "(" + v + " - " + t + ")";
    return "((CASE WHEN " + f + " > 0.5 THEN " + t + " + 1 WHEN " + f + " < -0.5 THEN " + t + " - 1 WHEN " + f +
           " = 0.5 THEN " + t + " + (" + t + " % 2) WHEN " + f + " = -0.5 THEN " + t + " - (" + t +
           " % 2 <> 0) ELSE " + t + " END) / 10000.0)";
}

// Sums and products of amounts are exact in Access; in doubles they are
// off in the last bits, which rounding to four decimals takes away (no
// half can arise there, so SQLite's round() is exact for it).
Sql exactCurrency(Sql e) {
    if (e.type == ValueType::Currency) e.text = "round(" + e.text + ", 4)";
    return e;
}

void needNumber(const Sql& e, const char* what) {
    if (!numeric(e.type) && e.type != ValueType::Unknown)
        refuse(std::string(what) + " on a value that is not a number");
}

}  // namespace

thread_local int Nesting::depth_ = 0;

Nesting::Nesting() {
    if (++depth_ > 200) {
        --depth_;
        refuse("expressions nested too deeply");
    }
}

bool Token::is(const char* word) const {
    return (kind == Op || (kind == Name && !bracketed)) && equalsNoCase(text, word);
}

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto push = [&](Token::Kind k, std::string text, bool bracketed = false) {
        Token t;
        t.kind = k;
        t.text = std::move(text);
        t.bracketed = bracketed;
        out.push_back(std::move(t));
    };
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c) || c == 0) {
            ++i;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            std::size_t j = i;
            while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
            if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                ++j;
                if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
            }
            push(Token::Number, s.substr(i, j - i));
            i = j;
        } else if (c == '"' || c == '\'') {
            std::string text;
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= s.size()) refuse("an unterminated text");
                if (s[j] == static_cast<char>(c)) {
                    if (j + 1 < s.size() && s[j + 1] == static_cast<char>(c)) {
                        text += s[j++];
                        continue;
                    }
                    break;
                }
                text += s[j];
            }
            push(Token::String, text);
            i = j + 1;
        } else if (c == '#') {
            const auto end = s.find('#', i + 1);
            if (end == std::string::npos) refuse("an unterminated date");
            push(Token::Date, s.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '[') {
            const auto end = s.find(']', i + 1);
            if (end == std::string::npos) refuse("an unterminated [name]");
            push(Token::Name, s.substr(i + 1, end - i - 1), true);
            i = end + 1;
        } else if (std::isalpha(c) || c == '_' || c >= 0x80) {
            std::size_t j = i;
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' ||
                                    static_cast<unsigned char>(s[j]) >= 0x80))
                ++j;
            push(Token::Name, s.substr(i, j - i));
            i = j;
        } else {
            static const char* const two[] = {"<>", "<=", ">="};
            std::string op(1, static_cast<char>(c));
            for (const char* t : two)
                if (s.compare(i, 2, t) == 0) op = t;
            if (std::string("+-*/\\^&=<>(),.!;").find(static_cast<char>(c)) == std::string::npos)
                refuse(std::isprint(c) ? std::string("the character '") + static_cast<char>(c) + "'"
                                       : "the character " + std::to_string(c));
            push(Token::Op, op);
            i += op.size();
        }
    }
    push(Token::End, "");
    return out;
}

bool numeric(ValueType t) {
    return t == ValueType::Integer || t == ValueType::Real || t == ValueType::Currency || t == ValueType::YesNo;
}

std::string collationFor(ValueType type) { return type == ValueType::Text ? " COLLATE NOCASE" : ""; }

std::string predicateOf(const Sql& e) {
    if (e.predicate) return e.text;
    if (e.type == ValueType::Text || e.type == ValueType::Date) refuse("a text or date used as True or False");
    return "((" + e.text + ") <> 0)";
}

Sql valueOf(const Sql& e) {
    if (!e.predicate) return e;
    Sql v = e;
    v.text = "(-(" + e.text + "))";
    v.type = ValueType::YesNo;
    v.predicate = false;
    return v;
}

bool ExpressionReader::accept(const char* word) {
    if (!peek().is(word)) return false;
    take();
    return true;
}

void ExpressionReader::expect(const char* word) {
    if (!accept(word)) refuse(std::string("an expression it cannot read (expected ") + word + ")");
}

Sql ExpressionReader::readAll() {
    Sql e = orExpr();
    if (peek().kind != Token::End) refuse("an expression it cannot read (at '" + peek().text + "')");
    return e;
}

Sql ExpressionReader::readColumn(std::optional<std::string>& alias) {
    Sql e = orExpr();
    if (accept("AS")) {
        const Token& name = take();
        if (name.kind != Token::Name) refuse("a column alias it cannot read");
        alias = name.text;
    }
    if (peek().kind != Token::End) refuse("an expression it cannot read (at '" + peek().text + "')");
    return e;
}

Sql ExpressionReader::orExpr() {
    Sql left = andExpr();
    while (true) {
        if (peek().is("Xor") || peek().is("Eqv") || peek().is("Imp")) refuse("the operator " + peek().text);
        if (!accept("Or")) return left;
        Sql right = andExpr();
        left = withAggregate(make("(" + predicateOf(left) + " OR " + predicateOf(right) + ")", ValueType::YesNo, true),
                             {&left, &right});
    }
}

Sql ExpressionReader::andExpr() {
    Sql left = notExpr();
    while (accept("And")) {
        Sql right = notExpr();
        left = withAggregate(make("(" + predicateOf(left) + " AND " + predicateOf(right) + ")", ValueType::YesNo, true),
                             {&left, &right});
    }
    return left;
}

Sql ExpressionReader::notExpr() {
    if (!accept("Not")) return comparison();
    const Nesting nesting;
    Sql e = notExpr();
    if (e.predicate) return withAggregate(make("(NOT " + e.text + ")", ValueType::YesNo, true), {&e});
    // Not works on the bits of a whole number: Not -1 is 0, Not 0 is -1.
    if (!wholeNumber(e.type)) refuse("Not on a value that is not a whole number or Yes/No");
    return withAggregate(make("(~(" + e.text + "))", e.type), {&e});
}

Sql ExpressionReader::comparison() {
    Sql left = concat();
    while (true) {
        static const char* const ops[] = {"=", "<>", "<", ">", "<=", ">="};
        const Token& t = peek();
        const char* op = nullptr;
        for (const char* o : ops)
            if (t.kind == Token::Op && t.text == o) op = o;
        if (op) {
            take();
            Sql right = valueOf(concat());
            Sql l = valueOf(left);
            const bool textual = l.type == ValueType::Text || right.type == ValueType::Text;
            if ((l.type == ValueType::Date) != (right.type == ValueType::Date) && l.type != ValueType::Unknown &&
                right.type != ValueType::Unknown)
                refuse("a date compared with something that is not a date");
            if (textual && ((numeric(l.type)) || numeric(right.type)))
                refuse("a text compared with a number");
            left = withAggregate(make("(" + l.text + " " + op + " " + right.text + (textual ? " COLLATE NOCASE" : "") + ")",
                                      ValueType::YesNo, true),
                                 {&l, &right});
            continue;
        }
        const bool negated = t.is("Not") && (t_[pos_ + 1].is("Like") || t_[pos_ + 1].is("Between") || t_[pos_ + 1].is("In"));
        if (negated) take();
        Sql result;
        if (accept("Like")) result = likeOf(valueOf(left));
        else if (accept("Between")) result = betweenOf(valueOf(left));
        else if (accept("In")) result = inOf(valueOf(left));
        else if (!negated && accept("Is")) {
            const bool isNot = accept("Not");
            expect("Null");
            left = withAggregate(make("(" + valueOf(left).text + (isNot ? " IS NOT NULL)" : " IS NULL)"), ValueType::YesNo, true),
                                 {&left});
            continue;
        } else {
            if (negated) refuse("an expression it cannot read (at 'Not')");
            return left;
        }
        if (negated) result.text = "(NOT " + result.text + ")";
        left = result;
    }
}

Sql ExpressionReader::likeOf(const Sql& left) {
    const Token& p = take();
    if (p.kind != Token::String) refuse("Like with a pattern that is not a fixed text");
    if (left.type != ValueType::Text && left.type != ValueType::Unknown) refuse("Like on a value that is not a text");
    return withAggregate(make("(lower(" + left.text + ") GLOB " + quoteText(globPattern(p.text)) + ")", ValueType::YesNo, true),
                         {&left});
}

Sql ExpressionReader::betweenOf(const Sql& left) {
    const Sql low = valueOf(concat());
    expect("And");
    const Sql high = valueOf(concat());
    // Only bounds known to be in order: reversed bounds are a question of
    // what Access does with them, not a question to guess.
    if (!low.literal || !high.literal || low.type != high.type) refuse("Between with bounds that are not constants");
    const bool inOrder = numeric(low.type) ? std::stod(low.literalValue) <= std::stod(high.literalValue)
                                           : lower(low.literalValue) <= lower(high.literalValue);
    if (!inOrder) refuse("Between with its bounds in descending order");
    if ((left.type == ValueType::Date) != (low.type == ValueType::Date) && left.type != ValueType::Unknown)
        refuse("Between on a value of another type than its bounds");
    return withAggregate(make("(" + left.text + collationFor(left.type) + " BETWEEN " + low.text + " AND " + high.text + ")",
                              ValueType::YesNo, true),
                         {&left});
}

Sql ExpressionReader::inOf(const Sql& left) {
    expect("(");
    if (peek().is("SELECT")) {
        const Sql sub = subqueryAt();
        if ((sub.type == ValueType::Text && numeric(left.type)) || (left.type == ValueType::Text && numeric(sub.type)))
            refuse("In with a text and a number");
        Sql result = withAggregate(make("(" + left.text + collationFor(left.type) + " IN " + sub.text + ")", ValueType::YesNo, true), {&left});
        return result;
    }
    std::string list;
    Sql result = left;
    do {
        const Sql item = valueOf(orExpr());
        if ((item.type == ValueType::Text && numeric(left.type)) || (left.type == ValueType::Text && numeric(item.type)))
            refuse("In with a text and a number");
        list += (list.empty() ? "" : ", ") + item.text;
        result = withAggregate(result, {&item});
    } while (accept(","));
    expect(")");
    result.text = "(" + left.text + collationFor(left.type) + " IN (" + list + "))";
    result.type = ValueType::YesNo;
    result.predicate = true;
    result.literal = false;
    return result;
}

Sql ExpressionReader::concat() {
    Sql left = additive();
    while (accept("&")) {
        Sql right = additive();
        auto piece = [](const Sql& e) {
            const Sql v = valueOf(e);
            if (v.type == ValueType::Date || v.type == ValueType::YesNo)
                refuse("& on a date or Yes/No value, which Access writes in the regional format");
            if (v.type == ValueType::Text) return "COALESCE(" + v.text + ", '')";
            return "COALESCE(CAST(" + v.text + " AS TEXT), '')";
        };
        const Sql l = valueOf(left), r = valueOf(right);
        std::string text = "(" + piece(l) + " || " + piece(r) + ")";
        // Null & Null stays Null.
        if (!l.literal && !r.literal)
            text = "(CASE WHEN " + l.text + " IS NULL AND " + r.text + " IS NULL THEN NULL ELSE " + text + " END)";
        left = withAggregate(make(text, ValueType::Text), {&l, &r});
    }
    return left;
}

Sql ExpressionReader::additive() {
    Sql left = modulo();
    while (peek().kind == Token::Op && (peek().text == "+" || peek().text == "-")) {
        const std::string op = take().text;
        const Sql l = valueOf(left), r = valueOf(modulo());
        if (op == "+" && l.type == ValueType::Text && r.type == ValueType::Text) {
            left = withAggregate(make("(" + l.text + " || " + r.text + ")", ValueType::Text), {&l, &r});
            continue;
        }
        if (!numeric(l.type) || !numeric(r.type)) {
            if (l.type == ValueType::Date || r.type == ValueType::Date) refuse("arithmetic on dates");
            if (l.type == ValueType::Text || r.type == ValueType::Text || l.type != r.type)
                refuse("'" + op + "' on values that are not both numbers");
        }
        left = withAggregate(exactCurrency(make("(" + l.text + " " + op + " " + r.text + ")", common(l.type, r.type))),
                             {&l, &r});
    }
    return left;
}

Sql ExpressionReader::modulo() {
    Sql left = intDivision();
    while (accept("Mod")) {
        const Sql l = valueOf(left), r = valueOf(intDivision());
        if (!wholeNumber(l.type) || !wholeNumber(r.type)) refuse("Mod on values that are not whole numbers");
        left = withAggregate(make("(" + l.text + " % " + r.text + ")", ValueType::Integer), {&l, &r});
    }
    return left;
}

Sql ExpressionReader::intDivision() {
    Sql left = multiplicative();
    while (accept("\\")) {
        const Sql l = valueOf(left), r = valueOf(multiplicative());
        if (!wholeNumber(l.type) || !wholeNumber(r.type)) refuse("\\ on values that are not whole numbers");
        left = withAggregate(make("(" + l.text + " / " + r.text + ")", ValueType::Integer), {&l, &r});
    }
    return left;
}

Sql ExpressionReader::multiplicative() {
    Sql left = unary();
    while (peek().kind == Token::Op && (peek().text == "*" || peek().text == "/")) {
        const std::string op = take().text;
        const Sql l = valueOf(left), r = valueOf(unary());
        needNumber(l, op.c_str());
        needNumber(r, op.c_str());
        if (op == "*")
            left = withAggregate(exactCurrency(make("(" + l.text + " * " + r.text + ")", common(l.type, r.type))), {&l, &r});
        else
            left = withAggregate(make("(CAST(" + l.text + " AS REAL) / " + r.text + ")", ValueType::Real), {&l, &r});
    }
    return left;
}

Sql ExpressionReader::unary() {
    if (peek().kind == Token::Op && (peek().text == "-" || peek().text == "+")) {
        const Nesting nesting;
        const std::string op = take().text;
        Sql e = valueOf(unary());
        needNumber(e, "a sign");
        if (op == "-") {
            e.text = "(-" + e.text + ")";
            if (e.literal) e.literalValue = "-" + e.literalValue;
        }
        return e;
    }
    return power();
}

Sql ExpressionReader::power() {
    Sql left = primary();
    while (accept("^")) {
        const Token& exponent = take();
        // SQLite has no power function everywhere; small whole powers are products.
        if (exponent.kind != Token::Number || (exponent.text != "2" && exponent.text != "3")) refuse("^ other than ^2 or ^3");
        const Sql l = valueOf(left);
        needNumber(l, "^");
        std::string text = "(CAST(" + l.text + " AS REAL) * " + l.text + (exponent.text == "3" ? " * " + l.text : "") + ")";
        left = withAggregate(make(text, ValueType::Real), {&l});
    }
    return left;
}

Sql ExpressionReader::primary() {
    const Nesting nesting;
    const Token t = take();
    switch (t.kind) {
    case Token::Number: {
        Sql s = make(t.text, t.text.find_first_of(".eE") == std::string::npos ? ValueType::Integer : ValueType::Real);
        s.literal = true;
        s.literalValue = t.text;
        return s;
    }
    case Token::String: {
        Sql s = make(quoteText(t.text), ValueType::Text);
        s.literal = true;
        s.literalValue = t.text;
        return s;
    }
    case Token::Date: {
        const std::string iso = isoDate(t.text);
        Sql s = make(quoteText(iso), ValueType::Date);
        s.literal = true;
        s.literalValue = iso;
        return s;
    }
    case Token::Op:
        if (t.text == "(") {
            if (peek().is("SELECT")) return subqueryAt();
            Sql e = orExpr();
            expect(")");
            e.text = "(" + e.text + ")";
            return e;
        }
        refuse("an expression it cannot read (at '" + t.text + "')");
    case Token::Name:
        if (!t.bracketed) {
            if (t.is("True") || t.is("Yes") || t.is("On") || t.is("False") || t.is("No") || t.is("Off")) {
                const bool yes = t.is("True") || t.is("Yes") || t.is("On");
                Sql s = make(yes ? "-1" : "0", ValueType::YesNo);
                s.literal = true;
                s.literalValue = s.text;
                return s;
            }
            if (t.is("Null")) return make("NULL", ValueType::Unknown);
            if (t.is("Exists") && peek().is("(") && t_[pos_ + 1].is("SELECT")) {
                take();
                const Sql sub = subqueryAt();
                return make("(EXISTS " + sub.text + ")", ValueType::YesNo, true);
            }
            if (peek().is("(")) return call(t.text);
        }
        return reference(t);
    case Token::End: break;
    }
    refuse("an incomplete expression");
}

Sql ExpressionReader::reference(const Token& first) {
    std::vector<std::string> parts{first.text};
    bool bang = false;
    while (peek().is(".") || peek().is("!")) {
        bang = bang || peek().text == "!";
        take();
        const Token& n = take();
        if (n.kind == Token::Op && n.text == "*") refuse("a * inside an expression");
        if (n.kind != Token::Name) refuse("a name it cannot read");
        parts.push_back(n.text);
    }
    if (equalsNoCase(parts[0], "Forms") || equalsNoCase(parts[0], "Reports"))
        refuse("a form reference such as [" + parts[0] + "]!...");
    if (bang || parts.size() > 2) refuse("the reference " + parts[0] + "!...");
    const std::string column = parts.back();
    const ScopeSource* found = nullptr;
    const RelationColumn* foundColumn = nullptr;
    // The innermost query that has the name decides, as in SQL.
    for (const Scope* scope = &scope_; scope && !found; scope = scope->outer) {
        for (const ScopeSource& s : scope->sources) {
            if (parts.size() == 2 && !equalsNoCase(s.key, parts[0])) continue;
            for (const RelationColumn& c : s.relation->columns) {
                if (!equalsNoCase(c.name, column)) continue;
                if (found) refuse("the column [" + column + "], which more than one table has");
                found = &s;
                foundColumn = &c;
            }
        }
    }
    if (!found) {
        for (const ScopeSource& s : scope_.sources)
            for (const std::string& absent : s.relation->leftOut)
                if (equalsNoCase(absent, column) && (parts.size() == 1 || equalsNoCase(s.key, parts[0])))
                    refuse("the OLE Object field [" + column + "], which the tables leave out without --blobs");
        if (parts.size() == 1 && scope_.alias)
            if (auto aliased = scope_.alias(column)) return *aliased;
        refuse("the parameter [" + (parts.size() == 2 ? parts[0] + "].[" : std::string()) + column + "]");
    }
    std::string text = quotedIdentifier(found->key) + "." + quotedIdentifier(foundColumn->name);
    if (foundColumn->single) text = singleValue(text);
    Sql s = make(text, foundColumn->type);
    s.columnName = foundColumn->name;
    s.sourceKey = found->key;
    used_.insert(found->key);
    return s;
}

Sql ExpressionReader::subqueryAt() {
    if (!scope_.subquery) refuse("a subquery");
    std::vector<Token> inner;
    int depth = 0;
    while (peek().kind != Token::End && !(depth == 0 && peek().is(")"))) {
        if (peek().is("(")) ++depth;
        if (peek().is(")")) --depth;
        inner.push_back(take());
    }
    expect(")");
    inner.push_back(Token{});
    return scope_.subquery(inner);
}

std::vector<Sql> ExpressionReader::arguments() {
    std::vector<Sql> out;
    expect("(");
    if (accept(")")) return out;
    do out.push_back(orExpr());
    while (accept(","));
    expect(")");
    return out;
}

Sql ExpressionReader::call(const std::string& written) {
    const std::string name = lower(written);
    static const std::map<std::string, std::string> aggregates = {
        {"sum", "SUM"}, {"avg", "AVG"}, {"min", "MIN"}, {"max", "MAX"}, {"count", "COUNT"}};
    if (const auto agg = aggregates.find(name); agg != aggregates.end()) {
        if (name == "count" && t_[pos_ + 1].is("*") && t_[pos_ + 2].is(")")) {
            pos_ += 3;
            const std::string arg = scope_.aggregateFilter.empty() ? "*" : "CASE WHEN " + scope_.aggregateFilter + " THEN 1 END";
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
        Sql s = make(agg->second + "(" + arg + ")", type);
        // The average of amounts is an amount: rounded as Currency rounds.
        if (currency && name == "avg") s.text = currencyRound(s.text);
        if (currency && name == "sum") s = exactCurrency(s);
        s.aggregate = true;
        return s;
    }
    const auto args = arguments();
    auto need = [&](std::size_t low, std::size_t high) {
        if (args.size() < low || args.size() > high) refuse("the function " + written + " with " + std::to_string(args.size()) + " arguments");
    };
    std::vector<Sql> v;
    for (const Sql& a : args) v.push_back(valueOf(a));
    auto result = [&](std::string text, ValueType type) {
        Sql s = make(std::move(text), type);
        for (const Sql& a : v) s.aggregate = s.aggregate || a.aggregate;
        return s;
    };
    auto textArg = [&](std::size_t i) {
        if (v[i].type == ValueType::Text || v[i].type == ValueType::Unknown) return v[i].text;
        if (v[i].type == ValueType::Integer) return "CAST(" + v[i].text + " AS TEXT)";
        refuse("the function " + written + " on a value that is not a text");
    };
    auto numberArg = [&](std::size_t i) {
        needNumber(v[i], written.c_str());
        return v[i].text;
    };
    auto dateArg = [&](std::size_t i) {
        if (v[i].type != ValueType::Date) refuse("the function " + written + " on a value that is not a date");
        return v[i].text;
    };
    if (name == "iif") {
        need(3, 3);
        return result("(CASE WHEN " + predicateOf(args[0]) + " THEN " + v[1].text + " ELSE " + v[2].text + " END)",
                      common(v[1].type, v[2].type));
    }
    if (name == "nz") {
        need(1, 2);
        if (args.size() == 2) return result("COALESCE(" + v[0].text + ", " + v[1].text + ")", common(v[0].type, v[1].type));
        if (v[0].type == ValueType::Text) return result("COALESCE(" + v[0].text + ", '')", ValueType::Text);
        if (numeric(v[0].type)) return result("COALESCE(" + v[0].text + ", 0)", v[0].type);
        refuse("Nz without a default on a value of unknown type");
    }
    if (name == "left" || name == "right") {
        need(2, 2);
        const std::string s = textArg(0), n = numberArg(1);
        if (name == "left") return result("substr(" + s + ", 1, " + n + ")", ValueType::Text);
        return result("substr(" + s + ", max(length(" + s + ") - (" + n + ") + 1, 1))", ValueType::Text);
    }
    if (name == "mid") {
        need(2, 3);
        return result("substr(" + textArg(0) + ", " + numberArg(1) + (args.size() == 3 ? ", " + numberArg(2) : "") + ")",
                      ValueType::Text);
    }
    if (name == "len") {
        need(1, 1);
        return result("length(" + textArg(0) + ")", ValueType::Integer);
    }
    if (name == "trim" || name == "ltrim" || name == "rtrim") {
        need(1, 1);
        return result(name + "(" + textArg(0) + ", ' ')", ValueType::Text);
    }
    if (name == "year" || name == "month" || name == "day") {
        need(1, 1);
        return result(datePart(name == "year" ? "%Y" : name == "month" ? "%m" : "%d", dateArg(0)), ValueType::Integer);
    }
    if (name == "datepart") {
        need(2, 4);
        if (!v[0].literal || v[0].type != ValueType::Text) refuse("DatePart with an interval that is not a fixed text");
        const std::string interval = lower(v[0].literalValue);
        const std::string d = dateArg(1);
        if (interval == "yyyy") return result(datePart("%Y", d), ValueType::Integer);
        if (interval == "m") return result(datePart("%m", d), ValueType::Integer);
        if (interval == "d") return result(datePart("%d", d), ValueType::Integer);
        if (interval == "q") return result("((" + datePart("%m", d) + " + 2) / 3)", ValueType::Integer);
        refuse("DatePart with the interval \"" + v[0].literalValue + "\"");
    }
    if (name == "ccur") {
        need(1, 1);
        return result(currencyRound(numberArg(0)), ValueType::Currency);
    }
    if (name == "cdbl") {
        need(1, 1);
        return result("CAST(" + numberArg(0) + " AS REAL)", ValueType::Real);
    }
    if (name == "int" || name == "fix") {
        need(1, 1);
        const std::string x = numberArg(0);
        if (name == "fix") return result("CAST(" + x + " AS INTEGER)", ValueType::Integer);
        return result("(CAST(" + x + " AS INTEGER) - (" + x + " < CAST(" + x + " AS INTEGER)))", ValueType::Integer);
    }
    if (name == "abs") {
        need(1, 1);
        return result("abs(" + numberArg(0) + ")", v[0].type);
    }
    refuse("the function " + written);
}

}  // namespace qb::accesssql
