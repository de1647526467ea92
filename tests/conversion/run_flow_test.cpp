// The conversion run driven by a scripted host: table order, the overwrite
// question, progress, failures, the preview modes and the re-entry guard.

#include "ConversionTestSupport.h"

#include "core/AppConfig.h"

#include <QTemporaryDir>
#include <algorithm>
#include <set>

namespace qb::test {
namespace {

QStringList reversed(QStringList list) {
    std::reverse(list.begin(), list.end());
    return list;
}

QStringList manifestTableNames(const QString& file) {
    QStringList names;
    for (const auto& t : manifestUserTables(file)) names << t.value(QStringLiteral("name")).toString();
    return names;
}

long long manifestRows(const QString& file, const QString& table) {
    return manifestTable(file, table).value(QStringLiteral("rowCount")).toInteger();
}

std::set<QString> asSet(const QStringList& l) { return {l.begin(), l.end()}; }

class RunFlow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        target = makeEmptyDatabase(dir.path());
    }
    void run(ScriptedHost& host) { ConversionRun(host, state).run(); }

    QTemporaryDir dir;
    QString target;
    RunState state;
};

TEST_F(RunFlow, DirectConversionTakesTablesLastToFirst) {
    ScriptedHost host(fixture("sample.mdb"), target);
    run(host);

    ASSERT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(host.interaction.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(host.interaction.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(asSet(host.list2), asSet(manifestTableNames("sample.mdb")));

    // Each table announced, then its text cleared; the end clears it again.
    const QStringList order = reversed(host.list2);
    QStringList expectedTexts;
    for (const QString& t : order) expectedTexts << QStringLiteral("Please wait.. Processing table ") + t << QString();
    expectedTexts << QString();
    EXPECT_EQ(host.progressTexts, expectedTexts);

    // (k+1)/(N+1)*100 for every row of every table, then back to 0.
    std::vector<double> expectedValues;
    for (const QString& t : order) {
        const long long n = manifestRows("sample.mdb", t);
        for (long long k = 1; k <= n; ++k) expectedValues.push_back((k + 1.0) / (n + 1.0) * 100.0);
    }
    expectedValues.push_back(0);
    ASSERT_EQ(host.progressValues.size(), expectedValues.size());
    for (std::size_t i = 0; i < expectedValues.size(); ++i)
        EXPECT_DOUBLE_EQ(host.progressValues[i], expectedValues[i]) << i;

    EXPECT_EQ(host.busyFlags, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.progressValue, 0);
    EXPECT_EQ(host.progressText, QString());
    EXPECT_FALSE(state.IsConverting);
    ASSERT_TRUE(state.SQLite_conn);
    EXPECT_FALSE(state.SQLite_conn->isOpen());

    SqliteReader db(target);
    for (const QString& t : order)
        EXPECT_EQ(db.rowCount(t.toStdString()), manifestRows("sample.mdb", t)) << t.toStdString();
}

TEST_F(RunFlow, ProgressOfAFourRowTable) {
    const QString file = fixture("public/oldDatesV2007.accdb");
    ScriptedHost host(file, target);
    run(host);
    ASSERT_EQ(host.list2, QStringList{QStringLiteral("Table1")});
    EXPECT_EQ(host.progressValues, (std::vector<double>{40, 60, 80, 100, 0}));
    EXPECT_EQ(SqliteReader(target).rowCount("Table1"), 4);
}

TEST_F(RunFlow, AnsweringYesReplacesATableNamedInOtherLetterCase) {
    {
        SqliteReader db(target);
        db.execute("CREATE TABLE customers(x)");
        db.execute("INSERT INTO customers VALUES('old')");
    }
    ScriptedHost host(fixture("sample.mdb"), target);
    host.interaction.answers = {MsgResult::Yes};
    run(host);

    ASSERT_EQ(host.interaction.messages.size(), 2u);
    const ShownMessage& q = host.interaction.messages[0];
    EXPECT_EQ(q.text, QStringLiteral("Would you like to overwrite Customers?"));
    EXPECT_EQ(q.title, QStringLiteral("Overwrite?"));
    EXPECT_EQ(q.buttons, MsgButtons::YesNo);
    EXPECT_EQ(q.icon, MsgIcon::None);
    EXPECT_EQ(host.interaction.messages[1].text, QStringLiteral("Done."));

    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), (std::vector<std::string>{"Customers", "Orders", "Products"}));
    EXPECT_EQ(db.rowCount("Customers"), 18);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM pragma_table_info('Customers')"), "7");
}

