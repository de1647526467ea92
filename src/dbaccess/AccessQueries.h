#pragma once
// Saved queries. Access keeps no query text: MSysQueries holds each query
// as rows of attributes (its tables, columns, joins, criteria...), from
// which the SQL Access shows in its SQL view is rebuilt here.

#include "Connection.h"

#include <optional>
#include <string>
#include <vector>

namespace qb {

namespace queryattr {
constexpr int Start = 0, Type = 1, Parameter = 2, Flags = 3, RemoteDb = 4, Table = 5, Column = 6, Join = 7,
              Where = 8, GroupBy = 9, Having = 10, OrderBy = 11, End = 255;
}

enum class QueryKind {
    Unknown = 0, Select = 1, MakeTable = 2, Append = 3, Update = 4, Delete = 5, Crosstab = 6, DataDefinition = 7,
    PassThrough = 8, Union = 9
};

// The name of a kind as _access_queries lists it ("select", "make-table"...).
const char* queryKindName(QueryKind kind);

// One row of MSysQueries; absent values are NULLs.
struct QueryRow {
    int attribute = -1;
    std::optional<std::string> expression, name1, name2;
    std::optional<int> flag;
    std::optional<long long> extra;
};

struct SavedQuery {
    std::string name;
    QueryKind kind = QueryKind::Unknown;
    std::vector<QueryRow> rows;  // in their stored order
    // Form and report record sources ("~sq_..."): kept, but no view.
    bool hidden() const { return name.rfind("~sq_", 0) == 0; }

    std::vector<const QueryRow*> rowsOf(int attribute) const;
    const QueryRow* rowOf(int attribute) const;  // the first, if any
};

// Every saved query of the file, in the catalog's order. Throws DbError when
// MSysObjects or MSysQueries cannot be read; rows that make no sense are
// kept as they are and left to the SQL rebuild to refuse.
std::vector<SavedQuery> readSavedQueries(Backend& access);

// The SQL of a query as the SQL view shows it (lines separated by "\r\n").
// Throws DbError, saying what is wrong, when the rows cannot make a query.
std::string accessSql(const SavedQuery& query);

// Pieces the rebuild and the view translation share.
namespace querysql {
// `name` as a table or alias name in Access SQL: bracketed when it holds
// anything but letters, digits and '_' (each dot-separated part apart when
// `identifier` is true).
std::string quoteName(const std::string& name, bool identifier);
// The text the tables list of FROM gives, joins nested as Access shows them.
// Throws DbError on inconsistent joins.
std::string fromClause(const SavedQuery& query);
}  // namespace querysql

}  // namespace qb
