// quellbrook-convert as a user runs it: a child process with arguments,
// exit status, output and the SQLite file it leaves behind.

#include "ConversionTestSupport.h"

#include "conversion/ValueText.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace qb::test {
namespace {

using Result = CliResult;

Result convert(const QStringList& arguments, const QString& locale = QStringLiteral("C")) {
    return runConvert(arguments, {}, 60000, QStringLiteral(QB_CONVERT_EXE), locale);
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
};

TEST_F(Cli, HelpAndVersion) {
    const Result help = convert({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0) << show(help);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: quellbrook-convert")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("created when it does not exist")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--overwrite")));

    const Result version = convert({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.trimmed().contains(QRegularExpression(QStringLiteral("^quellbrook-convert \\d+\\.\\d+"))))
        << show(version);
}

TEST_F(Cli, UsageErrorsExitWith2) {
    const QString mdb = fixture("sample.mdb");
    const QString db = path("u.db");
    const std::vector<QStringList> wrong = {
        {},
        {mdb},
        {mdb, db, QStringLiteral("third")},
        {QStringLiteral("--nonsense"), mdb, db},
        {QStringLiteral("--overwrite"), QStringLiteral("maybe"), mdb, db},
        {mdb, db, QStringLiteral("--overwrite")},
        {QStringLiteral("--sql"), QString(), mdb, db},
        {QStringLiteral("--fast"), QStringLiteral("--sql"), path("s.sql"), mdb, db},
    };
    for (const QStringList& args : wrong) {
        const Result r = convert(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << "\n" << show(r);
        EXPECT_TRUE(r.err.contains(QStringLiteral("--help"))) << show(r);
    }
    EXPECT_FALSE(QFile::exists(db));
}

TEST_F(Cli, UnreadableAccessFileExitsWith2BeforeWriting) {
    const QString missing = path("missing.mdb");
    const QString db = path("m.db");
    const Result r = convert({missing, db});
    EXPECT_EQ(r.exitCode, 2) << show(r);
    EXPECT_TRUE(r.err.contains(missing)) << show(r);
    EXPECT_FALSE(QFile::exists(db));

    const Result wrongPassword = convert({QStringLiteral("--password"), QStringLiteral("secret1"),
                                          fixture("password.mdb"), db});
    EXPECT_EQ(wrongPassword.exitCode, 2) << show(wrongPassword);
    EXPECT_TRUE(wrongPassword.err.contains(QStringLiteral("Not a valid password."))) << show(wrongPassword);
    EXPECT_FALSE(QFile::exists(db));

    const QString notADatabase = path("text.db");
    ASSERT_TRUE(writeFile(notADatabase, "this is not a database\n"));
    const Result wrongTarget = convert({fixture("sample.mdb"), notADatabase});
    EXPECT_EQ(wrongTarget.exitCode, 2) << show(wrongTarget);
    EXPECT_TRUE(wrongTarget.err.contains(notADatabase)) << show(wrongTarget);

    const Result right = convert({QStringLiteral("--password"), QStringLiteral("Secret1"), fixture("password.mdb"), db});
    EXPECT_EQ(right.exitCode, 0) << show(right);
    EXPECT_EQ(SqliteReader(db).rowCount("Orders"), 30);
}

TEST_F(Cli, CreatesTheSqliteFileAndSummarises) {
    const QString db = path("new.db");
    const Result r = convert({fixture("sample.mdb"), db});
    EXPECT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(r.out, QStringLiteral("Tables: 3, rows: 60, failures: 0\n"));
    EXPECT_TRUE(r.err.isEmpty()) << show(r);
    SqliteReader reader(db);
    EXPECT_EQ(reader.tableNames(), (std::vector<std::string>{"Customers", "Orders", "Products"}));
    EXPECT_EQ(reader.rowCount("Customers"), 18);
}

TEST_F(Cli, OverwriteChoices) {
    const QString db = path("o.db");
    ASSERT_EQ(convert({fixture("sample.mdb"), db}).exitCode, 0);
    SqliteReader(db).execute("INSERT INTO Customers(ID, Name) VALUES(999, 'marker')");
    const auto customers = [&] { return SqliteReader(db).rowCount("Customers"); };

    // Without a terminal nobody can answer: refuse, and touch nothing.
    const Result ask = convert({fixture("sample.mdb"), db});
    EXPECT_EQ(ask.exitCode, 2) << show(ask);
    EXPECT_TRUE(ask.err.contains(QStringLiteral("--overwrite yes"))) << show(ask);
    EXPECT_EQ(customers(), 19);

    const Result no = convert({QStringLiteral("--overwrite"), QStringLiteral("no"), fixture("sample.mdb"), db});
    EXPECT_EQ(no.exitCode, 0) << show(no);
    EXPECT_EQ(no.out, QStringLiteral("Tables: 0, rows: 0, failures: 0\n"));
    EXPECT_EQ(customers(), 19);

    const Result yes = convert({QStringLiteral("--overwrite"), QStringLiteral("yes"), fixture("sample.mdb"), db});
    EXPECT_EQ(yes.exitCode, 0) << show(yes);
    EXPECT_EQ(yes.out, QStringLiteral("Tables: 3, rows: 60, failures: 0\n"));
    EXPECT_EQ(customers(), 18);
    EXPECT_EQ(SqliteReader(db).rowCount("Orders"), 30);
}

TEST_F(Cli, SqlFileHoldsTheStatementsInsteadOfExecuting) {
    const QString db = path("s.db");
    const QString sql = path("out.sql");
    const Result r = convert({QStringLiteral("--sql"), sql, fixture("sample.mdb"), db});
    EXPECT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(r.out, QStringLiteral("Statements written: 63 (") + sql +
                         QStringLiteral(")\nTables: 3, rows: 60, failures: 0\n"));

    // Each statement ends with ";" and a line break; a value may hold line
    // breaks of its own (Customers has a two-line note).
    QFile f(sql);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    ASSERT_TRUE(text.endsWith(QLatin1Char('\n')));
    const QStringList statements =
        text.chopped(1).split(QRegularExpression(QStringLiteral("\n(?=CREATE TABLE \"|INSERT INTO \")")));
    for (const QString& s : statements) EXPECT_TRUE(s.endsWith(QLatin1Char(';'))) << s.toStdString();
    ASSERT_EQ(statements.size(), 63);
    int creates = 0;
    for (const QString& s : statements) {
        if (s.startsWith(QStringLiteral("CREATE TABLE \""))) ++creates;
        else EXPECT_TRUE(s.startsWith(QStringLiteral("INSERT INTO \""))) << s.toStdString();
    }
    EXPECT_EQ(creates, 3);
    EXPECT_TRUE(text.contains(QStringLiteral("'Line one\r\nLine two');\n")));
    EXPECT_TRUE(SqliteReader(db).tableNames().empty());

    // A file that cannot be written is a failure, not a success.
    const Result unwritable = convert({QStringLiteral("--sql"), path("no/such/dir.sql"), fixture("sample.mdb"), db});
    EXPECT_EQ(unwritable.exitCode, 1) << show(unwritable);
    EXPECT_TRUE(unwritable.err.contains(QStringLiteral("Cannot write"))) << show(unwritable);
}

TEST_F(Cli, FailedStatementsGiveExit1) {
    const QString db = path("e.db");
    const Result r = convert({fixture("edge.mdb"), db});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("at line 306"))) << show(r);
    EXPECT_EQ(r.err.count(QStringLiteral("at line ")), 1) << show(r);
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("failures: 1\n"))) << show(r);
    EXPECT_EQ(SqliteReader(db).rowCount("Order Details"), 5);
}