TEST_F(RunFlow, AnsweringNoLeavesTheTableAndAddsNothing) {
    {
        SqliteReader db(target);
        db.execute("CREATE TABLE PRODUCTS(x)");
        db.execute("INSERT INTO PRODUCTS VALUES('old')");
    }
    ScriptedHost host(fixture("sample.mdb"), target);
    host.interaction.answers = {MsgResult::No};
    run(host);

    EXPECT_EQ(host.interaction.texts(),
              (QStringList{QStringLiteral("Would you like to overwrite Products?"), QStringLiteral("Done.")}));
    EXPECT_FALSE(host.processedTables().contains(QStringLiteral("Products")));
    for (int n = 1; n <= host.datatypes->count(); ++n) EXPECT_NE(host.datatypes->text(n), QStringLiteral("Products"));
    EXPECT_EQ(host.datatypes->count(), 7 + 5);  // Customers and Orders fields

    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), (std::vector<std::string>{"Customers", "Orders", "PRODUCTS"}));
    EXPECT_EQ(db.scalar("SELECT group_concat(x) FROM PRODUCTS"), "old");
    EXPECT_EQ(db.rowCount("Orders"), 30);
}

TEST_F(RunFlow, MissingAccessFileIsReportedAndNothingWritten) {
    const QString missing = dir.path() + QStringLiteral("/missing.mdb");
    ScriptedHost host(missing, target);
    run(host);

    const QStringList texts = host.interaction.texts();
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts.front(), QStringLiteral("Unable to access the database"));
    EXPECT_EQ(texts.back(), QStringLiteral("Done."));
    EXPECT_EQ(reportedLines(host.interaction), (std::vector<int>{132, 408}));

    const QString report = reportTexts(host.interaction).at(0);
    const QString tail = QStringLiteral("\r\nin Quellbrook2021/08/31.Form1.PushButton7_Click at line 132\r\r"
                                        "Please email screenshot of this message to ") +
                         config::kSupportEmail;
    EXPECT_TRUE(report.endsWith(tail)) << report.toStdString();
    EXPECT_GT(report.size(), tail.size()) << "the description is missing";
    for (const auto& m : host.interaction.messages) {
        if (m.title == QStringLiteral("Application Error")) {
            EXPECT_EQ(m.icon, MsgIcon::Warning);
        }
    }

    EXPECT_TRUE(host.list2.isEmpty());
    EXPECT_EQ(host.busyFlags, (std::vector<bool>{true, false}));
    EXPECT_TRUE(SqliteReader(target).tableNames().empty());
}

