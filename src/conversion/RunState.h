#pragma once
#include "dbaccess/Connection.h"

#include <memory>

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
    PreviewEnd lastPreview;
};

}  // namespace qb
