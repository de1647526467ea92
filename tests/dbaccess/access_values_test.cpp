// Every value of the fixture files, decoded and compared with the manifest.

#include "Manifest.h"
#include "access_canonical.h"
#include "access_open.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>

using namespace qb;

namespace {

std::unique_ptr<Backend> openFixture(const QString& file, const QString& password = {}) {
    return test::openAccessFile(test::fixture(file).toStdString(), password.toStdString());
}

std::string selectAll(const QString& table) { return "SELECT * FROM `" + table.toStdString() + "`"; }

// JSON text of a canonical value as Python's json.dumps writes it
// (compact, non-ASCII kept).
std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string canonicalJson(const Variant& v) {
    if (isNull(v)) return "null";
    if (const bool* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    return jsonString(test::canonicalText(v));
}

// Compares one decoded value with its manifest form; "" when equal.
std::string mismatch(const Variant& got, const QJsonValue& want) {
    if (want.isNull()) return isNull(got) ? "" : "expected null, got " + canonicalJson(got);
    if (want.isBool()) {
        const bool* b = std::get_if<bool>(&got);
        return b && *b == want.toBool() ? "" : "expected " + std::string(want.toBool() ? "true" : "false") + ", got " + canonicalJson(got);
    }
    if (isNull(got)) return "expected " + jsonString(want.toString().toStdString()) + ", got null";
    const std::string text = test::canonicalText(got);
    return text == want.toString().toStdString() ? "" : "expected " + jsonString(want.toString().toStdString()) + ", got " + jsonString(text);
}

}  // namespace

// Values of every table under 50 rows, the column types against the
// providers' usual ADO types, and the exact row counts.
TEST(AccessValues, EveryFixtureValueMatchesTheManifest) {
    const QJsonObject& m = test::manifest();
    ASSERT_FALSE(m.isEmpty());
    long long compared = 0, mismatches = 0, tables = 0, columns = 0;
    for (const QJsonValue fv : m["files"].toArray()) {
        const QJsonObject file = fv.toObject();
        const QString name = file["file"].toString();
        if (name == "big.mdb") continue;  // covered by its checksums below
        SCOPED_TRACE(name.toStdString());
        auto backend = openFixture(name, file["password"].toString());
        for (const QJsonValue tv : file["tables"].toArray()) {
            const QJsonObject table = tv.toObject();
            if (!table["userTable"].toBool() || !table.contains("rows")) continue;
            SCOPED_TRACE(table["name"].toString().toStdString());
            ++tables;
            auto rows = backend->openRowset(selectAll(table["name"].toString()));
            const QJsonArray cols = table["columns"].toArray();
            ASSERT_EQ(rows->fields().size(), static_cast<std::size_t>(cols.size()));
            for (int c = 0; c < cols.size(); ++c) {
                const QJsonObject col = cols[c].toObject();
                EXPECT_EQ(rows->fields()[c].name, col["name"].toString().toStdString());
                const auto hint = QRegularExpression(R"(\((\d+)\))").match(col["adoTypeHint"].toString());
                ASSERT_TRUE(hint.hasMatch());
                EXPECT_EQ(rows->fields()[c].type, hint.captured(1).toInt()) << col["name"].toString().toStdString();
                ++columns;
            }
            const QJsonArray expected = table["rows"].toArray();
            EXPECT_EQ(rows->rowCount(), table["rowCount"].toInteger());
            std::vector<Variant> row;
            int r = 0;
            while (rows->next(row)) {
                ASSERT_LT(r, expected.size());
                const QJsonArray want = expected[r].toArray();
                ASSERT_EQ(row.size(), static_cast<std::size_t>(want.size()));
                for (int c = 0; c < want.size(); ++c) {
                    ++compared;
                    const std::string diff = mismatch(row[c], want[c]);
                    if (!diff.empty()) {
                        ++mismatches;
                        ADD_FAILURE() << "row " << r + 1 << " column " << cols[c].toObject()["name"].toString().toStdString()
                                      << ": " << diff;
                    }
                }
                ++r;
            }
            EXPECT_EQ(r, expected.size());
        }
    }
    std::printf("[ values ] %lld values in %lld tables (%lld columns) compared, %lld mismatches\n", compared, tables,
                columns, mismatches);
    EXPECT_GT(compared, 1000);
    EXPECT_EQ(mismatches, 0);
}

// big.mdb: 200,000 rows against the manifest's checksums, including the
// SHA-256 over every row's canonical JSON.
TEST(AccessValues, BigLedgerMatchesItsChecksums) {
    const QJsonObject ledger = test::manifestTable("big.mdb", "Ledger");
    ASSERT_FALSE(ledger.isEmpty());
    const QJsonObject sum = ledger["checksum"].toObject();

    const auto start = std::chrono::steady_clock::now();
    auto backend = openFixture("big.mdb");
    auto rows = backend->openRowset("SELECT * FROM `Ledger`");
    EXPECT_EQ(rows->rowCount(), sum["rowCount"].toInteger());
    const auto& fields = rows->fields();
    std::vector<long long> nulls(fields.size(), 0);
    long long count = 0, cleared = 0, idSum = 0;
    __int128 priceSum = 0;
    QCryptographicHash sha(QCryptographicHash::Sha256);
    std::vector<Variant> row;
    std::string line;
    while (rows->next(row)) {
        ++count;
        line = "[";
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (isNull(row[c])) ++nulls[c];
            if (c) line += ',';
            line += canonicalJson(row[c]);
        }
        line += "]\n";
        sha.addData(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
        idSum += std::get<std::int64_t>(row[0]);
        if (const auto* p = std::get_if<Currency>(&row[3])) priceSum += p->scaled;
        if (std::get<bool>(row[5])) ++cleared;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ big.mdb ] %lld rows decoded and hashed in %.2f s\n", count, seconds);
    EXPECT_EQ(count, sum["rowCount"].toInteger());
    EXPECT_EQ(std::to_string(idSum), sum["sumExact"].toObject()["ID"].toString().toStdString());
    EXPECT_EQ(test::exactDecimal(priceSum < 0, static_cast<unsigned __int128>(priceSum < 0 ? -priceSum : priceSum), 4),
              sum["sumExact"].toObject()["Price"].toString().toStdString());
    EXPECT_EQ(cleared, sum["countTrue"].toObject()["Cleared"].toInteger());
    for (std::size_t c = 0; c < fields.size(); ++c)
        EXPECT_EQ(nulls[c], sum["nullCount"].toObject()[QString::fromStdString(fields[c].name)].toInteger()) << fields[c].name;
    EXPECT_EQ(sha.result().toHex().toStdString(), sum["sha256OfCanonicalRows"].toString().toStdString());
}

// Reading speed without the canonical formatting: the batch converter
// needs several hundred thousand rows per second.
TEST(AccessValues, BigLedgerReadsQuickly) {
    auto backend = openFixture("big.mdb");
    const auto start = std::chrono::steady_clock::now();
    auto rows = backend->openRowset("SELECT * FROM `Ledger`");
    std::vector<Variant> row;
    long long count = 0;
    while (rows->next(row)) ++count;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ big.mdb ] %lld rows counted and read in %.2f s (%.0f rows/s)\n", count, seconds, count / seconds);
    EXPECT_EQ(count, 200000);
    EXPECT_LT(seconds, 5.0);
}
