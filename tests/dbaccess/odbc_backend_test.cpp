#include "Fixtures.h"
#include "dbaccess/Backends.h"
#include "dbaccess/BoundNumber.h"
#include "dbaccess/Connection.h"
#include "dbaccess/OdbcBackend.h"
#include "dbaccess/SQLite.h"
#include "odbc_probe.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qb {
namespace {

std::string sqliteString(const QString& path) { return SQLiteConnectionString(path).toStdString(); }

std::unique_ptr<Connection> openSqlite(const QString& path) {
    auto c = Connection::create();
    c->open(sqliteString(path));
    return c;
}

std::vector<std::vector<Variant>> readAll(Connection& c, const std::string& sql) {
    Recordset rs;
    rs.open(sql, c);
    std::vector<std::vector<Variant>> rows;
    for (; !rs.eof(); rs.moveNext()) rows.push_back(rs.values());
    return rows;
}

long errorNumber(const std::function<void()>& f, std::string* description = nullptr) {
    try {
        f();
    } catch (const DbError& e) {
        if (description) *description = e.description();
        return e.number();
    }
    return 0;
}

TEST(OdbcBackend, PathWithSemicolonIsRefusedBeforeTheDriverCreatesAnything) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Each of these would make the driver open (and create) a file other
    // than the one named: the part before the ";".
    const QStringList paths = {dir.filePath("a;b.db"), dir.filePath("x;Timeout=5"),
                               dir.filePath("y;NoCreat=1.db"), dir.filePath("z;"), dir.filePath("w;;v.db")};
    for (const QString& path : paths) {
        std::string description;
        EXPECT_NE(errorNumber([&] { openSqlite(path); }, &description), 0) << path.toStdString();
        EXPECT_NE(description.find("\";\""), std::string::npos) << description;
    }
    EXPECT_TRUE(test::entriesOf(dir.path()).isEmpty()) << test::entriesOf(dir.path()).join(",").toStdString();
}

TEST(OdbcBackend, AcceptedStringsStillOpenAndOddButSafeCharactersPass) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // "=", braces and blanks cannot split the value the way ";" does.
    const QString path = dir.filePath("odd =name {x}.db");
    EXPECT_NO_THROW(openSqlite(path)->close());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_NO_THROW(checkOdbcConnectionString("DRIVER={SQLite3 ODBC Driver};Database=/tmp/q.db;JournalMode=WAL"));
    EXPECT_THROW(checkOdbcConnectionString("DRIVER=SQLite3 ODBC Driver;Database=/tmp/q.db;Database=/tmp/r.db"),
                 DbError);
}

TEST(OdbcBackend, FileThatIsNotADatabaseFailsAtOpen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("notes.db");
    ASSERT_TRUE(test::writeFile(
        path, QByteArray("This is a plain text file, long enough to fill a header page.\n").repeated(20)));
    std::string description;
    EXPECT_NE(errorNumber([&] { openSqlite(path); }, &description), 0);
    EXPECT_NE(description.find("not a database"), std::string::npos) << description;
}

TEST(OdbcBackend, UnknownDriverIsTheMissingProviderCase) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = Connection::create();
    std::string description;
    EXPECT_EQ(errorNumber([&] { c->open("DRIVER=No Such ODBC Driver 42;Database=" + dir.filePath("a.db").toStdString()); },
                          &description),
              errnum::ProviderNotFound);
    EXPECT_EQ(description, "Provider cannot be found. It may not be properly installed.");
    EXPECT_FALSE(c->isOpen());
    EXPECT_FALSE(odbcDriverRegistered("No Such ODBC Driver 42"));
    EXPECT_TRUE(odbcDriverRegistered("SQLite3 ODBC Driver"));
}

TEST(OdbcBackend, RejectedStatementCarriesSQLExceptionAndTheDriverText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = openSqlite(dir.filePath("t.db"));
    std::string description;
    EXPECT_EQ(errorNumber([&] { c->execute("INSERT INTO t VALUE (1)"); }, &description), errnum::Generic);
    EXPECT_NE(description.find("SQLException: [SQLite]near \"VALUE\": syntax error (1)"), std::string::npos)
        << description;
    // The connection stays usable after a failure.
    EXPECT_NO_THROW(c->execute("CREATE TABLE t (a INTEGER)"));
    EXPECT_NE(errorNumber([&] { readAll(*c, "SELECT nope FROM t"); }, &description), 0);
    EXPECT_NE(description.find("SQLException: "), std::string::npos);
    EXPECT_NE(description.find("no such column: nope"), std::string::npos) << description;
}

