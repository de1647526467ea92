#pragma once
// Where the shared test data lives, and writing and listing files in a
// test's scratch folder.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace qb::test {

inline QString fixturesDir() { return QStringLiteral(QB_FIXTURES_DIR); }
inline QString fixture(const QString& relative) { return fixturesDir() + QLatin1Char('/') + relative; }

// Replaces the file with `bytes`, creating the folders above it. False when
// any of that failed, so that a test can stop instead of testing the wrong file.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

// Every entry of the folder, hidden ones too, sorted by name.
inline QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace qb::test
