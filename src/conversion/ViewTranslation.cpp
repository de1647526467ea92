// Saved queries as SQLite SELECTs (see ViewTranslation.h).
//
// A select query comes as MSysQueries rows, a union as the texts of its
// parts: both become the same SelectSpec, read into one SELECT. Every column
// gets the name Access gives it (its alias, the field's name, or Expr1000,
// Expr1001... for unnamed expressions; Table.Field where two fields share a
// name), so that queries built on this one find them.
//
// TOP n keeps, as Access does, the rows tied with the n-th: the rows whose
// rank under the ORDER BY is at most n. DISTINCTROW is left out where it
// cannot change the answer (every table of the FROM list gives a selected
// column: the rows are distinct combinations of records already; totals
// grouped only by selected columns); otherwise the rows are made distinct
// by the rowids of the tables that give columns.

#include "ViewTranslation.h"

#include "AccessExpression.h"
#include "SelectSpec.h"
#include "dbaccess/AccessFormat.h"

#include <QString>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace qb {

using namespace accesssql;

namespace {

// --- The SELECT ----------------------------------------------------------------

struct OutputColumn {
    Sql sql;
    std::string name;
    bool fromReference = false;
    std::set<std::string> used;  // lower-case keys of the sources it reads
};

std::set<std::string> lowered(const std::set<std::string>& keys) {
    std::set<std::string> out;
    for (const std::string& k : keys) out.insert(QString::fromStdString(k).toLower().toStdString());
    return out;
}

class SelectWriter {
public:
    SelectWriter(const SelectSpec& spec, RelationLookup& relations) : spec_(spec), relations_(relations) {
        scope_.subquery = [this](const Tokens& tokens) { return subquery(tokens); };
    }

    // The SELECT; `pivot` adds a crosstab's value columns after the rest.
    std::string write(std::vector<RelationColumn>& columns, bool collateOutput,
                      const std::function<void(std::vector<OutputColumn>&)>& pivot = {}) {
        for (const auto& f : spec_.from) addSources(*f);
        scope_.alias = [this](const std::string& name) -> std::optional<Sql> {
            for (const OutputColumn& c : output_)
                if (equalsNoCase(c.name, name) && !c.fromReference) return c.sql;
            return std::nullopt;
        };
        readColumns();
        if (pivot) pivot(output_);
        nameColumns();
        std::string list, names;
        for (const OutputColumn& c : output_) {
            list += (list.empty() ? "" : ", ") + c.sql.text +
                    (collateOutput || spec_.distinct ? collationFor(c.sql.type) : "") + " AS " +
                    quotedIdentifier(c.name);
            names += (names.empty() ? "" : ", ") + quotedIdentifier(c.name);
            columns.push_back({c.name, c.sql.type});
        }
        const std::string rest = clauses();
        const std::vector<std::string> rowIds = distinctRowIds();
        const std::string distinct = spec_.distinct ? "DISTINCT " : "";
        if (!spec_.top && rowIds.empty()) {
            std::string order;
            for (const OrderKey& k : order_) order += (order.empty() ? "" : ", ") + k.text + k.suffix;
            return "SELECT " + distinct + list + rest + (order.empty() ? "" : " ORDER BY " + order);
        }
        // Sort keys and record identities travel as extra columns of an
        // inner SELECT that the view's own leaves out.
        std::string core = "SELECT " + (rowIds.empty() ? distinct : std::string("DISTINCT ")) + list;
        std::string order;
        for (std::size_t i = 0; i < order_.size(); ++i) {
            const std::string key = "\"qb_o" + std::to_string(i + 1) + "\"";
            core += ", " + order_[i].text + " AS " + key;
            order += (order.empty() ? "" : ", ") + key + order_[i].suffix;
        }
        for (std::size_t i = 0; i < rowIds.size(); ++i)
            core += ", " + rowIds[i] + " AS \"qb_r" + std::to_string(i + 1) + "\"";
        core += rest;
        if (!spec_.top) return "SELECT " + names + " FROM (" + core + ")" + (order.empty() ? "" : " ORDER BY " + order);
        return topOf(core, names, order);
    }

