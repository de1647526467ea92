// quellbrook-convert as a user runs it: a child process with arguments,
// exit status, output and the SQLite file it leaves behind.

#include "ConversionTestSupport.h"

#include "conversion/ValueText.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
    // Each table with the rows read and the rows its SQLite table holds.
    EXPECT_EQ(r.out, QStringLiteral("Products: created, 12 rows read, 12 in the SQLite table\n"
                                    "Orders: created, 30 rows read, 30 in the SQLite table\n"
                                    "Customers: created, 18 rows read, 18 in the SQLite table\n"
                                    "Tables: 3, rows: 60, failures: 0\n"));
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
    EXPECT_EQ(no.out, QStringLiteral("Products: skipped, 0 rows read, 12 in the SQLite table\n"
                                     "Orders: skipped, 0 rows read, 30 in the SQLite table\n"
                                     "Customers: skipped, 0 rows read, 19 in the SQLite table\n"
                                     "Tables: 0, rows: 0, failures: 0\n"));
    EXPECT_EQ(customers(), 19);

    const Result yes = convert({QStringLiteral("--overwrite"), QStringLiteral("yes"), fixture("sample.mdb"), db});
    EXPECT_EQ(yes.exitCode, 0) << show(yes);
    EXPECT_EQ(yes.out, QStringLiteral("Products: replaced, 12 rows read, 12 in the SQLite table\n"
                                      "Orders: replaced, 30 rows read, 30 in the SQLite table\n"
                                      "Customers: replaced, 18 rows read, 18 in the SQLite table\n"
                                      "Tables: 3, rows: 60, failures: 0\n"));
    EXPECT_EQ(customers(), 18);
    EXPECT_EQ(SqliteReader(db).rowCount("Orders"), 30);
}

TEST_F(Cli, SqlFileHoldsTheStatementsInsteadOfExecuting) {
    const QString db = path("s.db");
    const QString sql = path("out.sql");
    const Result r = convert({QStringLiteral("--sql"), sql, fixture("sample.mdb"), db});
    EXPECT_EQ(r.exitCode, 0) << show(r);
    EXPECT_EQ(r.out, QStringLiteral("Products: CREATE TABLE and 12 rows written to the script\n"
                                    "Orders: CREATE TABLE and 30 rows written to the script\n"
                                    "Customers: CREATE TABLE and 18 rows written to the script\n"
                                    "Statements written: 63 (") +
                         sql + QStringLiteral(")\nTables: 3, rows: 60, failures: 0\n"));

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
    // The sqlite3 shell would drop a carriage return at a line's end.
    EXPECT_TRUE(text.contains(QStringLiteral("'Line one'||char(13)||'\nLine two');\n")));
    EXPECT_FALSE(QFileInfo::exists(db));

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

// --salvage: a sound file converts as without it; a cut one is no longer
// refused, its readable rows arrive, and the run says what was passed over.
TEST_F(Cli, SalvageRecoversACutFileAndExits1) {
    const Result sound = convert({QStringLiteral("--salvage"), fixture("sample.mdb"), path("s.db")});
    EXPECT_EQ(sound.exitCode, 0) << show(sound);
    EXPECT_FALSE(sound.out.contains(QStringLiteral("salvaged"))) << show(sound);

    QFile original(fixture("public/nwind.mdb"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QString cut = path("cut.mdb");
    QFile copy(cut);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(original.read(original.size() * 35 / 100 + 7));
    copy.close();
    EXPECT_EQ(convert({cut, path("plain.db")}).exitCode, 2);
    const QString db = path("cut.db");
    const Result r = convert({QStringLiteral("--salvage"), cut, db});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("salvaged, \\d+ rows read, \\d+ in the SQLite "
                                                                 "table; passed over: \\d+ pages, \\d+ rows"))))
        << show(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("bytes into a page"))) << show(r);
    // Tables whose definition is past the cut are named, not created empty.
    EXPECT_TRUE(r.err.contains(QStringLiteral("is damaged: none of its rows can be read"))) << show(r);
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("failures: 0\n"))) << show(r);
    EXPECT_GT(SqliteReader(db).rowCount("Orders"), 0);
}

