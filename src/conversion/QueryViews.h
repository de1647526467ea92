#pragma once
// --views: after every table, the saved queries of the Access file as
// SQLite views, and the table _access_queries listing every query with its
// Access SQL and, for the ones without a view, the reason. Statements are
// executed, or collected for the preview (--sql), as the run's own are.

#include "ConversionHost.h"

#include <string>
#include <vector>

namespace qb {

struct QueryOutcome {
    std::string name, kind, accessSql, viewSql;
    std::string status;  // "view created", "not translated", "not created", "left out"
    std::string reason;
};

struct QueryViewsResult {
    std::vector<QueryOutcome> queries;
    std::string unreadable;  // why the saved queries could not be read at all
};

// Reads, translates and writes the views. A query whose rows cannot be
// read costs that query; queries that cannot be read at all are reported
// in the result, not as a failure: the tables are whole either way.
QueryViewsResult writeQueryViews(ConversionHost& host, RunState& state);

}  // namespace qb
