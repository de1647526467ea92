#pragma once
// Folder src/core: what every layer may use and that has no widgets: the
// error report, the interaction seam, these helpers, the product's
// configuration values and the database error type. It uses Qt Core only,
// never another folder of src/.
//
// Small shared operations of the program that need no window.

#include <QString>

namespace qb {

// The folder that holds the program file; paths of optional files are this
// folder followed by a text that starts with "/".
QString appFolder();
// For tests: use another folder as the application folder.
void setAppFolderForTesting(const QString& folder);

// True when the file's last-modification time can be read. Never fails.
bool FileExists(const QString& path);

// True when a directory lookup finds a normal file (not a directory) there.
bool isNormalFile(const QString& path);

// The application title: the product name cut at its last blank, again
// while longer than 40 characters; a name without a blank stays whole.
QString computeAppTitle(const QString& productName);
void SetAppTitle();
QString appTitle();

}  // namespace qb
