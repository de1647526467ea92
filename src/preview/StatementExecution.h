#pragma once
// What the SQL Preview window does with its statements and with a statement
// the database rejected: execute the list with progress, stop at the
// rejected line, bring that line back into view, and pass the error text on
// by clipboard or e-mail. Window-free: the window supplies a display.

#include <QString>
#include <functional>

namespace qb {

class ClipboardPort;
class Interaction;
class ListViewModel;
struct RunState;

// The parts of the preview window that an execution drives.
class ExecutionDisplay {
public:
    virtual ~ExecutionDisplay() = default;
    virtual void setProgressValue(double percent) = 0;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setBusy(bool busy) = 0;
    // The line (1-based) exists when these are called.
    virtual void selectLine(int line) = 0;
    virtual void scrollToLine(int line) = 0;
    virtual void setErrorText(const QString& text) = 0;
    // True once the user has left the window during the execution: it ends
    // before the next statement.
    virtual bool leaving() const { return false; }
};

// Executes one statement; throws (DbError) when the database refuses it.
using StatementRunner = std::function<void(const QString& statement)>;

// Runs a statement on the run's open SQLite connection.
StatementRunner runnerOn(RunState& state);

enum class ExecuteResult {
    NothingToRun,  // empty list: "No SQL to run."
    Stopped,       // a rejected statement: its line shown, the window stays
    Completed,     // every line passed: flags set, the window closes
    Abandoned,     // the user left the window: flags as that exit set them
};

// "Execute SQL" from line `firstLine` on: after a stop the lines before the
// stopped one are in the database already. A failure whose description
// contains "SQLException" (any case) stops at its line and sets ErrorLine;
// any other failure is reported and the line passed over. Blank lines are
// not executed. Gives the message loop one turn per line; when the user has
// left the window in that turn, says how far it got and ends.
// `linesRun`, when given, receives the last line that reached the database.
ExecuteResult ExecuteSQL(ListViewModel& list, const StatementRunner& run, RunState& state, int& ErrorLine,
                         ExecutionDisplay& display, Interaction& ui, int firstLine = 1, int* linesRun = nullptr);

// What leaving the preview says when lines 1 to `linesRun` of `lines` are in
// the database and the rest are not: "Execution stopped before line n of m."
// and which lines stay.
QString partlyExecutedText(int linesRun, int lines);

// "Jump To Error Line": selects and shows line ErrorLine. A number beyond the
// list (left from an earlier list) is reported for both steps.
void JumpToErrorLine(const ListViewModel& list, int ErrorLine, ExecutionDisplay& display, Interaction& ui);

// "Copy Error Message To Clipboard"; nothing for a blank text.
void CopyErrorMessage(const QString& errorText, ClipboardPort& clipboard, Interaction& ui);

// The mailto: link to the support address. Subject and body are
// percent-encoded, so an "&", "#", "%" or line break of the error text
// arrives in the mail instead of cutting the link.
QString errorMailLink(const QString& errorText);

// "Email Error Message": hands the link to the desktop; nothing for a blank text.
void EmailErrorMessage(const QString& errorText, Interaction& ui);

// True when the text holds nothing but blanks.
bool isBlank(const QString& text);

}  // namespace qb
