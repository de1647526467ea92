#pragma once
// "Replace" of the Find and Replace window: one pass over the statement list
// replacing the first occurrence of the search text in each line, ignoring
// letter case. Window-free.

#include <QString>
#include <functional>

namespace qb {

class Interaction;
class ListViewModel;

// The line with the first occurrence of `find` (any case) replaced, or the
// line unchanged. An empty search text changes nothing.
QString replaceFirst(const QString& line, const QString& find, const QString& replacement);

enum class ReplaceResult {
    NothingToRun,  // empty list: "No SQL to run.", the window stays
    Done,          // pass finished: "Done.", the window closes
};

// Gives the message loop one turn per line; `setBusy` shows the hourglass
// for the pass (the window closes at its end, so it is not reset). Lines 1
// to `executedLines` are in the database: a change to them would never
// reach it, so they are left, and "Done." says how many of them held the
// search text.
ReplaceResult FindAndReplace(ListViewModel& list, const QString& find, const QString& replacement, Interaction& ui,
                             const std::function<void(bool)>& setBusy, int executedLines = 0);

}  // namespace qb