// The password off the command line: a file, standard input or the
// environment; an option given on the command line wins over the variable.
TEST_F(Cli, PasswordFromFileStandardInputOrEnvironment) {
    const QString right = path("right.txt");
    const QString wrong = path("wrong.txt");
    ASSERT_TRUE(writeFile(right, "Secret1\r\nsecond line\n"));
    ASSERT_TRUE(writeFile(wrong, "secret1\n"));
    const QByteArray rightInput = QFile::encodeName(right);
    struct Case {
        QStringList options;
        QByteArray environment;  // QUELLBROOK_PASSWORD, when not empty
        bool rightOnStdin;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("--password-file"), right}, {}, false, 0},
        {{QStringLiteral("--password-file"), QStringLiteral("-")}, {}, true, 0},
        {{}, "Secret1", false, 0},
        {{QStringLiteral("--password-file"), right}, "secret1", false, 0},
        {{QStringLiteral("--password"), QStringLiteral("Secret1")}, "secret1", false, 0},
        {{QStringLiteral("--password-file"), wrong}, "Secret1", false, 2},
        {{QStringLiteral("--password-file"), path("missing.txt")}, {}, false, 2},
        {{QStringLiteral("--password"), QStringLiteral("Secret1"), QStringLiteral("--password-file"), right}, {}, false, 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString db = path(QStringLiteral("pw%1.db").arg(++n));
        if (!c.environment.isEmpty()) qputenv("QUELLBROOK_PASSWORD", c.environment);
        const Result r = runConvert(c.options + QStringList{fixture("password.mdb"), db}, [&] {
            if (!c.rightOnStdin) return;
            const int fd = ::open(rightInput.constData(), O_RDONLY);
            if (fd < 0 || ::dup2(fd, 0) < 0) ::_exit(120);
        });
        qunsetenv("QUELLBROOK_PASSWORD");
        SCOPED_TRACE(c.options.join(' ').toStdString() + " env " + c.environment.toStdString());
        EXPECT_EQ(r.exitCode, c.exitCode) << show(r);
        if (c.exitCode == 0) EXPECT_EQ(SqliteReader(db).rowCount("Orders"), 30);
        else EXPECT_FALSE(QFile::exists(db));
    }
    const Result help = convert({QStringLiteral("--help")});
    EXPECT_TRUE(help.out.contains(QStringLiteral("process list"))) << show(help);
    EXPECT_TRUE(help.out.contains(QStringLiteral("QUELLBROOK_PASSWORD"))) << show(help);
}

// --limit 0 creates the tables and copies no row, in every mode.
TEST_F(Cli, LimitZeroCreatesTablesWithoutRows) {
    const std::vector<QStringList> modes = {{}, {QStringLiteral("--fast")}, {QStringLiteral("--sql"), path("zero.sql")}};
    int n = 0;
    for (const QStringList& mode : modes) {
        const QString db = path(QStringLiteral("zero%1.db").arg(++n));
        const Result r = convert(mode + QStringList{QStringLiteral("--limit"), QStringLiteral("0"), fixture("sample.mdb"), db});
        SCOPED_TRACE(mode.join(' ').toStdString());
        EXPECT_EQ(r.exitCode, 0) << show(r);
        EXPECT_TRUE(r.out.endsWith(QStringLiteral("rows: 0, failures: 0\n"))) << show(r);
        if (!mode.isEmpty() && mode[0] == QStringLiteral("--sql")) {
            QFile f(path("zero.sql"));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QByteArray text = f.readAll();
            EXPECT_EQ(text.count("CREATE TABLE"), 3) << text.toStdString();
            EXPECT_FALSE(text.contains("INSERT")) << text.toStdString();
            continue;
        }
        SqliteReader reader(db);
        EXPECT_EQ(reader.tableNames(), (std::vector<std::string>{"Customers", "Orders", "Products"}));
        for (const auto& table : reader.tableNames()) EXPECT_EQ(reader.rowCount(table), 0) << table;
    }
}

// A target the conversion's own test refuses ends the program at once with
// the file and the reason, and a file made for the run is gone again.
TEST_F(Cli, RefusedTargetNamesFileAndReasonAndExits2) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.db")));
    ASSERT_TRUE(writeFile(path("text.db"), "this is not a database\n"));
    const QTemporaryDir noDrivers;
    struct Case {
        QString target;
        QString reason;
        bool existsAfter;
    };
    const std::vector<Case> cases = {
        {path(".x.db"), QStringLiteral("hidden"), false},
        {path("out/..__x.db"), QStringLiteral("hidden"), false},
        {path("folder.db"), QStringLiteral("not a regular file"), true},
        {path("text.db"), QStringLiteral("not a database"), true},
        {path("nodriver.db"), QStringLiteral("driver missing"), false},
    };
    for (const Case& c : cases) {
        const bool noDriver = c.reason == QStringLiteral("driver missing");
        if (noDriver) qputenv("ODBCSYSINI", QFile::encodeName(noDrivers.path()));
        const Result r = convert({fixture("sample.mdb"), c.target});
        qunsetenv("ODBCSYSINI");
        EXPECT_EQ(r.exitCode, 2) << show(r);
        EXPECT_TRUE(r.err.contains(c.target + QStringLiteral(": cannot be used as the SQLite file: ") + c.reason))
            << show(r);
        EXPECT_TRUE(r.out.isEmpty()) << show(r);
        EXPECT_EQ(QFileInfo::exists(c.target), c.existsAfter) << c.target.toStdString();
    }
    EXPECT_EQ(entriesOf(path("out")), QStringList());
}

