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

void refuse(const std::string& why) { throw NotTranslated(why); }

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

Sql make(std::string text, ValueType type, bool predicate) {
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

bool wholeNumber(ValueType t) { return t == ValueType::Integer || t == ValueType::YesNo; }

ValueType common(ValueType a, ValueType b) {
    if (a == b) return a;
    if (numeric(a) && numeric(b)) {
        if (a == ValueType::Real || b == ValueType::Real) return ValueType::Real;
        return (a == ValueType::Currency || b == ValueType::Currency) ? ValueType::Currency : ValueType::Integer;
    }
    return ValueType::Unknown;
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
            left = withAggregate(
                make("(" + l.text + " " + op + " " + right.text + (textual ? " COLLATE NOCASE" : "") + ")",
                     ValueType::YesNo, true),
                {&l, &right});
            continue;
        }
        const bool negated =
            t.is("Not") && (t_[pos_ + 1].is("Like") || t_[pos_ + 1].is("Between") || t_[pos_ + 1].is("In"));
        if (negated) take();
        Sql result;
        if (accept("Like")) result = likeOf(valueOf(left));
        else if (accept("Between")) result = betweenOf(valueOf(left));
        else if (accept("In")) result = inOf(valueOf(left));
        else if (!negated && accept("Is")) {
            const bool isNot = accept("Not");
            expect("Null");
            left = withAggregate(
                make("(" + valueOf(left).text + (isNot ? " IS NOT NULL)" : " IS NULL)"), ValueType::YesNo, true),
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
    return withAggregate(
        make("(lower(" + left.text + ") GLOB " + quoteText(globPattern(p.text)) + ")", ValueType::YesNo, true),
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
    return withAggregate(
        make("(" + left.text + collationFor(left.type) + " BETWEEN " + low.text + " AND " + high.text + ")",
             ValueType::YesNo, true),
        {&left});
}

Sql ExpressionReader::inOf(const Sql& left) {
    expect("(");
    if (peek().is("SELECT")) {
        const Sql sub = subqueryAt();
        if ((sub.type == ValueType::Text && numeric(left.type)) || (left.type == ValueType::Text && numeric(sub.type)))
            refuse("In with a text and a number");
        Sql result = withAggregate(
            make("(" + left.text + collationFor(left.type) + " IN " + sub.text + ")", ValueType::YesNo, true), {&left});
        return result;
    }
    std::string list;
    Sql result = left;
    do {
        const Sql item = valueOf(orExpr());
        if ((item.type == ValueType::Text && numeric(left.type)) ||
            (left.type == ValueType::Text && numeric(item.type)))
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
            left = withAggregate(exactCurrency(make("(" + l.text + " * " + r.text + ")", common(l.type, r.type))),
                                 {&l, &r});
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
        if (exponent.kind != Token::Number || (exponent.text != "2" && exponent.text != "3"))
            refuse("^ other than ^2 or ^3");
        const Sql l = valueOf(left);
        needNumber(l, "^");
        std::string text =
            "(CAST(" + l.text + " AS REAL) * " + l.text + (exponent.text == "3" ? " * " + l.text : "") + ")";
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

}  // namespace qb::accesssql