TEST_F(RunFlow, WrongPasswordIsReportedAtEachFailingStep) {
    ScriptedHost host(fixture("password.mdb"), target);
    host.form.accessPassword = QStringLiteral("secret1");
    run(host);
    EXPECT_EQ(reportedLines(host.interaction), (std::vector<int>{126, 132, 408}));
    EXPECT_TRUE(reportTexts(host.interaction).at(0).startsWith(QStringLiteral("Not a valid password.\r\n")));
    EXPECT_EQ(host.interaction.texts().last(), QStringLiteral("Done."));
    EXPECT_TRUE(SqliteReader(target).tableNames().empty());

    ScriptedHost right(fixture("password.mdb"), target);
    right.form.accessPassword = QStringLiteral("Secret1");
    run(right);
    EXPECT_EQ(right.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(SqliteReader(target).rowCount("Orders"), 30);
}

TEST_F(RunFlow, MissingOrEmptySqlitePathEndsSilently) {
    const QString missing = dir.path() + QStringLiteral("/nothing.db");
    for (const QString& path : {QString(), missing}) {
        ScriptedHost host(fixture("sample.mdb"), path);
        RunState s;
        ConversionRun(host, s).run();
        EXPECT_TRUE(host.interaction.messages.empty()) << path.toStdString();
        EXPECT_TRUE(host.busyFlags.empty());
        EXPECT_TRUE(host.progressTexts.isEmpty());
        EXPECT_TRUE(host.list2.isEmpty());
        EXPECT_FALSE(s.IsConverting);
    }
    EXPECT_FALSE(QFile::exists(missing));
}

// Per table: each preview holds that table's statements only; "Skip" goes
// on with the next table and nothing reaches the database.
TEST_F(RunFlow, PerTablePreviewSkipExecutesNothing) {
    {
        SqliteReader db(target);
        db.execute("CREATE TABLE ORDERS(x)");
        db.execute("INSERT INTO ORDERS VALUES('old')");
    }
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    host.option2 = true;
    host.interaction.answers = {MsgResult::Yes};
    host.onPreview = [&] { state.StopConverting = false; };
    run(host);

    const QStringList order = reversed(host.list2);
    ASSERT_EQ(host.previews.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const QString t = order[static_cast<int>(i)];
        QStringList shown = host.previews[i];
        SCOPED_TRACE(t.toStdString());
        if (t == QStringLiteral("Orders")) {
            ASSERT_FALSE(shown.isEmpty());
            EXPECT_EQ(shown.takeFirst(), QStringLiteral("DROP TABLE \"Orders\""));
        }
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_TRUE(shown.takeFirst().startsWith(QStringLiteral("CREATE TABLE \"") + t + QStringLiteral("\"(")));
        EXPECT_EQ(shown.size(), manifestRows("sample.mdb", t));
        for (const QString& s : shown)
            EXPECT_TRUE(s.startsWith(QStringLiteral("INSERT INTO \"") + t + QStringLiteral("\" VALUES("))) << s.toStdString();

        // One datatype row per field of this table only; OLE without type.
        const QJsonArray columns = manifestTable("sample.mdb", t).value(QStringLiteral("columns")).toArray();
        const auto& rows = host.previewDatatypes[i];
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(columns.size()));
        for (int c = 0; c < columns.size(); ++c) {
            EXPECT_EQ(rows[c][0], t);
            EXPECT_EQ(rows[c][1], columns[c].toObject().value(QStringLiteral("name")).toString());
        }
    }
    EXPECT_EQ(host.interaction.texts(),
              (QStringList{QStringLiteral("Would you like to overwrite Orders?"), QStringLiteral("Done.")}));

    // The collected DROP TABLE was not executed, nor anything else.
    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"ORDERS"});
    EXPECT_EQ(db.scalar("SELECT group_concat(x) FROM ORDERS"), "old");
}

TEST_F(RunFlow, DatatypeRowsOfATable) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    host.option2 = true;
    host.onPreview = [&] { state.StopConverting = false; };
    run(host);
    const int at = static_cast<int>(reversed(host.list2).indexOf(QStringLiteral("Products")));
    ASSERT_GE(at, 0);
    const std::vector<QStringList> expected = {
        {"Products", "ID", "int", "INTEGER"},     {"Products", "Name", "varwchar", "TEXT"},
        {"Products", "Price", "currency", "NUMERIC"}, {"Products", "Weight", "double", "NUMERIC"},
        {"Products", "Stock", "int", "INTEGER"},  {"Products", "Photo", "", ""},
    };
    EXPECT_EQ(host.previewDatatypes.at(at), expected);
}

TEST_F(RunFlow, PerTablePreviewBackTakesNoFurtherTables) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    host.option2 = true;
    run(host);  // the preview leaves StopConverting true: "< Back"

    ASSERT_EQ(host.previews.size(), 1u);
    EXPECT_EQ(host.processedTables(), QStringList{host.list2.last()});
    EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_FALSE(state.SQLite_conn->isOpen());
    EXPECT_EQ(host.progressText, QString());
    EXPECT_TRUE(SqliteReader(target).tableNames().empty());
}

// The window's "Execute SQL" runs the list on the run's open connection.
TEST_F(RunFlow, PerTablePreviewExecutedOnTheRunsConnection) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    host.option2 = true;
    bool wasOpen = true;
    host.onPreview = [&] {
        wasOpen = wasOpen && state.SQLite_conn && state.SQLite_conn->isOpen();
        host.executeList(state);
        state.SQLFormOK = true;
        state.StopConverting = false;
    };
    run(host);
    EXPECT_TRUE(wasOpen);
    EXPECT_EQ(host.previews.size(), 3u);
    SqliteReader db(target);
    for (const QString& t : host.list2) EXPECT_EQ(db.rowCount(t.toStdString()), manifestRows("sample.mdb", t));
}

