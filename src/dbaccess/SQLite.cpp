#include "SQLite.h"

#include "Connection.h"
#include "core/Main.h"

namespace qb {

QString SQLiteConnectionString(const QString& path) {
    return QStringLiteral("DRIVER=SQLite3 ODBC Driver;Database=") + path +
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
