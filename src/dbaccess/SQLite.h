#pragma once
// Reaching the SQLite target through the "SQLite3 ODBC Driver".

#include <QString>
#include <QStringList>

namespace qb {

// "DRIVER=SQLite3 ODBC Driver;Database=<path>;LongNames=0;Timeout=1000;NoTXN=0;SyncPragma=NORMAL;StepAPI=0;"
// with the path made absolute (a relative one is taken from the current
// folder). Every SQLite connection is opened with it, so it is where a path
// the driver would misread is refused: one with ";" or NUL. Throws DbError
// then, before any file is touched.
QString SQLiteConnectionString(const QString& path);

// True when `path` is not empty, names an existing normal file, and a
// connection to it opens. Never throws, never shows anything.
bool TestSQLiteDatabase(const QString& path);

// Clears `list` and fills it with the file's table names, leaving out names
// whose fourth character is "$". Errors are thrown (DbError).
void ListSQLiteTables(QStringList& list, const QString& path);

}  // namespace qb