    Scope& scope() { return scope_; }

private:
    struct OrderKey {
        std::string text, suffix;
        std::set<std::string> used;
    };

    // A subquery of one column, which sees this query's tables.
    Sql subquery(const Tokens& tokens) {
        const Nesting nesting;
        TextReader reader(tokens);
        SelectSpec spec = reader.select();
        spec.orderBy = reader.orderBy();
        if (!reader.atEnd()) refuse("a subquery it cannot read");
        SelectWriter inner(spec, relations_);
        inner.scope_.outer = &scope_;
        std::vector<RelationColumn> columns;
        Sql s;
        s.text = "(" + inner.write(columns, false) + ")";
        if (columns.size() != 1) refuse("a subquery of more than one column");
        s.type = columns[0].type;
        return s;
    }

    void addSources(const FromNode& n) {
        if (n.left) {
            addSources(*n.left);
            addSources(*n.right);
            return;
        }
        const Relation* r = relations_.find(n.table);
        if (!r) refuse("the table or query [" + n.table + "], which is not in the file");
        for (const ScopeSource& s : scope_.sources)
            if (equalsNoCase(s.key, n.key())) refuse("two tables named " + n.key());
        scope_.sources.push_back({n.key(), r});
    }

    void readColumns() {
        for (const ColumnSpec& c : spec_.columns) {
            const Tokens& t = c.expr;
            const bool star = t.size() == 2 && t[0].is("*");
            const bool tableStar = t.size() == 4 && t[0].kind == Token::Name && t[1].is(".") && t[2].is("*");
            if (star || tableStar) {
                bool any = false;
                for (const ScopeSource& s : scope_.sources) {
                    if (tableStar && !equalsNoCase(s.key, t[0].text)) continue;
                    any = true;
                    for (const RelationColumn& rc : s.relation->columns) {
                        Sql sql;
                        sql.text = quotedIdentifier(s.key) + "." + quotedIdentifier(rc.name);
                        if (rc.single) sql.text = singleValue(sql.text);
                        sql.type = rc.type;
                        sql.columnName = rc.name;
                        sql.sourceKey = s.key;
                        output_.push_back({sql, rc.name, true, lowered({s.key})});
                    }
                }
                if (!any) refuse("the column list " + t[0].text + ".*, whose table the query does not list");
                continue;
            }
            std::optional<std::string> alias;
            ExpressionReader reader(t, scope_);
            Sql sql = valueOf(reader.readColumn(alias));
            if (c.alias) alias = c.alias;
            const bool reference = !sql.columnName.empty() && !alias;
            output_.push_back({sql, alias ? *alias : reference ? sql.columnName : std::string(), reference,
                               lowered(reader.used())});
        }
    }

    // Unnamed expressions are Expr1000, Expr1001...; fields sharing a name
    // are told apart by their table.
    void nameColumns() {
        int unnamed = 1000;
        for (OutputColumn& c : output_)
            if (c.name.empty()) c.name = "Expr" + std::to_string(unnamed++);
        std::vector<bool> shared(output_.size());
        for (std::size_t i = 0; i < output_.size(); ++i)
            shared[i] = output_[i].fromReference &&
                        std::count_if(output_.begin(), output_.end(), [&](const OutputColumn& o) {
                            return equalsNoCase(o.name, output_[i].name);
                        }) > 1;
        for (std::size_t i = 0; i < output_.size(); ++i)
            if (shared[i]) output_[i].name = output_[i].sql.sourceKey + "." + output_[i].sql.columnName;
        std::set<std::string> seen;
        for (const OutputColumn& c : output_)
            if (!seen.insert(QString::fromStdString(c.name).toLower().toStdString()).second)
                refuse("two output columns named " + c.name);
    }