TEST(OdbcBackend, SchemaRowsetListsTablesAndViewsWithNameAndType) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = openSqlite(dir.filePath("s.db"));
    auto empty = c->openSchema(adSchemaTables);
    EXPECT_TRUE(empty->eof());
    EXPECT_TRUE(empty->bof());
    empty->close();

    c->execute("CREATE TABLE zeta (a TEXT)");
    c->execute("CREATE TABLE alpha (b INTEGER)");
    c->execute("CREATE VIEW beta AS SELECT * FROM alpha");
    auto rs = c->openSchema(adSchemaTables);
    EXPECT_EQ(rs->recordcount(), 3);
    EXPECT_EQ(rs->field("TABLE_NAME").type, 200);  // adVarChar
    std::vector<std::pair<std::string, std::string>> rows;
    for (; !rs->eof(); rs->moveNext())
        rows.emplace_back(std::get<std::string>(rs->field("table_name").value()),
                          std::get<std::string>(rs->field("TABLE_TYPE").value()));
    // In the driver's order, which is the order of creation.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"zeta", "TABLE"}, {"alpha", "TABLE"}, {"beta", "VIEW"}};
    EXPECT_EQ(rows, expected);
}

TEST(OdbcBackend, RowsetValuesKeepTheirKindAndNothingIsLost) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = openSqlite(dir.filePath("v.db"));
    c->execute("CREATE TABLE v (i INTEGER, d DOUBLE, t TEXT, b BLOB)");
    c->execute("INSERT INTO v VALUES (9007199254740993, 2.5, 'x''y', X'00FF10')");
    c->execute("INSERT INTO v VALUES (NULL, NULL, NULL, NULL)");
    // SQLite keeps text in a numeric column; it must come back whole.
    c->execute("INSERT INTO v VALUES ('12abc', 'n/a', 42, NULL)");
    const std::string longText(10000, 'L');
    c->execute("INSERT INTO v VALUES (0, 0, '" + longText + "', NULL)");

    Recordset rs;
    rs.open("SELECT * FROM v", *c);
    EXPECT_EQ(rs.recordcount(), 4);
    ASSERT_EQ(rs.fieldCount(), 4);
    EXPECT_EQ(rs.field(0).name, "i");
    EXPECT_EQ(rs.field(0).type, 3);    // adInteger
    EXPECT_EQ(rs.field(1).type, 5);    // adDouble
    EXPECT_EQ(rs.field(2).type, 201);  // adLongVarChar, as the driver reports TEXT
    EXPECT_EQ(rs.field(3).type, 128);  // adBinary
    auto rows = readAll(*c, "SELECT * FROM v");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], Variant(std::int64_t{9007199254740993}));
    EXPECT_EQ(rows[0][1], Variant(2.5));
    EXPECT_EQ(rows[0][2], Variant(std::string("x'y")));
    EXPECT_EQ(rows[0][3], Variant(Bytes{0x00, 0xFF, 0x10}));
    for (const auto& v : rows[1]) EXPECT_TRUE(isNull(v));
    EXPECT_EQ(rows[2][0], Variant(std::string("12abc")));
    EXPECT_EQ(rows[2][1], Variant(std::string("n/a")));
    EXPECT_EQ(rows[3][2], Variant(longText));
}

TEST(OdbcBackend, NonAsciiPathsNamesAndValuesRoundTrip) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Kundendaten \u00fc\u20ac.db"));
    const std::string table = QStringLiteral("B\u00fccher \u65e5\u672c").toStdString();
    const std::string value = QStringLiteral("Stra\u00dfe \u20ac 5 \U0001F600").toStdString();
    auto c = openSqlite(path);
    c->execute("CREATE TABLE \"" + table + "\" (v TEXT)");
    c->execute("INSERT INTO \"" + table + "\" VALUES ('" + value + "')");
    auto rs = c->openSchema(adSchemaTables);
    ASSERT_FALSE(rs->eof());
    EXPECT_EQ(std::get<std::string>(rs->field("TABLE_NAME").value()), table);
    auto rows = readAll(*c, "SELECT v FROM \"" + table + "\"");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Variant(value));
    c->close();
    EXPECT_EQ(test::entriesOf(dir.path()), QStringList{QStringLiteral("Kundendaten \u00fc\u20ac.db")});
}