// --sql never writes over an input, however the input is spelt.
TEST_F(Cli, SqlFileThatIsAnInputIsRefusedBeforeWriting) {
    const QString mdb = path("src.mdb");
    const QString db = path("t.db");
    ASSERT_TRUE(QFile::copy(fixture("sample.mdb"), mdb));
    ASSERT_EQ(convert({QStringLiteral("--limit"), QStringLiteral("1"), mdb, db}).exitCode, 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    ASSERT_EQ(::link(QFile::encodeName(mdb).constData(), QFile::encodeName(path("hard.mdb")).constData()), 0);
    ASSERT_TRUE(QFile::link(db, path("soft.db")));
    ASSERT_TRUE(QFile::link(path("new.db"), path("dangling.db")));
    const auto bytesOf = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray mdbBefore = bytesOf(mdb);
    const QByteArray dbBefore = bytesOf(db);
    const std::vector<std::pair<QString, QString>> cases = {  // --sql, SQLite file
        {mdb, db},
        {path("hard.mdb"), db},
        {path("sub/../src.mdb"), db},
        {db, db},
        {path("soft.db"), db},
        {path("./new.db"), path("new.db")},
        {path("dangling.db"), path("new.db")},
    };
    for (const auto& [sql, target] : cases) {
        const Result r = convert({QStringLiteral("--overwrite"), QStringLiteral("yes"), QStringLiteral("--sql"), sql, mdb, target});
        EXPECT_EQ(r.exitCode, 2) << sql.toStdString() << "\n" << show(r);
        EXPECT_TRUE(r.err.contains(QStringLiteral("names the same file"))) << show(r);
    }
    EXPECT_EQ(bytesOf(mdb), mdbBefore);
    EXPECT_EQ(bytesOf(db), dbBefore);
    EXPECT_FALSE(QFileInfo::exists(path("new.db")));
}

// In the fast mode a table's DROP, CREATE and rows are one change: a
// replacement that cannot be created leaves the old table as it was.
TEST_F(Cli, FastReplacementThatCannotBeCreatedKeepsTheOldTable) {
    const QString db = path("keep.db");
    makeEmptyDatabase(dir.path(), QStringLiteral("keep.db"));
    SqliteReader(db).execute("CREATE TABLE OnlyOle(note TEXT)");
    SqliteReader(db).execute("INSERT INTO OnlyOle VALUES('before')");
    const Result r = convert({QStringLiteral("--fast"), QStringLiteral("--overwrite"), QStringLiteral("yes"),
                              fixture("edge.mdb"), db});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("at line 306"))) << show(r);
    EXPECT_TRUE(r.out.contains(QStringLiteral("\nOnlyOle: failed (rolled back), 0 rows read, 1 in the SQLite table\n")))
        << show(r);
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("failures: 1\n"))) << show(r);
    SqliteReader reader(db);
    EXPECT_EQ(reader.scalar("SELECT note FROM OnlyOle"), "before");
    EXPECT_EQ(reader.rowCount("Order Details"), 5);
}

// The script goes to a temporary file as the rows come and takes its name
// at the end: memory does not grow with the rows, and the name never holds
// half a script.
TEST_F(Cli, SqlScriptStreamsWithFlatMemory) {
    const QString sql = path("big.sql");
    struct Run {
        int status = -1;
        long peakKiB = 0;
        qint64 smallestUnderName = -1;  // while running
    };
    const auto run = [&](const QStringList& options, const QString& target) {
        std::vector<std::string> args = {QB_CONVERT_EXE};
        for (const QString& a : options + QStringList{QStringLiteral("--sql"), sql, fixture("big.mdb"), target})
            args.push_back(a.toStdString());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        Run result;
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return result;
        posix_spawn_file_actions_destroy(&actions);
        rusage usage{};
        int status = 0;
        while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
            const QFileInfo seen(sql);
            if (seen.exists() && (result.smallestUnderName < 0 || seen.size() < result.smallestUnderName))
                result.smallestUnderName = seen.size();
            ::usleep(2000);
        }
        result.status = status;
        result.peakKiB = usage.ru_maxrss;
        return result;
    };
    const Run few = run({QStringLiteral("--limit"), QStringLiteral("1000")}, path("few.db"));
    ASSERT_TRUE(QFile::remove(sql));
    const Run all = run({}, path("all.db"));
    ASSERT_EQ(few.status, 0);
    ASSERT_EQ(all.status, 0);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps freed blocks in quarantine, so its peak grows
    // with what was ever allocated: the bound only speaks of a plain build.
    EXPECT_LT(all.peakKiB - few.peakKiB, 16 * 1024) << "peak " << few.peakKiB << " KiB for 1,010 rows, "
                                                    << all.peakKiB << " KiB for 200,010";
#endif
    QFile f(sql);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_GT(f.size(), 20 * 1024 * 1024);
    if (all.smallestUnderName >= 0) {
        EXPECT_EQ(all.smallestUnderName, f.size());
    }
    // The SQLite files are only read for a script, never made.
    EXPECT_EQ(entriesOf(dir.path()), (QStringList{QStringLiteral("big.sql")}));
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
    // The fast mode says that a failed table was rolled back.
    EXPECT_EQ(a.out, QString(b.out).remove(QStringLiteral(" (rolled back)")));
    const std::string dumpA = dumpDatabase(direct);
    EXPECT_GT(dumpA.size(), 100u);
    EXPECT_EQ(dumpA, dumpDatabase(fast));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CliFast, ::testing::ValuesIn(kConversionFixtures), fixtureTestName);

}  // namespace
}  // namespace qb::test
