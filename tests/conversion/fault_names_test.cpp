// Names, paths and passwords that carry the characters of SQL or of a
// connection string. A name stays inside its quotes; a path or password
// stays the value it was given and never points a connection elsewhere.

#include "fault_support.h"

#include "conversion/ColumnType.h"
#include "conversion/InsertStatement.h"
#include "dbaccess/Access.h"

#include <QTemporaryDir>

namespace qb::test {
namespace {

// ---------------------------------------------------------------- names

const std::vector<std::string>& awkwardNames() {
    static const std::vector<std::string> names = {
        "q\"uote",
        "\"",
        "semi;colon",
        ";",
        "dash--dash",
        "--",
        "[bracketed]",
        "close]bracket",
        "both]\"kinds[",
        "it's",
        "Ümlaut Straße 表",
        "emoji 😀",
        // Access allows 64 characters; these are 64 characters, not bytes.
        "x\"; DROP TABLE \"keep\"; -- " + std::string(38, 'n'),
        "ß" + std::string(63, 'y'),
    };
    return names;
}

std::size_t characters(const std::string& utf8) { return static_cast<std::size_t>(QString::fromStdString(utf8).size()); }

// Every awkward name as a table and as a field (alongside a plain one),
// through the builders the run uses and the ODBC driver the run writes with.
TEST(AwkwardNames, TablesFieldsAndValuesStayInTheirQuotes) {
    ASSERT_EQ(characters(awkwardNames()[12]), 64u);
    ASSERT_EQ(characters(awkwardNames()[13]), 64u);
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    SqliteReader db(target);
    db.execute("CREATE TABLE keep(a)");
    db.execute("INSERT INTO keep VALUES(1)");

    std::vector<FieldInfo> fields = {{"plain", 3}};
    for (const std::string& n : awkwardNames()) fields.push_back({n, 202});
    std::vector<Variant> row = {std::int64_t{7}};
    for (const std::string& n : awkwardNames()) row.emplace_back("v:" + n + "'); DROP TABLE keep; --");
    const ValueFormat format(QLocale::c());

    for (const std::string& table : awkwardNames()) {
        SCOPED_TRACE(table);
        db.execute(createTableStatement(table, fields));
        const InsertPlan plan = makeInsertPlan(table, fields);
        db.execute(renderInsert(plan, row, format));
        db.execute(renderInsert(plan, row, format));

        const std::string quoted = SqliteReader::sqlLiteral(table);
        std::vector<std::string> columns;
        for (const auto& c : db.query("SELECT name FROM pragma_table_info(" + quoted + ")"))
            columns.push_back(c.at(0).value_or(""));
        ASSERT_EQ(columns.size(), fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(columns[i], fields[i].name);
        EXPECT_EQ(db.rowCount(table), 2);
        for (std::size_t i = 1; i < fields.size(); ++i)
            EXPECT_EQ(db.scalar("SELECT " + SqliteReader::sqlIdentifier(fields[i].name) + " FROM " +
                                SqliteReader::sqlIdentifier(table) + " LIMIT 1"),
                      std::get<std::string>(row[i]));
    }
    std::vector<std::string> expected = awkwardNames();
    expected.push_back("keep");
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> tables = db.tableNames();
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, expected);

    for (const std::string& table : awkwardNames()) db.execute(dropTableStatement(table));
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"keep"});
    EXPECT_EQ(db.rowCount("keep"), 1);
}

