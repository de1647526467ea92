#pragma once
// The account of each table a run took: rows read from the Access file,
// rows its SQLite table holds afterwards, and what happened to it. The
// command line's summary and the window's "Done." word it the same way.

#include "core/Interaction.h"
#include "dbaccess/AccessSalvage.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace qb {

class Connection;
class ListViewModel;
struct RunState;

// One Access table as the run took it.
struct TableRecord {
    QString name;
    std::optional<MsgResult> answer;  // the overwrite question, when asked
    long long read = 0;               // rows rendered from the Access file
    long long failures = 0;           // failures reported while it ran
    bool open = true;
    bool rolledBack = false;
    bool noColumns = false;  // nothing of it could go into the script
    int reportsAtStart = 0;
    long long lostAtStart = 0;
    // What happened, when the run knows better than the counts ("stopped
    // after line 12"); empty otherwise.
    QString outcome;
};

// "Name: created, 18 rows read, 18 in the SQLite table"; the failures a
// table brings to the summary line beyond the ones already reported.
// `scriptWhole`: with a script, whether every statement reached it;
// `salvaged`: what a salvaging read passed over, when it passed over any.
long long tableLine(const TableRecord& t, std::optional<long long> present, bool script, bool scriptWhole,
                    std::string& out, const access::SalvageCounts* salvaged = nullptr);

// False when the table was skipped, failed, or has fewer rows in the SQLite
// file than were read.
bool arrivedWhole(const TableRecord& t, std::optional<long long> present);

// The rows of `table` in the SQLite file; none when there is no such table.
std::optional<long long> countRows(Connection& connection, const QString& table);

// The window's account, kept while the run goes: which table it is on, the
// rows it read, and how each preview window ended for the lines of each
// table in it.
class RunAccount {
public:
    void tableStarted(const QString& name);
    void answered(MsgResult answer);
    void rowRead() { if (!tables_.empty()) ++tables_.back().read; }
    // The table's CREATE TABLE was refused: its rows were passed over.
    void createRefused(long long rowsInAccess);
    // Failures reported while the table ran.
    void failuresReported(int count) { if (!tables_.empty()) tables_.back().failures += count; }
    // The current table's lines in the statement list: `before` lines were
    // there before its first, `after` after its last.
    void linesCollected(int before, int after);
    // The preview window has closed; `state` tells how.
    void previewClosed(const RunState& state);
    // Tables of the Access file the run never took.
    void notTaken(const QStringList& names);
    // The run read the Access file salvaging: what each table's read passed
    // over, and the damage found outside any one table.
    void salvaged(std::vector<access::SalvageReport> tables, std::vector<std::string> damage);

    // "Done.", followed by a line for each table that did not arrive whole.
    QString doneText(const QString& sqlitePath) const;

private:
    struct Lines {
        int first = 0;  // 1-based, in the list of the preview that showed them
        int last = 0;
        bool shown = false;
    };
    std::vector<TableRecord> tables_;
    std::vector<Lines> lines_;
    std::vector<access::SalvageReport> salvaged_;
    std::vector<std::string> damage_;
};

}  // namespace qb