    // DISTINCTROW drops rows that repeat the same records of the tables whose
    // fields are selected. Nothing to do when every table gives a field;
    // otherwise the rows are made distinct by those records' rowids.
    std::vector<std::string> distinctRowIds() {
        if (!spec_.distinctRow || scope_.sources.size() <= 1) return {};
        std::set<std::string> contributing;
        bool aggregate = !spec_.groupBy.empty();
        for (const OutputColumn& c : output_) {
            contributing.insert(c.used.begin(), c.used.end());
            aggregate = aggregate || c.sql.aggregate;
        }
        if (aggregate) {
            // Totals rows are not records; they are distinct already when
            // every grouping is among the columns.
            for (const std::string& g : groups_)
                if (std::none_of(output_.begin(), output_.end(),
                                 [&](const OutputColumn& c) { return c.sql.text == g; }))
                    refuse("DISTINCTROW on totals grouped by something not selected");
            return {};
        }
        std::vector<const ScopeSource*> giving;
        for (const ScopeSource& s : scope_.sources)
            if (contributing.count(QString::fromStdString(s.key).toLower().toStdString())) giving.push_back(&s);
        if (giving.size() == scope_.sources.size()) return {};
        std::vector<std::string> ids;
        for (const ScopeSource* s : giving) {
            if (s->relation->view) refuse("DISTINCTROW over a query whose fields are selected");
            ids.push_back(quotedIdentifier(s->key) + ".rowid");
        }
        for (const OrderKey& k : order_)
            for (const std::string& u : k.used)
                if (!contributing.count(u)) refuse("DISTINCTROW sorted by a table none of whose fields is selected");
        return ids;
    }

    std::string fromText(const FromNode& n) {
        if (!n.left) {
            const std::string table = quotedIdentifier(n.table);
            return n.alias.empty() ? table : table + " AS " + quotedIdentifier(n.alias);
        }
        static const char* const kinds[] = {"", " INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
        std::string on;
        for (const Tokens& condition : n.on)
            on += (on.empty() ? "" : " AND ") + predicateOf(ExpressionReader(condition, scope_).readAll());
        const std::string right = n.right->left ? "(" + fromText(*n.right) + ")" : fromText(*n.right);
        return fromText(*n.left) + kinds[n.join] + right + " ON " + on;
    }

    // FROM to HAVING; the ORDER BY keys go to order_.
    std::string clauses() {
        std::string sql;
        std::string from;
        for (const auto& f : spec_.from) from += (from.empty() ? "" : ", ") + fromText(*f);
        if (!from.empty()) sql += " FROM " + from;
        if (spec_.where.size() > 1) {
            const Sql w = ExpressionReader(spec_.where, scope_).readAll();
            if (w.aggregate) refuse("an aggregate in WHERE");
            sql += " WHERE " + predicateOf(w);
        }
        std::string groups;
        for (const Tokens& g : spec_.groupBy) {
            const Sql e = valueOf(ExpressionReader(g, scope_).readAll());
            groups_.push_back(e.text);
            groups += (groups.empty() ? "" : ", ") + e.text + collationFor(e.type);
        }
        if (!groups.empty()) sql += " GROUP BY " + groups;
        if (spec_.having.size() > 1) sql += " HAVING " + predicateOf(ExpressionReader(spec_.having, scope_).readAll());
        for (const auto& [o, desc] : spec_.orderBy) {
            ExpressionReader reader(o, scope_);
            const Sql e = valueOf(reader.readAll());
            order_.push_back({e.text, collationFor(e.type) + (desc ? " DESC" : ""), lowered(reader.used())});
        }
        return sql;
    }

    // TOP n: the rows ranked n or better, ties with the n-th included. TOP n
    // PERCENT takes n percent of the rows, a part of a row counting whole.
    std::string topOf(const std::string& core, const std::string& names, const std::string& order) {
        if (order.empty()) refuse("TOP without ORDER BY, whose rows depend on the order rows are stored in");
        if (spec_.distinct) refuse("TOP together with DISTINCT");
        const std::string& n = *spec_.top;
        if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos)
            refuse("TOP " + n + (spec_.percent ? " PERCENT" : ""));
        if (spec_.percent && std::stol(n) > 100) refuse("TOP " + n + " PERCENT");
        const std::string limit = spec_.percent ? "(\"qb_count\" * " + n + " + 99) / 100" : n;
        return "SELECT " + names + " FROM (SELECT *, RANK() OVER (ORDER BY " + order + ") AS \"qb_rank\"" +
               (spec_.percent ? ", COUNT(*) OVER () AS \"qb_count\"" : "") + " FROM (" + core +
               ")) WHERE \"qb_rank\" <= " + limit + " ORDER BY " + order;
    }