// Names and values that the SQLite ODBC driver would read as parameter
// markers, ODBC escapes or quotes if they stood outside quotes it knows.
// No Access writer is at hand, so a copy of edge.mdb gets them in place of
// same-length names and values: the table "Wide" and its first fields are
// stored as UTF-16, its values compressed to one byte per character.
class DriverSyntaxNames : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QFile in(fixture("edge.mdb"));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray data = in.readAll();
        auto replaceOnce = [&](const QByteArray& from, const QByteArray& to) {
            ASSERT_EQ(from.size(), to.size());
            const qsizetype at = data.indexOf(from);
            ASSERT_GE(at, 0) << from.toStdString();
            ASSERT_LT(data.indexOf(from, at + 1), 0) << from.toStdString();
            data.replace(at, from.size(), to);
        };
        auto utf16 = [](const QString& text) {
            return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        };
        replaceOnce(utf16(QStringLiteral("Wide")), utf16(QString::fromStdString(kTable)));
        for (std::size_t i = 0; i < kFields.size(); ++i)
            replaceOnce(utf16(QStringLiteral("Field %1").arg(i + 1, 2, 10, QLatin1Char('0'))),
                        utf16(QString::fromStdString(kFields[i])));
        // Values of row 1 behind their compression marker.
        for (std::size_t i = 0; i < kValues.size(); ++i)
            replaceOnce("\xff\xfer1c" + QByteArray::number(static_cast<int>(i) + 11),
                        "\xff\xfe" + QByteArray::fromStdString(kValues[i]));
        source = dir.filePath(QStringLiteral("names.mdb"));
        ASSERT_TRUE(writeFile(source, data));
    }

    // The converted table holds exactly the names and values given.
    void expectTableAsGiven(const QString& target, const char* how) {
        SCOPED_TRACE(how);
        SqliteReader db(target);
        std::vector<std::string> columns;
        for (const auto& c : db.query("SELECT name FROM pragma_table_info(" + SqliteReader::sqlLiteral(kTable) + ")"))
            columns.push_back(c.at(0).value_or(""));
        ASSERT_EQ(columns.size(), 60u);
        EXPECT_EQ(std::vector<std::string>(columns.begin(), columns.begin() + kFields.size()), kFields);
        EXPECT_EQ(db.rowCount(kTable), 3);
        for (std::size_t i = 0; i < kValues.size(); ++i)
            EXPECT_EQ(db.scalar("SELECT " + SqliteReader::sqlIdentifier(columns[10 + i]) + " FROM " +
                                SqliteReader::sqlIdentifier(kTable) + " ORDER BY rowid LIMIT 1"),
                      kValues[i]);
    }

    inline static const std::string kTable = "{?'\"";
    // Eight characters each, as the names they replace.
    inline static const std::vector<std::string> kFields = {
        "Is Paid?", "F{fn x}1", "{oj x}ab", "{call x}", "{?=call}", "{d '1'}x", "Bob's ok",
        "Say \"hi\"", "close]br", "a;b--c/*", "/* c */x", "?{}'\"]xy", "}brace{x", "x -- y;z"};
    // Five characters each, for the values r1c11 to r1c15.
    inline static const std::vector<std::string> kValues = {"?{x}?", "{fn }", "{oj }", "a'{b}", "\"{?}\""};

    QTemporaryDir dir;
    QString source;
};

TEST_F(DriverSyntaxNames, ArriveUnchangedThroughEveryWayOfWriting) {
    const QString direct = makeEmptyDatabase(dir.path(), QStringLiteral("direct.db"));
    {
        ScriptedHost host(source, direct);
        RunState state;
        ConversionRun(host, state).run();
    }
    expectTableAsGiven(direct, "direct");

    const QString fast = dir.filePath(QStringLiteral("fast.db"));
    runConvert({QStringLiteral("--fast"), source, fast});
    expectTableAsGiven(fast, "--fast");

    // The SQL Preview, per table, executing each table's list with "Execute
    // SQL"; a table whose list stops at a rejected line is skipped.
    const QString previewed = makeEmptyDatabase(dir.path(), QStringLiteral("preview.db"));
    {
        ScriptedHost host(source, previewed);
        host.preview = true;
        host.option2 = true;
        RunState state;
        host.onPreview = [&] {
            SilentDisplay display;
            int errorLine = 0;
            ExecuteSQL(host.statementList(), runnerOn(state), state, errorLine, display, host.interaction);
            state.StopConverting = false;
        };
        ConversionRun(host, state).run();
    }
    expectTableAsGiven(previewed, "preview");
}

// ---------------------------------------------------------------- Access paths and passwords