TEST(OdbcBackend, NonAsciiRoundTripUnderThePlainCLocale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "C");
    env.insert("LC_ALL", "C");
    const test::ProbeOutput out = test::runProbe({"roundtrip", dir.path()}, env);
    ASSERT_TRUE(out.finished);
    EXPECT_EQ(out.exitCode, 0) << out.text.toStdString() << out.errors.toStdString();
    // The child really ran without UTF-8.
    EXPECT_TRUE(out.text.contains("CODESET ANSI_X3.4-1968")) << out.text.toStdString();
    EXPECT_EQ(out.values("TABLE"), QStringList{QStringLiteral("T\u00e4belle_\u65e5")});
    const QString value = QStringLiteral("Gr\u00fc\u00dfe \u20ac \U0001F600");
    EXPECT_EQ(out.values("VALUE"), (QStringList{value, value}));
    EXPECT_EQ(test::entriesOf(dir.path()), QStringList{QStringLiteral("Daten \u00fc\u20ac.db")});
}

TEST(OdbcBackend, PreparedInsertInsideATransaction) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = openSqlite(dir.filePath("p.db"));
    auto* odbc = dynamic_cast<OdbcBackend*>(c->backend());
    ASSERT_NE(odbc, nullptr);
    c->execute("CREATE TABLE p (a TEXT, b TEXT)");

    odbc->begin();
    auto insert = odbc->prepare("INSERT INTO p VALUES (?, ?)");
    for (int i = 0; i < 200; ++i) odbc->bindAndExecute(*insert, {std::to_string(i), "it's \"quoted\""});
    odbc->bindAndExecute(*insert, {std::nullopt, std::string()});
    odbc->commit();

    auto rows = readAll(*c, "SELECT count(*), count(a), max(b) FROM p");
    EXPECT_EQ(rows[0][0], Variant(std::int64_t{201}));
    EXPECT_EQ(rows[0][1], Variant(std::int64_t{200}));
    rows = readAll(*c, "SELECT a, b FROM p WHERE a IS NULL");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], Variant(std::string()));

    // A rolled back batch leaves nothing behind.
    odbc->begin();
    odbc->bindAndExecute(*insert, {"gone", "gone"});
    odbc->rollback();
    EXPECT_EQ(readAll(*c, "SELECT count(*) FROM p WHERE a = 'gone'")[0][0], Variant(std::int64_t{0}));

    // Wrong parameter counts and constraint failures are errors, not silence.
    std::string description;
    EXPECT_NE(errorNumber([&] { odbc->bindAndExecute(*insert, {"only one"}); }), 0);
    c->execute("CREATE TABLE u (k TEXT PRIMARY KEY)");
    auto unique = odbc->prepare("INSERT INTO u VALUES (?)");
    odbc->bindAndExecute(*unique, {"k"});
    EXPECT_NE(errorNumber([&] { odbc->bindAndExecute(*unique, {"k"}); }, &description), 0);
    EXPECT_NE(description.find("SQLException: "), std::string::npos) << description;
    // The driver may defer checking a prepared text until it runs.
    EXPECT_THROW(
        {
            auto bad = odbc->prepare("INSERT INTO missing VALUES (?)");
            odbc->bindAndExecute(*bad, {"v"});
        },
        DbError);

    // Statements may outlive their connection: their handles were freed
    // with it, and dropping them afterwards must not touch freed handles.
    c->close();
    insert.reset();
    unique.reset();
    EXPECT_FALSE(c->isOpen());
}

