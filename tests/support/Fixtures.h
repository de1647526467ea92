#pragma once
// Where the shared test data lives, and a scratch folder per test.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace qb::test {

inline QString fixturesDir() { return QStringLiteral(QB_FIXTURES_DIR); }
inline QString fixture(const QString& relative) { return fixturesDir() + QLatin1Char('/') + relative; }

}  // namespace qb::test