class ConnectionValues : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString copyTo(const QString& from, const QString& relative) {
        const QString to = dir.path() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(to).absolutePath());
        EXPECT_TRUE(QFile::copy(from, to)) << to.toStdString();
        return to;
    }
    static std::vector<std::string> accessTables(const QString& path, const QString& password) {
        const SourceFields form{path, password, QString()};
        auto connection = Connection::create();
        connection->open(AccessConnectionString(QString(), QString(), form).toStdString());
        auto schema = connection->openSchema(adSchemaTables);
        std::vector<std::string> names;
        while (!schema->eof()) {
            const Variant& type = schema->field("TABLE_TYPE").value();
            if (std::get<std::string>(type) == "TABLE")
                names.push_back(std::get<std::string>(schema->field("TABLE_NAME").value()));
            schema->moveNext();
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string openError(const QString& path, const QString& password) {
        try {
            accessTables(path, password);
        } catch (const DbError& e) {
            return e.description();
        }
        return "opened";
    }

    QTemporaryDir dir;
};

TEST_F(ConnectionValues, AccessPathWithConnectionStringCharacters) {
    const std::vector<std::string> sampleTables = {"Customers", "Orders", "Products"};
    for (const QString& relative : {QStringLiteral("a;b/c=d.mdb"), QStringLiteral("{x}/y;Data Source=z.mdb"),
                                    QStringLiteral("{lead.mdb"), QStringLiteral("tail}.mdb"), QStringLiteral("{w}")}) {
        SCOPED_TRACE(relative.toStdString());
        const QString path = copyTo(fixture("sample.mdb"), relative);
        EXPECT_EQ(accessTables(path, QString()), sampleTables);

        // The same file converted by the run, into an ordinary target.
        const QString target = makeEmptyDatabase(dir.path(), QStringLiteral("t.db"));
        ScriptedHost host(path, target);
        RunState state;
        ConversionRun(host, state).run();
        EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
        EXPECT_EQ(SqliteReader(target).rowCount("Orders"), 30);
        QFile::remove(target);
    }
    // A missing file whose name continues with another Data Source is
    // missing, not the other file.
    const QString decoy = dir.path() + QStringLiteral("/none.mdb;Data Source=") + fixture("sample.mdb");
    EXPECT_EQ(openError(decoy, QString()), "Could not find file '" + decoy.toStdString() + "'.");
}

TEST_F(ConnectionValues, PasswordIsTakenWhole) {
    const QString locked = fixture("password.mdb");
    EXPECT_EQ(accessTables(locked, QStringLiteral("Secret1")),
              (std::vector<std::string>{"Customers", "Orders", "Products"}));
    // Neither braces around it, nor a ";" and more after it, nor "=" make
    // another password of it or open another file.
    for (const QString& wrong :
         {QStringLiteral("{Secret1}"), QStringLiteral("Secret1;"), QStringLiteral("Secret1;JET OLEDB:Database Password=Secret1"),
          QStringLiteral("x;Data Source=") + fixture("sample.mdb"), QStringLiteral("}Secret1"), QStringLiteral("=Secret1"),
          QStringLiteral("{")}) {
        EXPECT_EQ(openError(locked, wrong), "Not a valid password.") << wrong.toStdString();
    }
    // A missing file with a password pointing elsewhere stays missing.
    const QString missing = dir.path() + QStringLiteral("/missing.mdb");
    EXPECT_EQ(openError(missing, QStringLiteral("x;Data Source=") + fixture("sample.mdb")),
              "Could not find file '" + missing.toStdString() + "'.");
}

// ---------------------------------------------------------------- SQLite paths

// A ";" would let the driver read the rest of the path as options or as
// another Database: such a path is refused and nothing is created.
TEST_F(ConnectionValues, SqlitePathWithSemicolonIsRefused) {
    const QString other = dir.path() + QStringLiteral("/other.db");
    const QStringList paths = {dir.path() + QStringLiteral("/a;b.db"),
                               dir.path() + QStringLiteral("/x.db;Database=") + other,
                               dir.path() + QStringLiteral("/y.db;Timeout=1")};
    for (const QString& target : paths) {
        SCOPED_TRACE(target.toStdString());
        EXPECT_FALSE(TestSQLiteDatabase(target));

        ScriptedHost host(fixture("sample.mdb"), target);
        RunState state;
        ConversionRun(host, state).run();
        EXPECT_TRUE(host.interaction.messages.empty());
        EXPECT_TRUE(entriesOf(dir.path()).isEmpty());

        const CliResult r = runConvert({fixture("sample.mdb"), target});
        EXPECT_EQ(r.exitCode, 2) << show(r);
        // Refused by the driver's string check, or earlier because the
        // part before ";" names a folder that does not exist.
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("quellbrook-convert: ") + target + QStringLiteral(": "))) << show(r);
        EXPECT_TRUE(entriesOf(dir.path()).isEmpty()) << entriesOf(dir.path()).join(' ').toStdString();
    }

    // An existing file of such a name is not written either.
    const QString existing = makeEmptyDatabase(dir.path(), QStringLiteral("e;f.db"));
    EXPECT_FALSE(TestSQLiteDatabase(existing));
    const CliResult r = runConvert({fixture("sample.mdb"), existing});
    EXPECT_EQ(r.exitCode, 2) << show(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("must not contain \";\""))) << show(r);
    EXPECT_EQ(QFileInfo(existing).size(), 0);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("e;f.db")});
}

