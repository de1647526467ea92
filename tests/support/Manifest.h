#pragma once
// The fixtures' MANIFEST.json (read once per process), and the fixture
// files the conversion tests run over.

#include "Fixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace qb::test {

inline const QJsonObject& manifest() {
    static const QJsonObject root = [] {
        QFile f(fixture(QStringLiteral("MANIFEST.json")));
        if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "MANIFEST.json cannot be read";
        return QJsonDocument::fromJson(f.readAll()).object();
    }();
    return root;
}

inline QJsonObject manifestFile(const QString& file) {
    for (const auto& f : manifest().value(QStringLiteral("files")).toArray())
        if (f.toObject().value(QStringLiteral("file")).toString() == file) return f.toObject();
    ADD_FAILURE() << "no manifest entry for " << file.toStdString();
    return {};
}

inline std::vector<QJsonObject> manifestUserTables(const QString& file) {
    std::vector<QJsonObject> tables;
    for (const auto& t : manifestFile(file).value(QStringLiteral("tables")).toArray())
        if (t.toObject().value(QStringLiteral("userTable")).toBool()) tables.push_back(t.toObject());
    return tables;
}

inline QJsonObject manifestTable(const QString& file, const QString& table) {
    for (const auto& t : manifestUserTables(file))
        if (t.value(QStringLiteral("name")).toString() == table) return t;
    ADD_FAILURE() << "no manifest table " << table.toStdString();
    return {};
}

// The fixtures a conversion is checked against value by value: every column
// type of both file formats, and the awkward names.
inline constexpr const char* kConversionFixtures[] = {"sample.mdb", "types.mdb", "types2007.accdb", "types2016.accdb",
                                                      "edge.mdb"};

// Test names for suites instantiated over fixture file names.
inline std::string fixtureTestName(const ::testing::TestParamInfo<const char*>& info) {
    std::string n = info.param;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

}  // namespace qb::test
