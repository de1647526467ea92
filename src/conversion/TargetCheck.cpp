#include "TargetCheck.h"

#include "core/DbError.h"
#include "core/Interaction.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"

#include <QFile>
#include <QFileInfo>

namespace qb {

namespace {

TargetRefusal refusal(TargetProblem problem, const QString& path, const QString& reason) {
    return {problem, path + QStringLiteral(": cannot be used as the SQLite file: ") + reason};
}

}  // namespace

TargetRefusal sqliteTargetRefusal(const QString& path) {
    try {
        Connection::create();
    } catch (const DbError&) {
        return refusal(TargetProblem::DriverMissing, path,
                       QStringLiteral("driver missing: the \"SQLite3 ODBC Driver\" is not registered with the ODBC "
                                      "driver manager"));
    }
    if (path.isEmpty()) return {TargetProblem::NotNamed, QStringLiteral("No SQLite file is named.")};
    try {
        SQLiteConnectionString(path);
    } catch (const DbError& e) {
        return refusal(TargetProblem::BadPath, path, QString::fromStdString(e.description()));
    }
    const QFileInfo info(path);
    if (!info.exists()) return refusal(TargetProblem::Missing, path, QStringLiteral("missing"));
    if (info.isHidden())
        return refusal(TargetProblem::Hidden, path,
                       QStringLiteral("hidden (its name starts with a dot), which the conversion refuses"));
    if (!info.isFile()) return refusal(TargetProblem::NotAFile, path, QStringLiteral("not a regular file"));
    // SQLite opens no file whose full path is longer than this.
    constexpr qsizetype kSqlitePathBytes = 512;
    if (const qsizetype bytes = QFile::encodeName(info.absoluteFilePath()).size(); bytes > kSqlitePathBytes)
        return refusal(TargetProblem::BadPath, path,
                       QStringLiteral("its full path is %1 bytes long, and SQLite opens no file whose path is longer "
                                      "than %2 bytes")
                           .arg(bytes)
                           .arg(kSqlitePathBytes));
    try {
        auto connection = Connection::create();
        connection->open(SQLiteConnectionString(path).toStdString());
    } catch (const DbError& e) {
        return refusal(TargetProblem::NotADatabase, path,
                       QStringLiteral("not a database: ") + QString::fromStdString(e.description()));
    }
    return refusal(TargetProblem::Unknown, path, QStringLiteral("it cannot be opened"));
}

bool createEmptySqliteFile(const QString& path, QString& error) {
    QFile file(path);
    // NewOnly: a file that appeared since the question is never emptied.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool offerSqliteTarget(Interaction& ui, const QString& path) {
    const TargetRefusal why = sqliteTargetRefusal(path);
    if (why.problem != TargetProblem::Missing) {
        showInfo(ui, why.text);
        return false;
    }
    const QString question =
        QStringLiteral("The SQLite file '") + path + QStringLiteral("' does not exist. Create it?");
    if (askYesNo(ui, question) != MsgResult::Yes) return false;
    QString error;
    if (!createEmptySqliteFile(path, error)) {
        showInfo(ui, path + QStringLiteral(": cannot be created: ") + error);
        return false;
    }
    if (TestSQLiteDatabase(path)) return true;
    // A file made here that cannot serve is not left behind.
    const TargetRefusal after = sqliteTargetRefusal(path);
    QFile::remove(path);
    showInfo(ui, after.text);
    return false;
}

}  // namespace qb