    const SelectSpec& spec_;
    RelationLookup& relations_;
    Scope scope_;
    std::vector<OutputColumn> output_;
    std::vector<OrderKey> order_;
    std::vector<std::string> groups_;
};

// --- Kinds -----------------------------------------------------------------------

ViewTranslation selectView(const SavedQuery& q, RelationLookup& relations) {
    const SelectSpec spec = specOfRows(q, -1);
    ViewTranslation t;
    SelectWriter writer(spec, relations);
    t.select = writer.write(t.columns, false);
    return t;
}

ViewTranslation unionView(const SavedQuery& q, RelationLookup& relations) {
    Tokens all;
    for (const char* id : {"X7YZ_____1", "X7YZ_____2"}) {
        const QueryRow* part = nullptr;
        for (const QueryRow* r : q.rowsOf(queryattr::Table))
            if (r->name2 == id) part = r;
        if (!part) refuse("a union without its parts");
        Tokens t = tokenize(part->expression.value_or(""));
        t.pop_back();
        if (!all.empty()) {
            Token u;
            u.kind = Token::Name;
            u.text = "UNION";
            all.push_back(u);
            const QueryRow* flags = q.rowOf(queryattr::Flags);
            if (!(flags && (flags->flag.value_or(0) & 0x02))) {
                u.text = "ALL";
                all.push_back(u);
            }
        }
        all.insert(all.end(), t.begin(), t.end());
    }
    all.push_back(Token{});
    TextReader reader(all);
    ViewTranslation t;
    std::string sql;
    std::vector<std::pair<Tokens, bool>> order;
    while (true) {
        SelectSpec part = reader.select();
        if (part.top) refuse("TOP inside a union");
        std::vector<RelationColumn> columns;
        SelectWriter writer(part, relations);
        sql += writer.write(columns, true);
        if (t.columns.empty()) t.columns = columns;
        else if (columns.size() != t.columns.size()) refuse("union parts with different numbers of columns");
        order = reader.orderBy();
        if (!reader.accept("UNION")) break;
        if (!order.empty()) refuse("ORDER BY inside a union");
        sql += reader.accept("ALL") ? " UNION ALL " : " UNION ";
    }
    if (!reader.atEnd()) refuse("SQL after the union it cannot read");
    for (const QueryRow* r : q.rowsOf(queryattr::OrderBy))
        order.emplace_back(tokenize(r->expression.value_or("")), r->name1 && equalsNoCase(*r->name1, "D"));
    // A union sorts by its output columns, named as its first part names them.
    std::string orderSql;
    for (const auto& [o, desc] : order) {
        std::string name;
        if (o.size() == 2 && o[0].kind == Token::Name) name = o[0].text;
        if (o.size() == 4 && o[0].kind == Token::Name && o[1].is(".") && o[2].kind == Token::Name) name = o[2].text;
        std::size_t i = 0;
        while (i < t.columns.size() && !equalsNoCase(t.columns[i].name, name)) ++i;
        if (i == t.columns.size()) refuse("a union sorted by something other than its columns");
        orderSql += (orderSql.empty() ? "" : ", ") + std::to_string(i + 1) + collationFor(t.columns[i].type) +
                    (desc ? " DESC" : "");
    }
    t.select = orderSql.empty() ? sql : sql + " ORDER BY " + orderSql;
    return t;
}

ViewTranslation crosstabView(const SavedQuery& q, RelationLookup& relations) {
    const QueryRow* value = nullptr;
    const QueryRow* pivot = nullptr;
    for (const QueryRow* r : q.rowsOf(queryattr::Column)) {
        const int f = r->flag.value_or(0);
        if (f & 0x01) pivot = r;
        else if (!(f & 0x02)) value = r;
    }
    if (!value || !pivot) refuse("a crosstab without its value or PIVOT");
    // The fixed column headings follow the pivot expression: ... In (v1, v2).
    Tokens p = tokenize(pivot->expression.value_or(""));
    std::size_t in = p.size();
    int depth = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i].is("(")) ++depth;
        if (p[i].is(")")) --depth;
        if (depth == 0 && p[i].is("In")) in = i;
    }
    if (in == p.size()) refuse("a crosstab without fixed column headings (PIVOT ... In (...))");
    Tokens pivotExpr(p.begin(), p.begin() + static_cast<long>(in));
    pivotExpr.push_back(Token{});
    std::vector<Token> headings;
    for (std::size_t i = in + 2; i + 1 < p.size(); i += 2) {
        if (p[i].kind != Token::String && p[i].kind != Token::Number) refuse("column headings that are not constants");
        headings.push_back(p[i]);
        if (!p[i + 1].is(",")) break;
    }
    const SelectSpec spec = specOfRows(q, 0x02);
    ViewTranslation t;
    SelectWriter writer(spec, relations);
    const Tokens valueExpr = tokenize(value->expression.value_or(""));
    t.select = writer.write(t.columns, false, [&](std::vector<OutputColumn>& out) {
        Scope& scope = writer.scope();
        const Sql key = valueOf(ExpressionReader(pivotExpr, scope).readAll());
        for (const Token& h : headings) {
            const bool text = h.kind == Token::String;
            if (text == numeric(key.type)) refuse("column headings of another type than the PIVOT");
            const std::string literal =
                text ? "'" + QString::fromStdString(h.text).replace("'", "''").toStdString() + "'" : h.text;
            const std::string cond = "(" + key.text + " = " + literal + collationFor(key.type) + ")";
            scope.aggregateFilter = cond;
            Sql cell = valueOf(ExpressionReader(valueExpr, scope).readAll());
            scope.aggregateFilter.clear();
            if (!cell.aggregate) refuse("a crosstab value that is not an aggregate");
            // A heading without rows is an empty cell, whatever the aggregate.
            cell.text = "(CASE WHEN COUNT(CASE WHEN " + cond + " THEN 1 END) > 0 THEN " + cell.text + " END)";
            out.push_back({cell, h.text, false, {}});
        }
    });
    return t;
}

}  // namespace