// The fast conversion leads its batch INSERT with an unused WITH clause so
// that the driver keeps the statement compiled between executions. A kept
// statement must still take each execution's own values, go on after a
// rejected execution, follow the table through a schema change and let the
// transaction commit.
TEST(OdbcBackend, KeptCompiledInsertTakesNewValuesAndSurvivesFailures) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = openSqlite(dir.filePath("w.db"));
    auto* odbc = dynamic_cast<OdbcBackend*>(c->backend());
    ASSERT_NE(odbc, nullptr);
    c->execute("CREATE TABLE w (k TEXT PRIMARY KEY, n NUMERIC)");

    odbc->begin();
    auto insert = odbc->prepare("WITH quellbrook_unused AS (SELECT 1) INSERT INTO w VALUES (?, ?), (?, ?)");
    odbc->bindAndExecute(*insert, {"a", "1", "b", "2.5"});
    std::string description;
    EXPECT_NE(errorNumber([&] { odbc->bindAndExecute(*insert, {"c", "3", "a", "4"}); }, &description), 0);
    EXPECT_NE(description.find("UNIQUE"), std::string::npos) << description;
    odbc->bindAndExecute(*insert, {"c", "3", "d", std::nullopt});
    c->execute("CREATE INDEX w_n ON w(n)");
    odbc->bindAndExecute(*insert, {"e", "5", "f", "x"});
    odbc->commit();

    const auto rows = readAll(*c, "SELECT group_concat(k || ':' || ifnull(n, 'null') || ':' || typeof(n), ' ') "
                                  "FROM (SELECT * FROM w ORDER BY k)");
    EXPECT_EQ(rows[0][0], Variant(std::string("a:1:integer b:2.5:real c:3:integer d:null:null e:5:integer f:x:text")));
    insert.reset();
    c->close();
}

TEST(OdbcBackend, CloseDisconnectsSoTheFileCanBeReopenedAndWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("c.db");
    {
        auto c = openSqlite(path);
        c->execute("CREATE TABLE c (a TEXT)");
        c->close();
        EXPECT_THROW(c->execute("SELECT 1"), DbError);
    }
    for (int i = 0; i < 50; ++i) {
        auto c = openSqlite(path);
        c->execute("INSERT INTO c VALUES ('" + std::to_string(i) + "')");
        // Released without close: the destructor must disconnect too.
    }
    auto c = openSqlite(path);
    EXPECT_EQ(readAll(*c, "SELECT count(*) FROM c")[0][0], Variant(std::int64_t{50}));
}

// Texts bound as numbers into numeric columns are stored exactly as the
// same texts written as literals: the same values, the same types, the
// texts that are no exact number left as they are.
TEST(OdbcBackend, NumbersBoundAsNumbersStoreWhatTheirTextsStore) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto c = openSqlite(dir.filePath("n.db"));
    c->execute("CREATE TABLE bound (i INTEGER, n NUMERIC, t TEXT)");
    c->execute("CREATE TABLE literal (i INTEGER, n NUMERIC, t TEXT)");
    auto* odbc = dynamic_cast<OdbcBackend*>(c->backend());
    ASSERT_NE(odbc, nullptr);
    auto insert = odbc->prepare("INSERT INTO bound VALUES (?, ?, ?)");
    const std::vector<char> kinds{kBindNumber, kBindNumber, kBindText};
    // The statement keeps its parameters bound from one execution to the
    // next: NULLs, changes of type and texts longer than any before among them.
    const std::optional<std::string> texts[] = {
        "0", "-0", "7", "-12", "007", "+5", " 5", "9223372036854775807", "-9223372036854775808",
        "9223372036854775808", "1.5", "-0.0", "3.0", "0.1", "0.3", "12.34", "-1234.5678",
        "123456789012.345678", "0.30000000000000004", "1e5", "1.", ".5", "abc", "", std::nullopt,
        "4503599627370497.5", "2.675", std::nullopt, "1.0000000000000002", std::string(300, '7'), "8", std::nullopt};
    int exact = 0;
    for (const auto& text : texts) {
        exact += text && exactNumber(*text).has_value() ? 1 : 0;
        odbc->bindAndExecute(*insert, {text, text, text}, kinds);
        const std::string literal = text ? "'" + *text + "'" : "NULL";
        c->execute("INSERT INTO literal VALUES (" + literal + ", " + literal + ", " + literal + ")");
    }
    EXPECT_GE(exact, 12);  // the cheap path is taken, not only the text one
    const std::string row = "quote(i) || typeof(i) || '|' || quote(n) || typeof(n) || '|' || quote(t) || typeof(t)";
    EXPECT_EQ(readAll(*c, "SELECT " + row + " FROM bound ORDER BY rowid"),
              readAll(*c, "SELECT " + row + " FROM literal ORDER BY rowid"));
    EXPECT_EQ(readAll(*c, "SELECT count(*) FROM bound b JOIN literal l ON b.rowid = l.rowid WHERE b.n IS l.n AND b.i IS l.i")[0][0],
              Variant(static_cast<std::int64_t>(std::size(texts))));
}

}  // namespace
}  // namespace qb
