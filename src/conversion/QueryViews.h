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

// Reads, translates and writes the views; returns one outcome per query.
// A query row that cannot be read costs its query, not the tables.
std::vector<QueryOutcome> writeQueryViews(ConversionHost& host, RunState& state);

}  // namespace qb