namespace {

ValueType valueTypeOfColumn(int jetType) {
    using namespace access::coltype;
    switch (jetType) {
    case Bool: return ValueType::YesNo;
    case Byte: case Int: case Long: case BigInt: return ValueType::Integer;
    case Money: return ValueType::Currency;
    case Float: case Double: case Numeric: return ValueType::Real;
    case DateTime: return ValueType::Date;
    case Text: case Memo: return ValueType::Text;
    default: return ValueType::Unknown;
    }
}

}  // namespace

RelationColumn relationColumn(const std::string& name, int jetType) {
    return {name, valueTypeOfColumn(jetType), jetType == access::coltype::Float};
}

// The text holds the shortest decimal that reads back as the single; the
// double it reads as is rounded to the single's 24 bits by splitting it
// (Veltkamp): d * (2^29 + 1) - (d * (2^29 + 1) - d).
std::string singleValue(const std::string& column) {
    const std::string d = "CAST(" + column + " AS REAL)";
    return "(" + d + " * 536870913.0 - (" + d + " * 536870913.0 - " + d + "))";
}

std::string quotedIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

ViewTranslation translateQuery(const SavedQuery& q, RelationLookup& relations) {
    const bool answers = q.kind == QueryKind::Select || q.kind == QueryKind::Union || q.kind == QueryKind::Crosstab;
    if (answers && !q.rowsOf(queryattr::Parameter).empty()) refuse("it asks for parameters");
    switch (q.kind) {
    case QueryKind::Select: return selectView(q, relations);
    case QueryKind::Union: return unionView(q, relations);
    case QueryKind::Crosstab: return crosstabView(q, relations);
    case QueryKind::DataDefinition: refuse("a data-definition query changes the database rather than answering");
    case QueryKind::PassThrough: refuse("a pass-through query runs on another database server");
    case QueryKind::Unknown: refuse("a query of an unknown kind");
    default: refuse(std::string("an action query (") + queryKindName(q.kind) + ") changes data rather than answering");
    }
}

}  // namespace qb
