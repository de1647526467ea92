#include "Fixtures.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qb {
namespace {

void makeDatabase(const QString& path, const std::vector<std::string>& statements) {
    auto c = Connection::create();
    c->open(SQLiteConnectionString(path).toStdString());
    for (const auto& s : statements) c->execute(s);
    c->close();
}

TEST(SQLiteModule, ConnectionStringInsertsTheAbsolutePath) {
    EXPECT_EQ(SQLiteConnectionString(QStringLiteral("/data/my file.db3")),
              QStringLiteral("DRIVER=SQLite3 ODBC Driver;Database=/data/my file.db3;LongNames=0;Timeout=1000;"
                             "NoTXN=0;SyncPragma=NORMAL;StepAPI=0;"));
    EXPECT_EQ(SQLiteConnectionString(QStringLiteral("file:x.db")),
              QStringLiteral("DRIVER=SQLite3 ODBC Driver;Database=") + QDir::currentPath() +
                  QStringLiteral("/file:x.db;LongNames=0;Timeout=1000;NoTXN=0;SyncPragma=NORMAL;StepAPI=0;"));
    EXPECT_EQ(SQLiteConnectionString(QString()),
              QStringLiteral("DRIVER=SQLite3 ODBC Driver;Database=;LongNames=0;Timeout=1000;NoTXN=0;"
                             "SyncPragma=NORMAL;StepAPI=0;"));
}

TEST(SQLiteModule, TestDatabaseIsFalseForAnythingButAnOpenableNormalFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(TestSQLiteDatabase(QString()));

    // A missing file is not created by the test.
    const QString missing = dir.filePath("missing.db");
    EXPECT_FALSE(TestSQLiteDatabase(missing));
    EXPECT_FALSE(QFile::exists(missing));

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.db"));
    EXPECT_FALSE(TestSQLiteDatabase(dir.filePath("folder.db")));

    const QString text = dir.filePath("text.db");
    ASSERT_TRUE(test::writeFile(text, QByteArray("just some words, not a database\n").repeated(40)));
    EXPECT_FALSE(TestSQLiteDatabase(text));

    const QString good = dir.filePath("good.db");
    makeDatabase(good, {"CREATE TABLE t (a TEXT)"});
    EXPECT_TRUE(TestSQLiteDatabase(good));

    // Hidden files are not seen by the directory lookup.
    const QString hidden = dir.filePath(".hidden.db");
    ASSERT_TRUE(QFile::copy(good, hidden));
    EXPECT_FALSE(TestSQLiteDatabase(hidden));

    // A path the driver would misread is a false result, not an exception.
    const QString semicolon = dir.filePath("a;b.db");
    ASSERT_TRUE(QFile::copy(good, semicolon));
    EXPECT_FALSE(TestSQLiteDatabase(semicolon));
}

TEST(SQLiteModule, ListTablesLeavesOutOnlyNamesWithDollarInFourthPlace) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("list.db");
    makeDatabase(path, {"CREATE TABLE \"abc$def\" (a)", "CREATE TABLE \"ab$\" (a)", "CREATE TABLE \"$abc\" (a)",
                        "CREATE TABLE \"x\" (a)", "CREATE TABLE \"Order Details\" (a)",
                        "CREATE VIEW \"v$iew\" AS SELECT 1", "CREATE VIEW \"vie$\" AS SELECT 1"});
    QStringList list{QStringLiteral("stale entry")};
    ListSQLiteTables(list, path);
    QStringList sorted = list;
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"$abc", "Order Details", "ab$", "v$iew", "x"}));
}

TEST(SQLiteModule, ListTablesOfAnEmptyFileIsEmpty) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("empty.db");
    makeDatabase(path, {});
    QStringList list{QStringLiteral("stale entry")};
    ListSQLiteTables(list, path);
    EXPECT_TRUE(list.isEmpty());
}

TEST(SQLiteModule, ListTablesThrowsForAFileThatIsNotADatabase) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("text.db");
    ASSERT_TRUE(test::writeFile(path, QByteArray("plain text\n").repeated(100)));
    QStringList list{QStringLiteral("kept")};
    EXPECT_THROW(ListSQLiteTables(list, path), DbError);
    // The failure comes before the list is cleared.
    EXPECT_EQ(list, QStringList{QStringLiteral("kept")});
}

}  // namespace
}  // namespace qb
