#include "SQLite.h"

#include "Connection.h"
#include "core/Main.h"

#include <QDir>

namespace qb {

QString SQLiteConnectionString(const QString& path) {
    QString database = path;
    if (!path.isEmpty()) {
        // The driver takes the value up to the next ";", with no quoting of
        // any kind.
        if (path.contains(QLatin1Char(';')))
            throw DbError(errnum::Generic, "The SQLite database path must not contain \";\": the ODBC driver would "
                                           "read the rest of it as connection options and open another file.");
        if (path.contains(QChar(u'\0')))
            throw DbError(errnum::Generic, "The SQLite database path must not contain a NUL character.");
        // Absolute, so that the file named is the file written: SQLite
        // never reads a path that starts with "/" as a "file:" URI. Not
        // cleaned: ".." after a symbolic link is not the folder it seems.
        if (QDir::isRelativePath(database)) database = QDir::currentPath() + QLatin1Char('/') + database;
    }
    return QStringLiteral("DRIVER=SQLite3 ODBC Driver;Database=") + database +
           QStringLiteral(";LongNames=0;Timeout=1000;NoTXN=0;SyncPragma=NORMAL;StepAPI=0;");
}

bool TestSQLiteDatabase(const QString& path) {
    try {
        if (path.isEmpty()) return false;
        if (!isNormalFile(path)) return false;
        auto connection = Connection::create();
        connection->open(SQLiteConnectionString(path).toStdString());
        return true;  // released, and so closed, on return
    } catch (...) {
        return false;
    }
}

void ListSQLiteTables(QStringList& list, const QString& path) {
    auto connection = Connection::create();
    connection->cursorLocation = adUseClient;
    connection->open(SQLiteConnectionString(path).toStdString());
    list.clear();
    auto schema = connection->openSchema(adSchemaTables);
    while (!schema->eof()) {
        const Variant& value = schema->field("TABLE_NAME").value();
        const QString name = std::holds_alternative<std::string>(value)
                                 ? QString::fromStdString(std::get<std::string>(value))
                                 : QString();
        if (name.size() < 4 || name.at(3) != QLatin1Char('$')) list.append(name);
        schema->moveNext();
    }
    schema->close();
    connection->close();
}

}  // namespace qb
