#pragma once
// A saved query's SELECT as its parts: from MSysQueries rows, or read from
// SQL text (the parts of a union, subqueries). The expressions stay tokens
// until the SELECT is written.

#include "AccessExpression.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qb::accesssql {

using Tokens = std::vector<Token>;

struct FromNode {
    std::string table, alias;
    std::unique_ptr<FromNode> left, right;
    int join = 0;  // 1 inner, 2 left, 3 right
    std::vector<Tokens> on;
    std::string key() const { return alias.empty() ? table : alias; }
    bool contains(const std::string& name) const {
        return left ? left->contains(name) || right->contains(name) : equalsNoCase(key(), name);
    }
};

struct ColumnSpec {
    Tokens expr;
    std::optional<std::string> alias;
};

struct SelectSpec {
    bool distinct = false, distinctRow = false, percent = false;
    std::optional<std::string> top;
    std::vector<ColumnSpec> columns;
    std::vector<std::unique_ptr<FromNode>> from;
    Tokens where = tokenize(""), having = tokenize("");
    std::vector<Tokens> groupBy;
    std::vector<std::pair<Tokens, bool>> orderBy;  // expression, descending
};

// The SELECT of a select, crosstab or action query's rows; with
// `columnFlag` >= 0 only the column and GROUP BY rows with that flag.
SelectSpec specOfRows(const SavedQuery& q, int columnFlag);

// Reads SELECT statements, UNION and ORDER BY from tokens.
class TextReader {
public:
    explicit TextReader(Tokens t) : t_(std::move(t)) {}
    // SELECT ... up to UNION, ORDER BY of the whole, or the end.
    SelectSpec select();
    std::vector<std::pair<Tokens, bool>> orderBy();
    bool accept(const char* w);
    bool atEnd();

private:
    const Token& take() { return pos_ + 1 < t_.size() ? t_[pos_++] : t_[pos_]; }
    void expectWord(const char* w);
    bool stopsAt(const std::vector<const char*>& stops) const;
    Tokens until(const std::vector<const char*>& stops, bool atComma = false);
    std::vector<Tokens> list(const std::vector<const char*>& stops);
    std::unique_ptr<FromNode> tableRef();
    std::unique_ptr<FromNode> joinChain();

    Tokens t_;
    std::size_t pos_ = 0;
};

}  // namespace qb::accesssql
