#include "Access.h"

#include "Backends.h"
#include "Connection.h"
#include "ConnectionString.h"
#include "ODBCProvider.h"
#include "core/Main.h"

namespace qb {

namespace {

// A ";" in a path or password must not end the value: unquoted, a password
// such as "x;Data Source=..." would point the provider at another file.
QString quoted(const QString& value) {
    return QString::fromStdString(quoteConnectionValue(value.toStdString()));
}

QString textOf(const Variant& value) {
    return std::holds_alternative<std::string>(value) ? QString::fromStdString(std::get<std::string>(value))
                                                       : QString();
}

}  // namespace

QString AccessConnectionString(const QString& path, const QString& password, const SourceFields& form) {
    QString source = path;
    QString secret = password;
    if (path.isEmpty()) {
        source = form.accessPath;
        secret = form.accessPassword;
    }
    const bool ace = source.right(5).toLower() == QStringLiteral("accdb");
    const QString prefix = ace ? QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=")
                               : QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=");
    QString text = prefix + quoted(source) + QStringLiteral(";JET OLEDB:Database Password=") + quoted(secret);
    if (form.salvage) text += QStringLiteral(";") + QLatin1String(kSalvageKey) + QStringLiteral("=True");
    return text;
}

std::optional<QStringList> GetAccessTableNames(Interaction& ui, const QString& path, const SourceFields& form) {
    if (!CheckProvider(ui)) return std::nullopt;
    auto connection = Connection::create();
    if (!FileExists(path)) return std::nullopt;
    connection->open(AccessConnectionString(QString(), QString(), form).toStdString());
    auto schema = connection->openSchema(adSchemaTables);
    QStringList names;
    while (!schema->eof()) {
        if (textOf(schema->field("TABLE_TYPE").value()) == QStringLiteral("TABLE"))
            names.append(textOf(schema->field("TABLE_NAME").value()));
        schema->moveNext();
    }
    schema->close();
    connection->close();
    return names;
}

void ListAccessTables(Interaction& ui, QStringList& list, const QString& path, const SourceFields& form) {
    list.clear();
    const std::optional<QStringList> names = GetAccessTableNames(ui, path, form);
    if (!names) {
        showInfo(ui, QStringLiteral("Unable to access the database"));
        return;
    }
    list.clear();
    for (const QString& name : *names) {
        ui.yield();
        list.append(name);
    }
}

}  // namespace qb