// Targets as typed, relative to the current folder: what the driver would
// read as options or as a URI never makes another file receive the tables,
// nor a library load. Such a path is refused, by the
// command line with its reason and before anything is created, by the
// window silently; a "file:" name is the file of that name.
TEST_F(ConnectionValues, SqliteTargetIsTheFileNamedOrRefused) {
    const QString loaded = dir.filePath(QStringLiteral("loaded"));
    qputenv("QB_LOADEXT_MARK", loaded.toLocal8Bit());
    const QString victim = makeEmptyDatabase(dir.path(), QStringLiteral("x.db"));
    putMarkerTable(victim);
    const std::string victimBefore = dumpDatabase(victim);
    const QString previousFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    struct Case {
        QString target;
        QString refusal;  // empty: the file itself receives the tables
    };
    const QString semicolon = QStringLiteral("must not contain \";\"");
    const std::vector<Case> cases = {
        {QStringLiteral("x.db;NoCreat=1"), semicolon},
        {QStringLiteral("out.db;LoadExt=") + QString::fromUtf8(QB_LOADEXT_PROBE), semicolon},
        {QStringLiteral("file:m.db?mode=memory"), {}},
        {QStringLiteral("file:x.db"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        const QString folder = QFileInfo(c.target).absolutePath();
        ASSERT_TRUE(QDir().mkpath(folder));
        const QStringList folderBefore = entriesOf(folder);

        const QByteArray here = dir.path().toLocal8Bit();
        const CliResult r = runConvert({fixture("sample.mdb"), c.target}, [&] {
            if (::chdir(here.constData()) != 0) ::_exit(120);
        });
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(r.exitCode, 0) << show(r);
            EXPECT_EQ(SqliteReader(c.target).rowCount("Customers"), 18);
            ASSERT_TRUE(QFile::remove(c.target));
        } else {
            EXPECT_EQ(r.exitCode, 2) << show(r);
            EXPECT_TRUE(r.err.contains(c.refusal)) << show(r);
        }
        EXPECT_EQ(entriesOf(folder), folderBefore);

        // The window tests the file before the run, so it must exist.
        ASSERT_TRUE(writeFile(c.target, {}));
        ScriptedHost host(fixture("sample.mdb"), c.target);
        RunState state;
        ConversionRun(host, state).run();
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
            EXPECT_EQ(SqliteReader(c.target).rowCount("Customers"), 18);
        } else {
            EXPECT_TRUE(host.interaction.messages.empty());
            EXPECT_EQ(QFileInfo(c.target).size(), 0);
        }
        EXPECT_EQ(entriesOf(folder).size(), folderBefore.size() + 1);
    }
    EXPECT_TRUE(QDir::setCurrent(previousFolder));
    EXPECT_EQ(dumpDatabase(victim), victimBefore);
    EXPECT_FALSE(QFile::exists(loaded)) << "the driver loaded the library named after LoadExt=";
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.db"))));
}

// Braces and "=" mean nothing to the driver inside the path: the named
// file itself receives the tables, and no other file appears.
TEST_F(ConnectionValues, SqlitePathWithBracesAndEquals) {
    for (const QString& name : {QStringLiteral("{br}a=ce}.db"), QStringLiteral("{abc}"), QStringLiteral("k{.db"),
                                QStringLiteral("x}y.db"), QStringLiteral("a=b.db")}) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir sub;
        const QString target = makeEmptyDatabase(sub.path(), name);
        ScriptedHost host(fixture("sample.mdb"), target);
        RunState state;
        ConversionRun(host, state).run();
        EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
        EXPECT_EQ(entriesOf(sub.path()), QStringList{name});
        EXPECT_GT(QFileInfo(target).size(), 0);
        EXPECT_EQ(SqliteReader(target).rowCount("Customers"), 18);

        const QString fresh = sub.path() + QStringLiteral("/n") + name;
        const CliResult r = runConvert({QStringLiteral("--fast"), fixture("sample.mdb"), fresh});
        EXPECT_EQ(r.exitCode, 0) << show(r);
        QStringList both{name, QStringLiteral("n") + name};
        both.sort();
        QStringList found = entriesOf(sub.path());
        found.sort();
        EXPECT_EQ(found, both);
        EXPECT_EQ(dumpDatabase(fresh), dumpDatabase(target));
    }
}

}  // namespace
}  // namespace qb::test