// Numbers keep their point and texts stay as they are under any locale;
// dates follow the locale.
class CliLocale : public Cli, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliLocale, ValuesUnderTheLocale) {
    const QString name = QString::fromLatin1(GetParam());
    const QLocale locale(name.section(QLatin1Char('.'), 0, 0));
    const ValueFormat format(locale);
    const DateTextFn dates = [&](const QString& iso) {
        return dateText(iso, locale, format.datePattern(), format.timePattern());
    };
    for (const char* file : {"types.mdb", "sample.mdb"}) {
        const QString db = path(QStringLiteral("loc-") + QString::fromLatin1(file) + QStringLiteral(".db"));
        const Result r = convert({fixture(file), db}, name);
        ASSERT_EQ(r.exitCode, 0) << show(r);
        SqliteReader reader(db);
        for (const QJsonObject& t : manifestUserTables(QString::fromLatin1(file)))
            expectTableMatchesManifest(reader, t, dates, name.toStdString() + " " + file);
    }
    SqliteReader reader(path(QStringLiteral("loc-types.mdb.db")));
    const std::string dateOf3 = reader.scalar("SELECT colDate FROM AllTypes WHERE rowid = 3");
    const std::string dateOf4 = reader.scalar("SELECT colDate FROM AllTypes WHERE rowid = 4");
    if (name.startsWith(QStringLiteral("de_DE"))) {
        EXPECT_EQ(dateOf3, "04.03.1850");
        EXPECT_EQ(dateOf4, "31.08.2021 23:59:59");
    } else {
        EXPECT_EQ(dateOf3, "3/4/1850");
        EXPECT_EQ(dateOf4, "8/31/2021 11:59:59 PM");
    }
    EXPECT_EQ(reader.scalar("SELECT colText || '|' || colMemo FROM AllTypes WHERE rowid = 8"), "1,234|1,234");
    EXPECT_EQ(reader.scalar("SELECT colText || '|' || colMemo FROM AllTypes WHERE rowid = 9"), "12,5|12,5");
    EXPECT_EQ(reader.scalar("SELECT typeof(colDouble) || ' ' || colDouble FROM AllTypes WHERE rowid = 6"), "real -2.5");
}

INSTANTIATE_TEST_SUITE_P(Locales, CliLocale, ::testing::Values("en_US.UTF-8", "de_DE.UTF-8"), [](const auto& info) {
    return std::string(info.param).substr(0, 5);
});

// The fast mode binds the same value texts the statements carry.
class CliFast : public Cli, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliFast, SameDatabaseAsDirectMode) {
    const QString file = fixture(GetParam());
    const QString direct = path(QStringLiteral("direct.db"));
    const QString fast = path(QStringLiteral("fast.db"));
    const Result a = convert({file, direct});
    const Result b = convert({QStringLiteral("--fast"), file, fast});
    EXPECT_EQ(a.exitCode, b.exitCode) << show(a) << "\n" << show(b);
    EXPECT_EQ(a.out, b.out);
    const std::string dumpA = dumpDatabase(direct);
    EXPECT_GT(dumpA.size(), 100u);
    EXPECT_EQ(dumpA, dumpDatabase(fast));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CliFast, ::testing::ValuesIn(kConversionFixtures), fixtureTestName);

}  // namespace
}  // namespace qb::test
