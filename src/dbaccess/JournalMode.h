#pragma once
// Write-ahead logging for the length of a conversion run. With the
// connection's synchronous mode NORMAL, a commit in WAL mode is not synced
// to disk, so statements that each stand alone no longer wait three disk
// syncs apiece; a crash of the program still leaves every committed
// statement in the file. The file's own journal mode is put back at the
// end, which checkpoints the log and removes the -wal and -shm files.

#include "Connection.h"

#include <string>

namespace qb {

class WriteAheadLog {
public:
    // Switches the file open on `connection` to WAL. Where that cannot be
    // had (a read-only folder, no shared memory, another connection in the
    // middle of a transaction) the file stays as it was and nothing is said:
    // the statements then run exactly as they would without this.
    explicit WriteAheadLog(Connection& connection);
    ~WriteAheadLog();
    WriteAheadLog(const WriteAheadLog&) = delete;
    WriteAheadLog& operator=(const WriteAheadLog&) = delete;

    // True while the file is in WAL mode because of this object.
    bool active() const { return !previous_.empty(); }
    // Puts the earlier journal mode back while the connection is still
    // open; does nothing the second time or when the switch never happened.
    void restore() noexcept;
    // Restores the earlier mode and says whether the file has left WAL
    // for good (false when it was not in WAL because of this object, or
    // could not leave it).
    bool leave() noexcept;

private:
    Connection& connection_;
    std::string previous_;  // the mode to go back to; empty when inactive
};

// The journal mode the file open on `connection` is in, in lower case.
std::string journalModeOf(Connection& connection);

}  // namespace qb
