// Saved queries from MSysQueries.
//
// Each query is a run of rows sharing ObjectId (the query's MSysObjects.Id).
// Attribute says what a row holds; Expression, Flag, Name1 and Name2 hold
// it:
//   1 type       Flag: the kind (1 select ... 9 union); for make-table and
//                append Name1 is the target table, Name2 its database,
//                Expression that database's type; for data-definition and
//                pass-through queries Expression is the whole SQL text.
//   2 parameter  Name1 the name, Flag its data type (a column type number).
//   3 flags      Flag: 0x1 '*', 0x2 DISTINCT, 0x4 OWNERACCESS, 0x8
//                DISTINCTROW, 0x10 TOP (Name1 the number), 0x20 PERCENT.
//   4 remote db  Name1 the path, Expression the type.
//   5 table      Name1 the table, Name2 its alias; Expression a database
//                the table comes from, or for a union the text of one part
//                (Name2 "X7YZ_____1" or "X7YZ_____2").
//   6 column     Expression, Name1 its alias; Name2 an update's target.
//                Crosstab: Flag 1 marks the PIVOT, 2 a row heading, neither
//                the TRANSFORM value. Append: Flag 0x8000 marks VALUES.
//   7 join       Name1 and Name2 the tables, Flag 1 inner, 2 left, 3 right,
//                Expression the ON condition.
//   8 WHERE, 9 GROUP BY (crosstab: Flag 2), 10 HAVING, 11 ORDER BY (Name1
//   "D" descending); 0 and 255 open and close the run.
// Rows are taken in the order of their Order column. The SQL view prints
// the parts in a fixed layout; joins are nested left to right in the order
// their rows come, each join of two tables already joined adding its
// condition after theirs.

#include "AccessQueries.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>

