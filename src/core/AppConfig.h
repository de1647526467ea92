#pragma once
// Fixed names and addresses of the product, in one place.

#include <QString>

namespace qb::config {

inline const QString kProductName = QStringLiteral("Quellbrook");
inline const QString kBuildDate = QStringLiteral("2021/08/31");

// Settings store: application name and section.
inline const QString kSettingsApplication = QStringLiteral("Harrowind");
inline const QString kSettingsSection = QStringLiteral("Quellbrook");

inline const QString kHomePage = QStringLiteral("https://www.harrowind.example/");
inline const QString kContactPage = QStringLiteral("https://www.harrowind.example/contact");
inline const QString kSupportEmail = QStringLiteral("support@harrowind.example");
inline const QString kSqliteBrowserPage = QStringLiteral("https://sqlitebrowser.org/");
// How to install and register the SQLite ODBC driver (the README's
// "Getting started"), offered when the driver is missing at startup.
inline const QString kSetupInstructionsPage = QStringLiteral("https://www.harrowind.example/quellbrook/#getting-started");

// Optional files in the application folder.
inline const QString kSampleAccessFile = QStringLiteral("/Samples/sample.mdb");
inline const QString kSampleSqliteFile = QStringLiteral("/Samples/sample1.db3");
inline const QString kCursorFile = QStringLiteral("/HAND-M.CUR");
inline const QString kSkinFile = QStringLiteral("/x/o.cjs");

}  // namespace qb::config
