#pragma once
// The per-user settings store: string values under the application name
// "Harrowind" and the section "Quellbrook". Values are written the moment a
// field changes and read back only when the main window loads.

#include <QString>

namespace qb::settings {

// The stored text, or `defaultValue` when the key is absent.
QString read(const QString& key, const QString& defaultValue = QString());

// Creates or replaces the value and writes the store out at once. The store
// holds the Access password in plain text, so its file is kept readable by
// its owner only.
void save(const QString& key, const QString& text);

// Where the store lives (for tests and diagnostics).
QString storeFileName();

// Conversions applied when a stored text is assigned to a control. A text
// that does not convert throws std::runtime_error("Type mismatch").
//   integer: a number, rounded half to even ("1.5" -> 2, "2.5" -> 2);
//   Boolean: "True"/"False" in any case, or a number (0 false, else true).
int toInteger(const QString& text);
bool toBoolean(const QString& text);

// "True" / "False", as the option handlers store them.
QString booleanText(bool value);

}  // namespace qb::settings
