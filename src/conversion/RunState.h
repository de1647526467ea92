#pragma once
#include "dbaccess/Connection.h"

#include <memory>

namespace qb {

// State the conversion run shares with the SQL Preview window: the
// connection it executes on and the two flags through which the window
// answers. The main window owns it for the whole program run.
struct RunState {
    std::unique_ptr<Connection> SQLite_conn;
    bool SQLFormOK = false;
    bool IsConverting = false;
    bool StopConverting = false;
};

}  // namespace qb
