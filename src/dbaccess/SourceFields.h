#pragma once
#include <QString>

namespace qb {

// The main window's fields that the database modules read: the Access path
// (Text5), its password (Text6) and the SQLite path (Text1).
struct SourceFields {
    QString accessPath;
    QString accessPassword;
    QString sqlitePath;
    // Read what a damaged Access file still holds instead of failing
    // (after the user agreed to it).
    bool salvage = false;
};

}  // namespace qb
