#include "TableTransactions.h"

#include "conversion/ListViewModel.h"
#include "conversion/RunState.h"
#include "core/DbError.h"
#include "core/ErrorTrap.h"
#include "core/Interaction.h"

#include <algorithm>

namespace qb {

namespace {

// Which table a line belongs to: the index of the last start at or before
// it, or -1 for the lines before the first table.
int tableOf(const std::vector<int>& starts, int line) {
    return static_cast<int>(std::upper_bound(starts.begin(), starts.end(), line) - starts.begin()) - 1;
}

// ExecuteSQL runs the non-blank lines in order; this follows it so the
// runner knows which line a statement came from.
int nextNonBlankLine(const ListViewModel& list, int after) {
    for (int n = after + 1; n <= list.count(); ++n) {
        try {
            if (!isBlank(list.text(n))) return n;
        } catch (...) {
            // Unreadable: passed over as blank there too.
        }
    }
    return list.count() + 1;
}

}  // namespace

ExecuteResult ExecuteSQLByTable(ListViewModel& list, const std::vector<int>& tableStarts, const StatementRunner& run,
                                RunState& state, int& ErrorLine, ExecutionDisplay& display, Interaction& ui,
                                int firstLine, int& linesKept) {
    ErrorTrap trap(ui, QStringLiteral("Form2"), QStringLiteral("PushButton1_Click"));
    const int first = std::max(firstLine, 1);
    int line = first - 1;
    int open = -1;    // the table whose transaction is open
    int failed = -1;  // the table rolled back by a rejected line
    auto firstLineOf = [&](int table) { return std::max(tableStarts[static_cast<std::size_t>(table)], first); };
    auto rollBack = [&] {
        if (open < 0) return;
        try {
            run(QStringLiteral("ROLLBACK"));
        } catch (...) {
            // SQLite may have ended the transaction itself (a full disk).
        }
    };

    const StatementRunner inTransactions = [&](const QString& statement) {
        line = nextNonBlankLine(list, line);
        const int table = tableOf(tableStarts, line);
        try {
            if (table != open) {
                if (open >= 0) run(QStringLiteral("COMMIT"));
                open = -1;
                if (table >= 0) run(QStringLiteral("BEGIN"));
                open = table;
            }
            run(statement);
        } catch (...) {
            const QString description = describeException(std::current_exception());
            rollBack();
            failed = open >= 0 ? open : table;
            open = -1;
            // Within a transaction every failure ends the table, and so the
            // execution: nothing after it may run as if the table were there.
            if (!description.contains(QStringLiteral("SQLException"), Qt::CaseInsensitive))
                throw DbError(errnum::Generic, "SQLException: " + description.toStdString());
            throw;
        }
    };

    ExecuteResult result = ExecuteSQL(list, inTransactions, state, ErrorLine, display, ui, firstLine);
    linesKept = std::max(first - 1, line);
    if (result == ExecuteResult::Completed && open >= 0) {
        try {
            run(QStringLiteral("COMMIT"));
            open = -1;
        } catch (...) {
            const QString description = describeException(std::current_exception());
            rollBack();
            failed = open;
            open = -1;
            ErrorLine = line;
            display.setErrorText(description);
            state.SQLFormOK = false;
            result = ExecuteResult::Stopped;
        }
    }
    if (result == ExecuteResult::Completed) return result;

    if (result == ExecuteResult::Stopped) linesKept = std::max(first - 1, ErrorLine - 1);
    if (result == ExecuteResult::Stopped && failed >= 0) {
        linesKept = firstLineOf(failed) - 1;
        const int last = std::max(ErrorLine, linesKept + 1);
        trap.run(170, [&] {
            showInfo(ui, QStringLiteral("Nothing of this table was kept: lines %1 to %2 were rolled back together "
                                        "when line %3 failed.")
                             .arg(linesKept + 1)
                             .arg(last)
                             .arg(ErrorLine));
        });
    } else if (open >= 0) {
        // Left mid-table, or stopped by the window itself: the table is
        // unfinished, so none of it stays.
        rollBack();
        linesKept = firstLineOf(open) - 1;
        trap.run(172, [&] {
            showInfo(ui, QStringLiteral("The unfinished table was rolled back: lines %1 to %2 are not in the database.")
                             .arg(linesKept + 1)
                             .arg(line));
        });
    }
    return result;
}

}  // namespace qb
