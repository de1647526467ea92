#pragma once
// Reaching the Access source: its connection string and its user tables.

#include "SourceFields.h"
#include "core/Interaction.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace qb {

// Jet 4.0 form, or ACE 12.0 when the path's last five characters, lower-cased,
// are "accdb". With an empty path, the form's Access path and password are
// used instead of the arguments. Values containing ";" are braced. The
// form's salvage choice is passed on either way.
QString AccessConnectionString(const QString& path, const QString& password, const SourceFields& form);

// The user tables ("TABLE" rows of the tables schema), in schema order; no
// value when the provider check fails or the file at `path` does not exist.
// Errors while opening or reading the database are thrown (DbError).
std::optional<QStringList> GetAccessTableNames(Interaction& ui, const QString& path, const SourceFields& form);

// Fills `list` from GetAccessTableNames, yielding once per name; shows
// "Unable to access the database" when there is no result.
void ListAccessTables(Interaction& ui, QStringList& list, const QString& path, const SourceFields& form);

}  // namespace qb
