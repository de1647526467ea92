#include "Form1Texts.h"

#include "core/AppConfig.h"
#include "core/Main.h"

#include <QStringList>

namespace qb::form1 {

QString generalHelpText() {
    return QStringLiteral(
               "This software transfers text-based and numeric fields but does not handle binary / pictures "
               "fields.") +
           QStringLiteral("\r\n\r\n") + QStringLiteral("Use SQL Preview if your tables contains less than 32767 rows.") +
           QStringLiteral("\r\n\r\n") + QStringLiteral("Questions? Please contact Team Harrowind at ") +
           config::kContactPage;
}

QString sqliteHelpText() {
    return QStringLiteral("I use") + QStringLiteral("\r\r") + config::kSqliteBrowserPage + QStringLiteral("\r\r") +
           QStringLiteral("to interface with my SQLite database.");
}

QString qtFileFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        if (description.isEmpty() && patterns.isEmpty()) continue;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses of an entry, so the
        // description may keep its own "(*.mdb,*.accdb)".
        entries << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString sampleAccessPath() { return appFolder() + config::kSampleAccessFile; }
QString sampleSqlitePath() { return appFolder() + config::kSampleSqliteFile; }

}  // namespace qb::form1