TEST_F(RunFlow, PerFilePreviewShowsEveryTableOnce) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    host.option1 = true;
    state.SQLFormOK = true;
    std::vector<bool> formOkSeen;
    host.onPreview = [&] { formOkSeen.push_back(state.SQLFormOK); };
    run(host);

    ASSERT_EQ(host.previews.size(), 1u);
    EXPECT_EQ(formOkSeen, std::vector<bool>{false});
    // Tables in the order taken, each CREATE followed by its rows.
    QStringList expectedOrder;
    int at = 0;
    const QStringList& shown = host.previews[0];
    for (const QString& t : reversed(host.list2)) {
        ASSERT_LT(at, shown.size());
        EXPECT_TRUE(shown[at].startsWith(QStringLiteral("CREATE TABLE \"") + t + QStringLiteral("\"("))) << at;
        at += 1 + static_cast<int>(manifestRows("sample.mdb", t));
    }
    EXPECT_EQ(at, shown.size());
    EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_FALSE(state.SQLite_conn->isOpen());
    EXPECT_EQ(host.progressText, QString());
    EXPECT_TRUE(SqliteReader(target).tableNames().empty());
}

TEST_F(RunFlow, PerFilePreviewExecuted) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    host.option1 = true;
    host.onPreview = [&] {
        host.executeList(state);
        state.SQLFormOK = true;
        state.StopConverting = false;
    };
    run(host);
    EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_FALSE(state.SQLite_conn->isOpen());
    SqliteReader db(target);
    for (const QString& t : host.list2) EXPECT_EQ(db.rowCount(t.toStdString()), manifestRows("sample.mdb", t));
}

TEST_F(RunFlow, PreviewWithNeitherOptionCollectsOnly) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.preview = true;
    run(host);
    EXPECT_TRUE(host.previews.empty());
    EXPECT_EQ(host.statements->count(), 3 + 18 + 12 + 30);
    EXPECT_EQ(host.datatypes->count(), 7 + 6 + 5);
    EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_TRUE(SqliteReader(target).tableNames().empty());
}

// Option2 without preview still clears the lists before each table, while
// the statements are executed at once.
TEST_F(RunFlow, PerTableOptionWithoutPreviewExecutes) {
    ScriptedHost host(fixture("sample.mdb"), target);
    host.option2 = true;
    run(host);
    EXPECT_TRUE(host.previews.empty());
    EXPECT_EQ(host.statements->count(), 0);
    const QString lastTaken = host.list2.first();
    ASSERT_GT(host.datatypes->count(), 0);
    for (int n = 1; n <= host.datatypes->count(); ++n) EXPECT_EQ(host.datatypes->text(n), lastTaken);
    EXPECT_EQ(SqliteReader(target).tableNames().size(), 3u);
}

TEST_F(RunFlow, SecondClickDuringARunHasNoEffect) {
    ScriptedHost host(fixture("sample.mdb"), target);
    int nested = 0;
    host.interaction.onYield = [&] {
        if (nested++ < 3) ConversionRun(host, state).run();
    };
    run(host);
    EXPECT_EQ(host.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(host.busyFlags, (std::vector<bool>{true, false}));
    SqliteReader db(target);
    for (const QString& t : host.list2) EXPECT_EQ(db.rowCount(t.toStdString()), manifestRows("sample.mdb", t));
}

TEST_F(RunFlow, AccessFileWithoutUserTables) {
    ScriptedHost direct(fixture("public/emptyJet4.mdb"), target);
    run(direct);
    EXPECT_EQ(direct.interaction.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_TRUE(direct.list2.isEmpty());

    ScriptedHost perFile(fixture("public/emptyJet4.mdb"), target);
    perFile.preview = true;
    perFile.option1 = true;
    run(perFile);
    ASSERT_EQ(perFile.previews.size(), 1u);
    EXPECT_TRUE(perFile.previews[0].isEmpty());
    EXPECT_EQ(perFile.interaction.texts(), QStringList{QStringLiteral("Done.")});
}

}  // namespace
}  // namespace qb::test
