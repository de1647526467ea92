#pragma once
// Why an SQLite file cannot take a conversion, worded once for the command
// line and the window alike, and the window's offer to create a file that
// does not exist yet.

#include <QString>

namespace qb {

class Interaction;

enum class TargetProblem {
    NotNamed,       // the field is empty
    BadPath,        // the driver would misread the path
    DriverMissing,  // the ODBC driver is not registered
    Missing,        // no file of that name
    Hidden,         // its name starts with a dot
    NotAFile,       // a folder or a device
    NotADatabase,   // the driver cannot open it
    Unknown,        // every check passed; the open failed all the same
};

struct TargetRefusal {
    TargetProblem problem = TargetProblem::Unknown;
    // "<path>: cannot be used as the SQLite file: <reason>"
    QString text;
};

// Finds out why the run's test of the SQLite file fails: the driver first,
// as nothing can be opened without it, then in the order the test checks.
// Meant for a file the test has refused; for a usable one it says Unknown.
TargetRefusal sqliteTargetRefusal(const QString& path);

// Makes an empty SQLite database (a file of no bytes, which SQLite takes as
// one) at `path`, never over an existing file. False with the reason in
// `error` when it cannot.
bool createEmptySqliteFile(const QString& path, QString& error);

// The window's side of a refused SQLite file: a missing one is offered to be
// created ("The SQLite file '<path>' does not exist. Create it?"); any other
// refusal is shown. True when the file was created and passes the test now.
bool offerSqliteTarget(Interaction& ui, const QString& path);

}  // namespace qb
