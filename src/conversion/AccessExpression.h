#pragma once
// Access SQL expressions read token by token and written as SQLite
// expressions with Access's meaning (see ViewTranslation.h).

#include "ViewTranslation.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qb::accesssql {

struct Token {
    enum Kind { End, Number, String, Date, Name, Op } kind = End;
    std::string text;      // names without brackets; strings without quotes; dates as written
    bool bracketed = false;
    bool is(const char* word) const;  // a bare name or operator, any case
};

// Counts how deep the reading has gone into parentheses, signs, Not and
// subqueries: text from a damaged file must not exhaust the stack.
class Nesting {
public:
    Nesting();
    ~Nesting() { --depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

private:
    static thread_local int depth_;
};

// Throws NotTranslated for text it cannot read.
std::vector<Token> tokenize(const std::string& text);

// A translated expression.
struct Sql {
    std::string text;
    ValueType type = ValueType::Unknown;
    bool predicate = false;  // SQLite's 1/0 truth rather than a value
    bool aggregate = false;
    bool literal = false;
    std::string literalValue;  // strings: the text; numbers and dates: their SQL
    std::string columnName;    // a plain column reference: the column's name
    std::string sourceKey;     // ... and the source it comes from
};

// One source of a FROM list, by the name the query uses for it.
struct ScopeSource {
    std::string key;
    const Relation* relation = nullptr;
};

struct Scope {
    std::vector<ScopeSource> sources;
    // Output columns by alias, for references to them in the same query.
    std::function<std::optional<Sql>(const std::string&)> alias;
    // Set while translating a crosstab's value: the condition each
    // aggregate's rows must meet.
    std::string aggregateFilter;
    // The query around a subquery: names not found here are looked up there.
    const Scope* outer = nullptr;
    // Translates a subquery's tokens (SELECT ..., ended by an End token)
    // into "(SELECT ...)" of one column.
    std::function<Sql(const std::vector<Token>&)> subquery;
};

class ExpressionReader {
public:
    ExpressionReader(const std::vector<Token>& tokens, const Scope& scope) : t_(tokens), scope_(scope) {}
    Sql readAll();  // the whole token list as one expression
    // A select column: the expression and the alias after AS, if any.
    Sql readColumn(std::optional<std::string>& alias);
    // The keys of the sources the expression's column references use.
    const std::set<std::string>& used() const { return used_; }

private:
    Sql orExpr();
    Sql andExpr();
    Sql notExpr();
    Sql comparison();
    Sql concat();
    Sql additive();
    Sql modulo();
    Sql intDivision();
    Sql multiplicative();
    Sql unary();
    Sql power();
    Sql primary();
    Sql reference(const Token& first);
    Sql call(const std::string& name);
    Sql aggregate(const std::string& written, const std::string& function);
    Sql likeOf(const Sql& left);
    Sql betweenOf(const Sql& left);
    Sql inOf(const Sql& left);
    std::vector<Sql> arguments();
    Sql subqueryAt();  // after "(", at SELECT; consumes the closing ")"

    const Token& peek() const { return t_[pos_]; }
    const Token& take() { return pos_ + 1 < t_.size() ? t_[pos_++] : t_[pos_]; }
    bool accept(const char* word);
    void expect(const char* word);

    const std::vector<Token>& t_;
    const Scope& scope_;
    std::size_t pos_ = 0;
    std::set<std::string> used_;
};

// Shared by the reader's files.
[[noreturn]] void refuse(const std::string& why);
bool equalsNoCase(const std::string& a, const std::string& b);
std::string lower(const std::string& s);
std::string quoteText(const std::string& s);
Sql make(std::string text, ValueType type, bool predicate = false);
Sql withAggregate(Sql s, std::initializer_list<const Sql*> parts);
bool wholeNumber(ValueType t);
ValueType common(ValueType a, ValueType b);
Sql exactCurrency(Sql e);
void needNumber(const Sql& e, const char* what);
// #m/d/y [h:mm[:ss] [AM|PM]]# and the like as the ISO text the tables hold.
std::string isoDate(const std::string& written);
// An Access Like pattern as a GLOB pattern over lower-cased text.
std::string globPattern(const std::string& like);

// A value as SQLite's truth, and a truth as Access's -1/0 value.
std::string predicateOf(const Sql& e);
Sql valueOf(const Sql& e);
// " COLLATE NOCASE" for texts, so they compare and sort as in Access.
std::string collationFor(ValueType type);
bool numeric(ValueType type);

}  // namespace qb::accesssql
