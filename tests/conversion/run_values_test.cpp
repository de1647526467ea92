// What arrives in SQLite: every value of the fixtures under the C locale,
// awkward table and field names, and names that try to break out of their
// quotes.

#include "ConversionTestSupport.h"

#include "conversion/ColumnType.h"
#include "conversion/InsertStatement.h"

#include <QTemporaryDir>

namespace qb::test {
namespace {

// The run formats by the system locale; these tests pin it before Qt first
// looks at the environment.
const bool kCLocale = [] {
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    return true;
}();

struct Converted {
    std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    QString target;
    std::unique_ptr<ScriptedHost> host;
};

Converted convertDirect(const QString& file) {
    Converted c;
    c.target = makeEmptyDatabase(c.dir->path());
    c.host = std::make_unique<ScriptedHost>(fixture(file), c.target);
    RunState state;
    ConversionRun(*c.host, state).run();
    return c;
}

class FixtureValues : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureValues, EveryManifestValueArrivesAsRendered) {
    ASSERT_TRUE(kCLocale);
    ASSERT_EQ(QLocale::system().language(), QLocale::C);
    const QString file = QString::fromLatin1(GetParam());
    Converted c = convertDirect(file);
    ASSERT_EQ(c.host->interaction.texts().last(), QStringLiteral("Done."));

    SqliteReader db(c.target);
    const auto tables = manifestUserTables(file);
    for (const QJsonObject& t : tables) {
        const QString name = t.value(QStringLiteral("name")).toString();
        if (name == QStringLiteral("OnlyOle")) continue;  // see EdgeNames
        expectTableMatchesManifest(db, t, cDateText, file.toStdString());
    }
    if (file != QStringLiteral("edge.mdb")) {
        EXPECT_TRUE(reportTexts(c.host->interaction).isEmpty()) << reportTexts(c.host->interaction).join("\n").toStdString();
        EXPECT_EQ(db.tableNames().size(), tables.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureValues, ::testing::ValuesIn(kConversionFixtures), fixtureTestName);

TEST(FixtureValuesSpot, DatesAndTextsUnderTheCLocale) {
    Converted c = convertDirect(QStringLiteral("types.mdb"));
    SqliteReader db(c.target);
    const auto column = [&](const char* col) {
        std::vector<std::string> values;
        for (const auto& r : db.query(std::string("SELECT ") + col + " FROM AllTypes ORDER BY rowid"))
            values.push_back(r.at(0).value_or("<null>"));
        return values;
    };
    const auto dates = column("colDate");
    ASSERT_EQ(dates.size(), 13u);
    EXPECT_EQ(dates[2], "1850-03-04");
    EXPECT_EQ(dates[3], "2021-08-31 23:59:59");
    EXPECT_EQ(dates[4], "2000-01-01");
    EXPECT_EQ(dates[5], "13:45:10");
    const auto texts = column("colText");
    EXPECT_EQ(texts[7], "1,234");
    EXPECT_EQ(texts[8], "12,5");
    EXPECT_EQ(texts[9], "-3.5e2");
    EXPECT_EQ(db.scalar("SELECT typeof(colMoney) || ' ' || colMoney FROM AllTypes WHERE rowid = 9"), "real 12.5");
}

// edge.mdb: a table of OLE fields only cannot be created; that is reported
// once and its rows are passed over instead of failing one by one.
TEST(EdgeNames, AwkwardNamesAndTheAllOleTable) {
    Converted c = convertDirect(QStringLiteral("edge.mdb"));
    const ScriptedInteraction& ui = c.host->interaction;
    EXPECT_EQ(reportedLines(ui), std::vector<int>{306});
    EXPECT_EQ(ui.texts().last(), QStringLiteral("Done."));

    SqliteReader db(c.target);
    EXPECT_EQ(db.tableNames(), (std::vector<std::string>{"$abc", "Empty", "Order Details", "Wide", "a\"b", "ab$",
                                                         "abc$def"}));
    EXPECT_EQ(db.rowCount("Empty"), 0);
    EXPECT_EQ(db.rowCount("a\"b"), 2);
    EXPECT_EQ(db.scalar("SELECT group_concat(name, '|') FROM pragma_table_info('Order Details')"),
              "Order ID|Product Name|Unit Price|Quantity|Discount %|Select|From");
    // Progress moves only for rows written: none for Empty, nor for the
    // passed-over rows of OnlyOle; then back to 0.
    EXPECT_EQ(c.host->progressValues.size(), 5u + 2 + 2 + 2 + 2 + 3 + 1);
    EXPECT_EQ(c.host->progressValues.back(), 0);

    // The datatype list still shows the fields of the table that failed.
    int oleRows = 0;
    for (int n = 1; n <= c.host->datatypes->count(); ++n)
        if (c.host->datatypes->text(n) == QStringLiteral("OnlyOle")) ++oleRows;
    EXPECT_EQ(oleRows, 2);
}

TEST(EdgeNames, EmptyTableGivesNoInsert) {
    QTemporaryDir dir;
    ScriptedHost host(fixture("edge.mdb"), makeEmptyDatabase(dir.path()));
    host.preview = true;
    host.option2 = true;
    RunState state;
    host.onPreview = [&] { state.StopConverting = false; };
    ConversionRun(host, state).run();
    bool seen = false;
    for (const QStringList& p : host.previews) {
        if (p.isEmpty() || !p.first().startsWith(QStringLiteral("CREATE TABLE \"Empty\""))) continue;
        seen = true;
        EXPECT_EQ(p.size(), 1);
    }
    EXPECT_TRUE(seen);
    ASSERT_EQ(host.previews.size(), 8u);
    EXPECT_TRUE(std::any_of(host.previews.begin(), host.previews.end(), [](const QStringList& p) {
        return !p.isEmpty() && p.first() == QStringLiteral("CREATE TABLE \"OnlyOle\");");
    }));
}

// Converting edge.mdb a second time: abc$def exists but is hidden from the
// SQLite table list, so no question is asked; its CREATE fails and its rows
// must not be added to the existing table a second time.
TEST(EdgeNames, SecondConversionOfAHiddenTable) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    {
        ScriptedHost first(fixture("edge.mdb"), target);
        RunState s;
        ConversionRun(first, s).run();
    }
    ScriptedHost host(fixture("edge.mdb"), target);
    host.interaction.answers.assign(10, MsgResult::Yes);
    RunState state;
    ConversionRun(host, state).run();

    QStringList questions;
    for (const auto& m : host.interaction.messages)
        if (m.buttons == MsgButtons::YesNo) questions << m.text;
    questions.sort();
    EXPECT_EQ(questions, (QStringList{"Would you like to overwrite $abc?", "Would you like to overwrite Empty?",
                                      "Would you like to overwrite Order Details?", "Would you like to overwrite Wide?",
                                      "Would you like to overwrite a\"b?", "Would you like to overwrite ab$?"}));
    EXPECT_EQ(reportedLines(host.interaction), (std::vector<int>{306, 306}));  // abc$def and OnlyOle

    SqliteReader db(target);
    EXPECT_EQ(db.rowCount("abc$def"), 2);
    EXPECT_EQ(db.rowCount("ab$"), 2);
    EXPECT_EQ(db.rowCount("Order Details"), 5);
}

// Names cannot leave their quotes: the statements built for them run as one
// statement each on the SQLite driver, which would run every ';'-separated
// part.
TEST(HostileNames, StatementsKeepTheirNames) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    SqliteReader db(target);
    db.execute("CREATE TABLE x(a)");
    db.execute("INSERT INTO x VALUES(1)");

