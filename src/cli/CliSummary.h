#pragma once
// The summary the command line ends with: one line per table, then the
// totals, on standard output.

#include "CliHost.h"

#include <optional>
#include <string>

namespace qb {
class Connection;
}

namespace qb::cli {

// Writes to standard output, or to standard error when the script took
// standard output; false when the text could not be written.
bool writeOut(const std::string& text);
void summaryToStandardError();

// "Name: created, 18 rows read, 18 in the SQLite table"; the failures a
// table brings to the summary line beyond the ones already reported.
long long tableLine(const TableRecord& t, std::optional<long long> present, bool script, bool scriptWhole,
                    std::string& out);

// The rows of the SQLite table, none when it cannot be counted.
std::optional<long long> countRows(Connection& connection, const QString& table);

// Reports every row of the SQLite file that breaks a foreign key; the
// failures that makes (a check that cannot run is one).
long long foreignKeyViolations(Connection& connection);

}  // namespace qb::cli