namespace qb {

namespace {

[[noreturn]] void fail(const std::string& text) { throw DbError(errnum::Generic, text); }

bool equalsNoCase(const std::string& a, const std::string& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

const char* const kNewline = "\r\n";

std::optional<std::string> textOf(const Variant& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return std::nullopt;
}

std::optional<long long> integerOf(const Variant& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    return std::nullopt;
}

// Positions of the named columns in a rowset's fields; -1 when absent.
std::vector<int> columnsOf(const std::vector<FieldInfo>& fields, const std::vector<std::string>& names) {
    std::vector<int> out;
    for (const std::string& name : names) {
        const auto it = std::find_if(fields.begin(), fields.end(),
                                     [&](const FieldInfo& f) { return equalsNoCase(f.name, name); });
        out.push_back(it == fields.end() ? -1 : static_cast<int>(it - fields.begin()));
    }
    return out;
}

std::string join(const std::vector<std::string>& parts, const char* separator = ", ") {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

bool isBracketed(const std::string& s) { return s.size() >= 2 && s.front() == '[' && s.back() == ']'; }

std::string bracketed(const std::string& s) { return isBracketed(s) ? s : "[" + s + "]"; }

bool plainWord(const std::string& s) {
    if (s.empty()) return false;
    for (const unsigned char c : s)
        if (!(std::isalnum(c) || c == '_')) return false;
    return true;
}

// A part of the FROM list: one table, or a join of two parts.
struct Source {
    std::string key;  // the alias, else the table name (simple tables)
    std::string text;
    std::unique_ptr<Source> left, right;
    int joinType = 0;
    std::vector<std::string> on;

    bool contains(const std::string& table) const {
        if (!left) return equalsNoCase(key, table);
        return left->contains(table) || right->contains(table);
    }
    void print(std::string& out, bool top) const {
        if (!left) {
            out += text;
            return;
        }
        static const char* const kinds[] = {"", " INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
        if (!top) out += '(';
        left->print(out, false);
        out += kinds[joinType];
        right->print(out, false);
        out += " ON ";
        if (on.size() > 1) out += '(';
        out += join(on, ") AND (");
        if (on.size() > 1) out += ')';
        if (!top) out += ')';
    }
};

std::string selectType(const SavedQuery& q) {
    const QueryRow* flags = q.rowOf(queryattr::Flags);
    const int f = flags && flags->flag ? *flags->flag : 0;
    if (f & 0x02) return "DISTINCT";
    if (f & 0x08) return "DISTINCTROW";
    if (f & 0x10) return "TOP " + flags->name1.value_or("") + ((f & 0x20) ? " PERCENT" : "");
    return {};
}

bool hasFlag(const SavedQuery& q, int mask) {
    const QueryRow* flags = q.rowOf(queryattr::Flags);
    return flags && flags->flag && (*flags->flag & mask) != 0;
}

std::string withAlias(const QueryRow& r) {
    std::string out = r.expression.value_or("");
    if (r.name1) out += " AS " + querysql::quoteName(*r.name1, false);
    return out;
}

void appendRemoteDb(std::string& out, const std::optional<std::string>& path, const std::optional<std::string>& type) {
    if (!path && !type) return;
    out += " IN '" + path.value_or("") + "'";
    if (type) out += " [" + *type + "]";
}

// SELECT ... [INTO ...] FROM ... WHERE ... GROUP BY ... HAVING ... ORDER BY,
// with only the column rows `columns` keeps.
template <class Keep>
void selectBody(std::string& out, const SavedQuery& q, bool prefix, Keep keepColumn, int groupFlag = 0) {
    if (prefix) {
        out += "SELECT ";
        const std::string type = selectType(q);
        if (!type.empty()) out += type + " ";
    }
    std::vector<std::string> columns;
    for (const QueryRow* r : q.rowsOf(queryattr::Column))
        if (keepColumn(*r)) columns.push_back(withAlias(*r));
    if (hasFlag(q, 0x01)) columns.push_back("*");
    out += join(columns);
    if (q.kind == QueryKind::MakeTable) {
        const QueryRow* type = q.rowOf(queryattr::Type);
        out += " INTO " + querysql::quoteName(type && type->name1 ? *type->name1 : std::string(), true);
        if (type) appendRemoteDb(out, type->name2, type->expression);
    }
    const std::string from = querysql::fromClause(q);
    if (!from.empty()) {
        out += std::string(kNewline) + "FROM " + from;
        if (const QueryRow* remote = q.rowOf(queryattr::RemoteDb))
            appendRemoteDb(out, remote->name1, remote->expression);
    }
    if (const QueryRow* where = q.rowOf(queryattr::Where); where && where->expression)
        out += std::string(kNewline) + "WHERE " + *where->expression;
    std::vector<std::string> groups;
    for (const QueryRow* r : q.rowsOf(queryattr::GroupBy))
        if (!groupFlag || (r->flag.value_or(0) & groupFlag)) groups.push_back(r->expression.value_or(""));
    if (!groups.empty()) out += std::string(kNewline) + "GROUP BY " + join(groups);
    if (const QueryRow* having = q.rowOf(queryattr::Having); having && having->expression)
        out += std::string(kNewline) + "HAVING " + *having->expression;
    std::vector<std::string> orders;
    for (const QueryRow* r : q.rowsOf(queryattr::OrderBy))
        orders.push_back(r->expression.value_or("") + (r->name1 && equalsNoCase(*r->name1, "D") ? " DESC" : ""));
    if (!orders.empty()) out += std::string(kNewline) + "ORDER BY " + join(orders);
}

std::string parameters(const SavedQuery& q) {
    static const std::map<int, const char*> types = {
        {0, "Value"},  {1, "Bit"},       {2, "Byte"},        {3, "Short"},    {4, "Long"},
        {5, "Currency"}, {6, "IEEESingle"}, {7, "IEEEDouble"}, {8, "DateTime"}, {9, "Binary"},
        {10, "Text"},  {11, "LongBinary"}, {12, "Text"},     {15, "Guid"}};
    std::vector<std::string> out;
    for (const QueryRow* r : q.rowsOf(queryattr::Parameter)) {
        const auto it = types.find(r->flag.value_or(-1));
        if (it == types.end()) fail("a parameter of an unknown type " + std::to_string(r->flag.value_or(-1)));
        std::string p = r->name1.value_or("") + " " + it->second;
        if (r->flag == 10 && r->extra && *r->extra > 0) p += "(" + std::to_string(*r->extra) + ")";
        out.push_back(p);
    }
    return out.empty() ? std::string() : "PARAMETERS " + join(out) + ";" + kNewline;
}

// A union part's text, its line breaks made the SQL view's.
std::string unionPart(const SavedQuery& q, const char* id) {
    for (const QueryRow* r : q.rowsOf(queryattr::Table)) {
        if (r->name2 != id) continue;
        const std::string text = r->expression.value_or("");
        const auto first = text.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) return {};
        const auto last = text.find_last_not_of(" \t\r\n");
        std::string out;
        bool inBreak = false;
        for (std::size_t i = first; i <= last; ++i) {
            const char c = text[i];
            if (c == '\r' || c == '\n') {
                if (!inBreak) out += kNewline;
                inBreak = true;
            } else {
                out += c;
                inBreak = false;
            }
        }
        return out;
    }
    fail("a union without its part " + std::string(id));
}

}  // namespace

const char* queryKindName(QueryKind kind) {
    switch (kind) {
    case QueryKind::Select: return "select";
    case QueryKind::MakeTable: return "make-table";
    case QueryKind::Append: return "append";
    case QueryKind::Update: return "update";
    case QueryKind::Delete: return "delete";
    case QueryKind::Crosstab: return "crosstab";
    case QueryKind::DataDefinition: return "data-definition";
    case QueryKind::PassThrough: return "pass-through";
    case QueryKind::Union: return "union";
    case QueryKind::Unknown: break;
    }
    return "unknown";
}

std::vector<const QueryRow*> SavedQuery::rowsOf(int attribute) const {
    std::vector<const QueryRow*> out;
    for (const QueryRow& r : rows)
        if (r.attribute == attribute) out.push_back(&r);
    return out;
}

const QueryRow* SavedQuery::rowOf(int attribute) const {
    for (const QueryRow& r : rows)
        if (r.attribute == attribute) return &r;
    return nullptr;
}

std::vector<SavedQuery> readSavedQueries(Backend& access) {
    constexpr long long kQueryObject = 5;
    std::vector<SavedQuery> out;
    std::map<long long, std::size_t> byId;
    std::map<long long, int> objectFlags;
    {
        auto objects = access.openRowset("SELECT * FROM `MSysObjects`");
        const auto at = columnsOf(objects->fields(), {"Id", "Name", "Type", "Flags"});
        if (at[0] < 0 || at[1] < 0 || at[2] < 0) fail("MSysObjects lacks the columns Id, Name and Type.");
        std::vector<Variant> row;
        while (objects->next(row)) {
            const auto id = integerOf(row[at[0]]);
            const auto name = textOf(row[at[1]]);
            if (!id || !name || integerOf(row[at[2]]) != kQueryObject) continue;
            SavedQuery q;
            q.name = *name;
            byId[*id] = out.size();
            objectFlags[*id] = at[3] >= 0 ? static_cast<int>(integerOf(row[at[3]]).value_or(0)) : 0;
            out.push_back(std::move(q));
        }
    }
    if (out.empty()) return out;

    struct Stored {
        QueryRow row;
        Bytes order;
        std::size_t seen;
    };
    std::map<std::size_t, std::vector<Stored>> rowsOf;
    {
        auto rows = access.openRowset("SELECT * FROM `MSysQueries`");
        const auto at = columnsOf(
            rows->fields(), {"Attribute", "Expression", "Flag", "LvExtra", "Name1", "Name2", "ObjectId", "Order"});
        if (at[0] < 0 || at[6] < 0) fail("MSysQueries lacks the columns Attribute and ObjectId.");
        auto text = [&](const std::vector<Variant>& row, int i) {
            return i < 0 ? std::nullopt : textOf(row[static_cast<std::size_t>(i)]);
        };
        auto integer = [&](const std::vector<Variant>& row, int i) {
            return i < 0 ? std::nullopt : integerOf(row[static_cast<std::size_t>(i)]);
        };
        std::vector<Variant> row;
        std::size_t seen = 0;
        while (rows->next(row)) {
            const auto id = integer(row, at[6]);
            const auto attribute = integer(row, at[0]);
            if (!id || !attribute || !byId.count(*id)) continue;
            Stored s;
            s.row.attribute = static_cast<int>(*attribute);
            s.row.expression = text(row, at[1]);
            if (const auto f = integer(row, at[2])) s.row.flag = static_cast<int>(*f);
            // The size of a text parameter; stored as a Long in some files.
            if (const auto e = integer(row, at[3])) s.row.extra = *e;
            s.row.name1 = text(row, at[4]);
            s.row.name2 = text(row, at[5]);
            if (at[7] >= 0)
                if (const auto* b = std::get_if<Bytes>(&row[static_cast<std::size_t>(at[7])])) s.order = *b;
            s.seen = seen++;
            rowsOf[byId[*id]].push_back(std::move(s));
        }
    }
    for (const auto& [id, index] : byId) {
        auto& stored = rowsOf[index];
        std::stable_sort(stored.begin(), stored.end(),
                         [](const Stored& a, const Stored& b) { return a.order < b.order; });
        SavedQuery& q = out[index];
        for (auto& s : stored) q.rows.push_back(std::move(s.row));
        const QueryRow* type = q.rowOf(queryattr::Type);
        const int fromRows = type && type->flag ? *type->flag : 0;
        if (fromRows >= 1 && fromRows <= 9) {
            q.kind = static_cast<QueryKind>(fromRows);
        } else {
            static const std::map<int, QueryKind> byFlag = {
                {0x00, QueryKind::Select},   {0x10, QueryKind::Crosstab},       {0x20, QueryKind::Delete},
                {0x30, QueryKind::Update},   {0x40, QueryKind::Append},         {0x50, QueryKind::MakeTable},
                {0x60, QueryKind::DataDefinition}, {0x70, QueryKind::PassThrough}, {0x80, QueryKind::Union}};
            // Newer files store no type row for select queries; the
            // catalog's flags tell the kind then.
            const auto it = byFlag.find(objectFlags[id] & 0xF0);
            if (it != byFlag.end() && !q.rows.empty()) q.kind = it->second;
        }
    }
    return out;
}

namespace querysql {

std::string quoteName(const std::string& name, bool identifier) {
    if (!identifier) return plainWord(name) ? name : bracketed(name);
    std::string out;
    std::size_t start = 0;
    while (true) {
        const auto dot = name.find('.', start);
        const std::string part = name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        out += plainWord(part) ? part : bracketed(part);
        if (dot == std::string::npos) break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

std::string fromClause(const SavedQuery& q) {
    std::vector<std::unique_ptr<Source>> sources;
    for (const QueryRow* r : q.rowsOf(queryattr::Table)) {
        auto s = std::make_unique<Source>();
        if (r->expression) s->text = bracketed(*r->expression) + ".";
        if (r->name1) s->text += quoteName(*r->name1, true);
        if (r->name2) s->text += " AS " + quoteName(*r->name2, false);
        s->key = r->name2 ? *r->name2 : r->name1.value_or("");
        sources.push_back(std::move(s));
    }
    const auto joins = q.rowsOf(queryattr::Join);
    // Access joins at most 32 tables; more rows than that are damage.
    if (joins.size() > 256) fail("a query of " + std::to_string(joins.size()) + " joins");
    for (const QueryRow* r : joins) {
        const std::string from = r->name1.value_or(""), to = r->name2.value_or("");
        const int type = r->flag.value_or(0);
        if (type < 1 || type > 3) fail("a join of an unknown kind " + std::to_string(type));
        auto take = [&](const std::string& table) -> std::unique_ptr<Source> {
            for (auto it = sources.begin(); it != sources.end(); ++it)
                if ((*it)->contains(table)) {
                    auto s = std::move(*it);
                    sources.erase(it);
                    return s;
                }
            return nullptr;
        };
        // Two tables already joined: the condition joins theirs.
        const auto both = std::find_if(sources.begin(), sources.end(),
                                       [&](const auto& s) { return s->contains(from) && s->contains(to); });
        if (both != sources.end()) {
            if (!(*both)->left || (*both)->joinType != type)
                fail("inconsistent joins of " + from + " and " + to);
            (*both)->on.push_back(r->expression.value_or(""));
            continue;
        }
        auto left = take(from);
        auto right = take(to);
        auto simple = [](const std::string& table) {
            auto s = std::make_unique<Source>();
            s->key = table;
            s->text = quoteName(table, true);
            return s;
        };
        if (!left) left = simple(from);
        if (!right) right = simple(to);
        auto joined = std::make_unique<Source>();
        joined->left = std::move(left);
        joined->right = std::move(right);
        joined->joinType = type;
        joined->on.push_back(r->expression.value_or(""));
        sources.push_back(std::move(joined));
    }
    std::vector<std::string> parts;
    for (const auto& s : sources) {
        std::string text;
        s->print(text, true);
        parts.push_back(text);
    }
    return join(parts);
}

}  // namespace querysql

std::string accessSql(const SavedQuery& q) {
    std::string out;
    const bool standard = q.kind != QueryKind::DataDefinition && q.kind != QueryKind::PassThrough;
    if (standard) out += parameters(q);
    const auto all = [](const QueryRow&) { return true; };
    switch (q.kind) {
    case QueryKind::Select:
    case QueryKind::MakeTable:
        selectBody(out, q, true, all);
        break;
    case QueryKind::Delete:
        out += "DELETE ";
        selectBody(out, q, false, all);
        break;
    case QueryKind::Append: {
        const QueryRow* type = q.rowOf(queryattr::Type);
        out += "INSERT INTO " + querysql::quoteName(type && type->name1 ? *type->name1 : std::string(), true);
        if (type) appendRemoteDb(out, type->name2, type->expression);
        out += kNewline;
        std::vector<std::string> values;
        for (const QueryRow* r : q.rowsOf(queryattr::Column))
            if (r->flag.value_or(0) & 0x8000) values.push_back(r->expression.value_or(""));
        if (!values.empty())
            out += "VALUES (" + join(values) + ")";
        else
            selectBody(out, q, true, [](const QueryRow& r) { return (r.flag.value_or(0) & 0x8000) == 0; });
        break;
    }
    case QueryKind::Update: {
        out += "UPDATE " + querysql::fromClause(q);
        if (const QueryRow* remote = q.rowOf(queryattr::RemoteDb))
            appendRemoteDb(out, remote->name1, remote->expression);
        std::vector<std::string> sets;
        for (const QueryRow* r : q.rowsOf(queryattr::Column))
            sets.push_back(querysql::quoteName(r->name2.value_or(""), true) + " = " + r->expression.value_or(""));
        out += std::string(kNewline) + "SET " + join(sets);
        if (const QueryRow* where = q.rowOf(queryattr::Where); where && where->expression)
            out += std::string(kNewline) + "WHERE " + *where->expression;
        break;
    }
    case QueryKind::Crosstab: {
        std::vector<const QueryRow*> transform, pivot;
        for (const QueryRow* r : q.rowsOf(queryattr::Column)) {
            const int f = r->flag.value_or(0);
            if (f & 0x01) pivot.push_back(r);
            else if (!(f & 0x02)) transform.push_back(r);
        }
        if (transform.size() > 1 || pivot.size() != 1) fail("a crosstab without one value and one PIVOT");
        if (!transform.empty() && transform[0]->expression) out += "TRANSFORM " + withAlias(*transform[0]) + kNewline;
        selectBody(out, q, true, [](const QueryRow& r) { return (r.flag.value_or(0) & 0x02) != 0; }, 0x02);
        out += std::string(kNewline) + "PIVOT " + pivot[0]->expression.value_or("");
        break;
    }
    case QueryKind::Union: {
        out += unionPart(q, "X7YZ_____1") + kNewline + "UNION ";
        if (!hasFlag(q, 0x02)) out += "ALL ";
        out += unionPart(q, "X7YZ_____2");
        std::vector<std::string> orders;
        for (const QueryRow* r : q.rowsOf(queryattr::OrderBy))
            orders.push_back(r->expression.value_or("") + (r->name1 && equalsNoCase(*r->name1, "D") ? " DESC" : ""));
        if (!orders.empty()) out += std::string(kNewline) + "ORDER BY " + join(orders);
        break;
    }
    case QueryKind::DataDefinition:
    case QueryKind::PassThrough: {
        const QueryRow* type = q.rowOf(queryattr::Type);
        std::string text = type ? type->expression.value_or("") : std::string();
        // Access leaves the terminating NUL of the text in the row.
        while (!text.empty() && text.back() == '\0') text.pop_back();
        return text;
    }
    case QueryKind::Unknown:
        fail("a query of an unknown kind");
    }
    if (hasFlag(q, 0x04)) out += std::string(kNewline) + "WITH OWNERACCESS OPTION";
    out += ';';
    return out;
}

}  // namespace qb