    const std::string table = "t\"; DROP TABLE \"x";
    const std::vector<FieldInfo> fields = {{"f]; DROP TABLE x; --", 202}, {"g\"; DROP TABLE \"x", 3}, {"h", 205}};
    db.execute(createTableStatement(table, fields));
    const InsertPlan plan = makeInsertPlan(table, fields);
    const ValueFormat format(QLocale::c());
    db.execute(renderInsert(plan, {std::string("v'); DROP TABLE x; --"), std::int64_t{7}, Bytes{1}}, format));

    EXPECT_EQ(db.tableNames(), (std::vector<std::string>{table, "x"}));
    EXPECT_EQ(db.rowCount("x"), 1);
    EXPECT_EQ(db.scalar("SELECT group_concat(name, '|') FROM pragma_table_info(" + SqliteReader::sqlLiteral(table) + ")"),
              "f]; DROP TABLE x; --|g\"; DROP TABLE \"x");
    EXPECT_EQ(db.scalar("SELECT " + SqliteReader::sqlIdentifier("f]; DROP TABLE x; --") + " || '|' || " +
                        SqliteReader::sqlIdentifier("g\"; DROP TABLE \"x") + " FROM " +
                        SqliteReader::sqlIdentifier(table)),
              "v'); DROP TABLE x; --|7");

    db.execute(dropTableStatement(table));
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"x"});
    EXPECT_EQ(db.rowCount("x"), 1);
}

}  // namespace
}  // namespace qb::test
