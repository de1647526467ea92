#pragma once
// "Execute SQL" with each table's lines in one transaction, for a run made
// with one transaction per table: a table whose line is rejected is rolled
// back whole, so the file has all of a table or nothing of it.

#include "StatementExecution.h"

#include <vector>

namespace qb {

// As ExecuteSQL, with `tableStarts` the first line of each table's lines in
// ascending order (lines before the first belong to no table and stand by
// themselves). A rejected line rolls its table back and stops there, and
// the user is told that nothing of the table was kept; leaving the window
// rolls back the unfinished table. `linesKept` is the number of leading
// lines whose statements stay in the database afterwards.
ExecuteResult ExecuteSQLByTable(ListViewModel& list, const std::vector<int>& tableStarts, const StatementRunner& run,
                                RunState& state, int& ErrorLine, ExecutionDisplay& display, Interaction& ui,
                                int firstLine, int& linesKept);

}  // namespace qb
