#pragma once
// Saved select, union and crosstab queries as plain SQLite SELECTs that
// answer as Access does, with no function registered: the view works in any
// SQLite client. Whatever has no exact SQLite form (a function, a form
// reference, a parameter, TOP PERCENT...) makes the query untranslated with
// the reason, rather than a view that answers differently.
//
// The converted tables hold dates as ISO text (the date alone at midnight,
// HH:MM:SS for a time alone) and Yes/No as -1 and 0: ISO texts compare and
// sort as the dates do, and -1 is what Access computes with for True.

#include "dbaccess/AccessQueries.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qb {

// Currency is exact to four decimals in Access; its sums and products are
// rounded back to four decimals so that the doubles SQLite computes with
// come out as the exact amounts.
enum class ValueType { Unknown, Text, Integer, Real, Currency, Date, YesNo };

struct RelationColumn {
    std::string name;
    ValueType type = ValueType::Unknown;
    // A Single field: held as text by the SQLite table (no numeric
    // affinity), read back as the single-precision number Access uses.
    bool single = false;
};

// A table or a translated query, as the SQLite file will hold it.
struct Relation {
    std::string name;
    std::vector<RelationColumn> columns;
    std::vector<std::string> leftOut;  // fields of the Access table the SQLite table lacks
    bool view = false;
};

// Why a query has no view.
struct NotTranslated : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class RelationLookup {
public:
    virtual ~RelationLookup() = default;
    // The table or query of that name (any case); a query is translated
    // first. Null when there is none; throws NotTranslated for a query that
    // has no view.
    virtual const Relation* find(const std::string& name) = 0;
};

struct ViewTranslation {
    std::string select;  // the SELECT the view is made of
    std::vector<RelationColumn> columns;
};

// Throws NotTranslated.
ViewTranslation translateQuery(const SavedQuery& query, RelationLookup& relations);

// An Access column as the converted SQLite table holds it.
RelationColumn relationColumn(const std::string& name, int jetType);

// The value of a Single field's column reference.
std::string singleValue(const std::string& column);

// `name` in double quotes, as SQLite names things.
std::string quotedIdentifier(const std::string& name);

}  // namespace qb
