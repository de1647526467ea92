// A saved query's SELECT as its parts (see SelectSpec.h).

#include "SelectSpec.h"

#include <algorithm>

namespace qb::accesssql {

namespace {

// --- From MSysQueries rows ---------------------------------------------------

std::vector<std::unique_ptr<FromNode>> fromRows(const SavedQuery& q) {
    std::vector<std::unique_ptr<FromNode>> out;
    for (const QueryRow* r : q.rowsOf(queryattr::Table)) {
        if (r->expression) refuse("a table of another database");
        auto n = std::make_unique<FromNode>();
        n->table = r->name1.value_or("");
        n->alias = r->name2.value_or("");
        out.push_back(std::move(n));
    }
    const auto joins = q.rowsOf(queryattr::Join);
    if (joins.size() > 256) refuse("more joins than Access allows");
    for (const QueryRow* r : joins) {
        const std::string from = r->name1.value_or(""), to = r->name2.value_or("");
        const int type = r->flag.value_or(0);
        if (type < 1 || type > 3) refuse("a join of an unknown kind");
        const Tokens on = tokenize(r->expression.value_or(""));
        const auto both =
            std::find_if(out.begin(), out.end(), [&](const auto& s) { return s->contains(from) && s->contains(to); });
        if (both != out.end()) {
            if (!(*both)->left || (*both)->join != type) refuse("joins Access itself would refuse");
            (*both)->on.push_back(on);
            continue;
        }
        auto take = [&](const std::string& name) -> std::unique_ptr<FromNode> {
            for (auto it = out.begin(); it != out.end(); ++it)
                if ((*it)->contains(name)) {
                    auto n = std::move(*it);
                    out.erase(it);
                    return n;
                }
            refuse("a join of " + name + ", which the query does not list");
        };
        auto joined = std::make_unique<FromNode>();
        joined->left = take(from);
        joined->right = take(to);
        joined->join = type;
        joined->on.push_back(on);
        out.push_back(std::move(joined));
    }
    return out;
}

ColumnSpec columnOf(const QueryRow& r) { return {tokenize(r.expression.value_or("")), r.name1}; }

}  // namespace

SelectSpec specOfRows(const SavedQuery& q, int columnFlag) {
    SelectSpec s;
    if (q.rowOf(queryattr::RemoteDb)) refuse("a table of another database");
    const QueryRow* flags = q.rowOf(queryattr::Flags);
    const int f = flags && flags->flag ? *flags->flag : 0;
    s.distinct = f & 0x02;
    s.distinctRow = f & 0x08;
    if (f & 0x10) s.top = flags->name1.value_or("");
    s.percent = f & 0x20;
    for (const QueryRow* r : q.rowsOf(queryattr::Column))
        if (columnFlag < 0 || (r->flag.value_or(0) & columnFlag)) s.columns.push_back(columnOf(*r));
    if (f & 0x01) s.columns.push_back({tokenize("*"), std::nullopt});
    s.from = fromRows(q);
    if (const QueryRow* w = q.rowOf(queryattr::Where); w && w->expression) s.where = tokenize(*w->expression);
    if (const QueryRow* h = q.rowOf(queryattr::Having); h && h->expression) s.having = tokenize(*h->expression);
    for (const QueryRow* r : q.rowsOf(queryattr::GroupBy))
        if (columnFlag < 0 || (r->flag.value_or(0) & columnFlag))
            s.groupBy.push_back(tokenize(r->expression.value_or("")));
    for (const QueryRow* r : q.rowsOf(queryattr::OrderBy))
        s.orderBy.emplace_back(tokenize(r->expression.value_or("")), r->name1 && equalsNoCase(*r->name1, "D"));
    return s;
}


namespace {

bool isKeyword(const Token& t) {
    for (const char* k : {"WHERE", "GROUP", "HAVING", "ORDER", "UNION", "INNER", "LEFT", "RIGHT", "ON", "JOIN", "IN"})
        if (t.is(k)) return true;
    return false;
}

}  // namespace

// SELECT ... up to UNION, ORDER BY of the whole, or the end.
SelectSpec TextReader::select() {
    SelectSpec s;
    if (!take().is("SELECT")) refuse("a union part that is not a SELECT");
    if (accept("DISTINCT")) s.distinct = true;
    else if (accept("DISTINCTROW")) s.distinctRow = true;
    else if (accept("ALL")) {}
    if (accept("TOP")) {
        s.top = take().text;
        s.percent = accept("PERCENT");
    }
    for (Tokens& c : list({"FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION"})) {
        ColumnSpec column;
        if (c.size() >= 3 && c[c.size() - 3].is("AS")) {
            column.alias = c[c.size() - 2].text;
            c.erase(c.end() - 3, c.end() - 1);
        }
        column.expr = std::move(c);
        s.columns.push_back(std::move(column));
    }
    if (accept("FROM")) {
        do s.from.push_back(joinChain());
        while (accept(","));
    }
    if (accept("WHERE")) s.where = until({"GROUP", "HAVING", "ORDER", "UNION"});
    if (accept("GROUP")) {
        expectWord("BY");
        s.groupBy = list({"HAVING", "ORDER", "UNION"});
    }
    if (accept("HAVING")) s.having = until({"ORDER", "UNION"});
    return s;
}
std::vector<std::pair<Tokens, bool>> TextReader::orderBy() {
    std::vector<std::pair<Tokens, bool>> out;
    if (!accept("ORDER")) return out;
    expectWord("BY");
    for (Tokens& o : list({"UNION"})) {
        bool desc = false;
        if (o.size() >= 2 && (o[o.size() - 2].is("DESC") || o[o.size() - 2].is("ASC"))) {
            desc = o[o.size() - 2].is("DESC");
            o.erase(o.end() - 2);
        }
        out.emplace_back(std::move(o), desc);
    }
    return out;
}
bool TextReader::accept(const char* w) {
    if (!t_[pos_].is(w)) return false;
    ++pos_;
    return true;
}
bool TextReader::atEnd() {
    while (t_[pos_].is(";")) ++pos_;
    return t_[pos_].kind == Token::End;
}

void TextReader::expectWord(const char* w) {
    if (!accept(w)) refuse(std::string("SQL it cannot read (expected ") + w + ")");
}
bool TextReader::stopsAt(const std::vector<const char*>& stops) const {
    const Token& t = t_[pos_];
    if (t.kind == Token::End || t.is(";")) return true;
    return std::any_of(stops.begin(), stops.end(), [&](const char* s) { return t.is(s); });
}
// Tokens up to a stop word outside parentheses, ended by an End token.
Tokens TextReader::until(const std::vector<const char*>& stops, bool atComma) {
    Tokens out;
    int depth = 0;
    while (true) {
        const Token& t = t_[pos_];
        if (t.kind == Token::End) break;
        if (depth == 0 && (stopsAt(stops) || (atComma && t.is(",")) || t.is(")"))) break;
        if (t.is("(")) ++depth;
        if (t.is(")")) --depth;
        out.push_back(t);
        ++pos_;
    }
    out.push_back(Token{});
    return out;
}
std::vector<Tokens> TextReader::list(const std::vector<const char*>& stops) {
    std::vector<Tokens> out;
    do out.push_back(until(stops, true));
    while (accept(","));
    return out;
}
std::unique_ptr<FromNode> TextReader::tableRef() {
    const Nesting nesting;
    if (accept("(")) {
        auto n = joinChain();
        if (!accept(")")) refuse("a FROM list it cannot read");
        return n;
    }
    const Token& name = take();
    if (name.kind != Token::Name) refuse("a FROM list it cannot read");
    auto n = std::make_unique<FromNode>();
    n->table = name.text;
    if (accept("AS") || (t_[pos_].kind == Token::Name && t_[pos_].bracketed)) n->alias = take().text;
    else if (t_[pos_].kind == Token::Name && !isKeyword(t_[pos_])) n->alias = take().text;
    return n;
}
std::unique_ptr<FromNode> TextReader::joinChain() {
    auto left = tableRef();
    while (true) {
        int type = 0;
        if (accept("INNER")) type = 1;
        else if (accept("LEFT")) type = 2;
        else if (accept("RIGHT")) type = 3;
        else return left;
        accept("OUTER");
        expectWord("JOIN");
        auto joined = std::make_unique<FromNode>();
        joined->left = std::move(left);
        joined->right = tableRef();
        joined->join = type;
        expectWord("ON");
        joined->on.push_back(until({"INNER", "LEFT", "RIGHT", "WHERE", "GROUP", "HAVING", "ORDER", "UNION"}, true));
        left = std::move(joined);
    }
}

}  // namespace qb::accesssql
