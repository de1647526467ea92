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

// Reports every row of the SQLite file that breaks a foreign key; the
// failures that makes (a check that cannot run is one).
long long foreignKeyViolations(Connection& connection);

}  // namespace qb::cli
