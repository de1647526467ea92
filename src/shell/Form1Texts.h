#pragma once
// The main window's fixed texts and the small pieces of its logic that need
// no widget.

#include <QString>

namespace qb::form1 {

QString generalHelpText();  // "Help" at the top of the window
QString sqliteHelpText();   // "Help" in the SQLite frame

// Browse dialogs: titles and filters in the "Description|pattern|..." form.
inline const QString kAccessDialogTitle = QStringLiteral("Select Access Database");
inline const QString kAccessDialogFilter = QStringLiteral(
    "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
    "Microsoft 2007 Database (*.accdb)|*.accdb|");
inline const QString kSqliteDialogTitle = QStringLiteral("Select SQLite Database");
inline const QString kSqliteDialogFilter = QStringLiteral("SQLite Database (*.db*)|*.db*|All Files (*.*)|*.*|");

// Turns "Description|pat1;pat2|..." into Qt's "Description (pat1 pat2);;...".
// The first entry stays first, so it is the one selected when a dialog opens.
QString qtFileFilter(const QString& pipeFilter);

inline const QString kCouldNotConnect = QStringLiteral("Could not connect.");
inline const QString kConnectionSuccessful = QStringLiteral("Connection successful.");

// The sample files, in the application folder.
QString sampleAccessPath();
QString sampleSqlitePath();

}  // namespace qb::form1
