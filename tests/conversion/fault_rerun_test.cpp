// A run into a file that earlier runs, or the user, already filled: a
// foreign key never refers to a table without the key it needs, child
// tables go with the table they belong to, and a user's table that has a
// child table's name is asked about like any other.

#include "fault_support.h"

#include <QTemporaryDir>

namespace qb::test {
namespace {

class Rerun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// SQLite fails the whole check ("foreign key mismatch") when a foreign key
// refers to columns without a unique key; a table name is then enough.
std::string foreignKeyCheck(const QString& file) {
    std::string out;
    try {
        SqliteReader db(file);
        for (const auto& row : db.query("PRAGMA foreign_key_check")) out += row.at(0).value_or("?") + ";";
    } catch (const DbError& e) {
        out = "error: " + e.description();
    }
    return out;
}

TEST_F(Rerun, ForeignKeysAlwaysFindTheirKey) {
    const QString complexFile = fixture("public/complexDataTestV2010.accdb");
    const QString children = path(QStringLiteral("children.db"));
    ASSERT_EQ(runConvert({QStringLiteral("--keys"), QStringLiteral("--child-tables"), complexFile, children}).exitCode, 0);
    // The parent comes back without its key, and its child tables go.
    const CliResult plain = runConvert({QStringLiteral("--overwrite"), QStringLiteral("yes"), complexFile, children});
    EXPECT_EQ(plain.exitCode, 0) << show(plain);
    EXPECT_EQ(SqliteReader(children).tableNames(), std::vector<std::string>{"Table1"});
    EXPECT_EQ(foreignKeyCheck(children), "");

    // Tables kept from a run without --keys have no key to refer to.
    const QString kept = path(QStringLiteral("kept.db"));
    ASSERT_EQ(runConvert({QStringLiteral("--fast"), fixture("public/nwind.mdb"), kept}).exitCode, 0);
    SqliteReader(kept).execute("DROP TABLE \"Order Details\"");
    const CliResult keys = runConvert({QStringLiteral("--keys"), QStringLiteral("--fast"), QStringLiteral("--overwrite"),
                                       QStringLiteral("no"), fixture("public/nwind.mdb"), kept});
    EXPECT_EQ(keys.exitCode, 0) << show(keys);
    EXPECT_TRUE(keys.err.contains(QStringLiteral("(Order Details to Orders): no foreign key written"))) << show(keys);
    EXPECT_EQ(foreignKeyCheck(kept), "");

    // Rows that break a foreign key when the run ends are failures.
    const CliResult limited = runConvert({QStringLiteral("--keys"), QStringLiteral("--limit"), QStringLiteral("5"),
                                          fixture("public/nwind.mdb"), path(QStringLiteral("limited.db"))});
    EXPECT_EQ(limited.exitCode, 1) << show(limited);
    EXPECT_TRUE(limited.err.contains(QStringLiteral("Table Order Details, row 1: its foreign key refers to no row of "
                                                    "Products.")))
        << show(limited);
}

TEST_F(Rerun, AUsersTableWithAChildTablesNameIsAskedAbout) {
    const QString file = path(QStringLiteral("mine.db"));
    {
        SqliteReader db(makeEmptyDatabase(dir.path(), QStringLiteral("mine.db")));
        db.execute("CREATE TABLE \"Table1_attach-data\"(note TEXT)");
        db.execute("INSERT INTO \"Table1_attach-data\" VALUES('mine')");
    }
    const QString source = fixture("public/complexDataTestV2010.accdb");
    const CliResult keep = runConvert({QStringLiteral("--child-tables"), QStringLiteral("--overwrite"),
                                       QStringLiteral("no"), source, file});
    EXPECT_EQ(keep.exitCode, 0) << show(keep);
    EXPECT_TRUE(keep.out.contains(QStringLiteral("Table1_attach-data_2: created, 3 rows read"))) << show(keep);
    EXPECT_EQ(SqliteReader(file).scalar("SELECT group_concat(note) FROM \"Table1_attach-data\""), "mine");

    const CliResult replace = runConvert({QStringLiteral("--child-tables"), QStringLiteral("--overwrite"),
                                          QStringLiteral("yes"), source, file});
    EXPECT_EQ(replace.exitCode, 0) << show(replace);
    EXPECT_TRUE(replace.out.contains(QStringLiteral("Table1_attach-data: replaced, 3 rows read"))) << show(replace);
}

}  // namespace
}  // namespace qb::test
