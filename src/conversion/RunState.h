#pragma once
#include "dbaccess/Connection.h"

#include <functional>
#include <memory>
#include <string>

namespace qb {

// State the conversion run shares with the SQL Preview window: the
// connection it executes on and the two flags through which the window
// answers. The main window owns it for the whole program run.
// How the last SQL Preview window closed, for the run's account.
struct PreviewEnd {
    bool completed = false;  // "Execute SQL" ran through the whole list
    bool skipped = false;    // "Skip Table / Do Not Execute SQL"
    int linesRun = 0;        // lines 1 to linesRun reached the database
};

struct RunState {
    std::unique_ptr<Connection> SQLite_conn;
    bool SQLFormOK = false;
    bool IsConverting = false;
    bool StopConverting = false;
    // Set by the run: switches the file to write-ahead-log mode before the
    // first statement is executed (a run that executes nothing leaves the
    // file untouched), and while the file is in that mode, leaves it (the
    // log folded into the file) and says whether it did.
    std::function<void()> enterLog;
    std::function<bool()> leaveLog;
    PreviewEnd lastPreview;
    // The run is reading the Access file again, salvaging, after the user
    // asked to recover what a damaged file still holds.
    bool salvaging = false;
};

// Executes a statement on the run's connection. A log the disk cannot grow
// would fail every later statement, where the file's own journal mode needs
// room only for the rows themselves: the run then leaves the log and tries
// the statement once more, which the failed attempt left undone.
void executeOnRun(RunState& state, const std::string& statement);

}  // namespace qb
