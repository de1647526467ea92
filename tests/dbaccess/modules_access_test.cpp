#include "Fixtures.h"
#include "ScriptedInteraction.h"
#include "dbaccess/Access.h"
#include "dbaccess/Connection.h"
#include "dbaccess/ConnectionString.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qb {
namespace {

const QString kJet = QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString kAce = QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=");
const QString kPassword = QStringLiteral(";JET OLEDB:Database Password=");

TEST(AccessModule, ProviderChosenByTheLastFiveCharactersOnly) {
    const SourceFields none;
    EXPECT_EQ(AccessConnectionString("C:/x/Shop.ACCDB", "pw", none), kAce + "C:/x/Shop.ACCDB" + kPassword + "pw");
    EXPECT_EQ(AccessConnectionString("/x/bareaccdb", "", none), kAce + "/x/bareaccdb" + kPassword);
    EXPECT_EQ(AccessConnectionString("/x/shop.mdb", "pw", none), kJet + "/x/shop.mdb" + kPassword + "pw");
    EXPECT_EQ(AccessConnectionString("/x/shop.MDB", "", none), kJet + "/x/shop.MDB" + kPassword);
    EXPECT_EQ(AccessConnectionString("/x/shop", "", none), kJet + "/x/shop" + kPassword);
    EXPECT_EQ(AccessConnectionString("cdb", "", none), kJet + "cdb" + kPassword);
    EXPECT_EQ(AccessConnectionString("/x/shop.accdb.bak", "", none), kJet + "/x/shop.accdb.bak" + kPassword);
}

TEST(AccessModule, EmptyPathTakesPathAndPasswordFromTheForm) {
    const SourceFields form{QStringLiteral("/data/Form.accdb"), QStringLiteral("FormPw"), QString()};
    EXPECT_EQ(AccessConnectionString("", "ignored", form), kAce + "/data/Form.accdb" + kPassword + "FormPw");
    EXPECT_EQ(AccessConnectionString("/given.mdb", "given", form), kJet + "/given.mdb" + kPassword + "given");
}

TEST(AccessModule, SemicolonsCannotEscapeTheirValue) {
    const SourceFields none;
    const QString path = QStringLiteral("/x/a;b.mdb");
    const QString password = QStringLiteral("a;Data Source=/other.mdb");
    const QString text = AccessConnectionString(path, password, none);
    EXPECT_EQ(text, kJet + "{/x/a;b.mdb}" + kPassword + "{a;Data Source=/other.mdb}");
    const auto pairs = parseConnectionString(text.toStdString());
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(connectionValue(pairs, "Data Source"), path.toStdString());
    EXPECT_EQ(connectionValue(pairs, "JET OLEDB:Database Password"), password.toStdString());
    // A value that merely starts with a brace is braced too, "}" doubled.
    EXPECT_EQ(AccessConnectionString("/p.mdb", "{x}y", none), kJet + "/p.mdb" + kPassword + "{{x}}y}");
    EXPECT_EQ(connectionValue(parseConnectionString(AccessConnectionString("/p.mdb", "{x}y", none).toStdString()),
                              "JET OLEDB:Database Password"),
              std::string("{x}y"));
}

TEST(AccessModule, MissingFileShowsTheMessageAndLeavesTheListEmpty) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::ScriptedInteraction ui;
    const SourceFields form{dir.filePath("missing.mdb"), QString(), QString()};
    EXPECT_FALSE(GetAccessTableNames(ui, form.accessPath, form).has_value());
    QStringList list{QStringLiteral("stale")};
    ListAccessTables(ui, list, form.accessPath, form);
    EXPECT_TRUE(list.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Unable to access the database"));
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(ui.yields, 0);
}

TEST(AccessModule, ListsOnlyUserTablesInSchemaOrderYieldingPerName) {
    test::ScriptedInteraction ui;
    const SourceFields form{test::fixture("edge.mdb"), QString(), QString()};
    QStringList list{QStringLiteral("stale")};
    ListAccessTables(ui, list, form.accessPath, form);
    QStringList sorted = list;
    sorted.sort();
    // The linked table is not a user table; "$" names all count on this side.
    EXPECT_EQ(sorted, (QStringList{"$abc", "Empty", "OnlyOle", "Order Details", "Wide", "a\"b", "ab$", "abc$def"}));
    EXPECT_EQ(ui.yields, list.size());
    EXPECT_TRUE(ui.messages.empty());
}

TEST(AccessModule, PasswordProtectedFileNeedsItsPassword) {
    test::ScriptedInteraction ui;
    const QString path = test::fixture("password.mdb");
    const auto names = GetAccessTableNames(ui, path, SourceFields{path, QStringLiteral("Secret1"), QString()});
    ASSERT_TRUE(names.has_value());
    QStringList sorted = *names;
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"Customers", "Orders", "Products"}));
    EXPECT_THROW(GetAccessTableNames(ui, path, SourceFields{path, QStringLiteral("wrong"), QString()}), DbError);
    EXPECT_THROW(GetAccessTableNames(ui, path, SourceFields{path, QString(), QString()}), DbError);
}

TEST(AccessModule, PasswordCannotRedirectTheSource) {
    test::ScriptedInteraction ui;
    const QString edge = test::fixture("edge.mdb");
    const QString locked = test::fixture("password.mdb");
    const QString redirect = QStringLiteral("x;Data Source=") + test::fixture("sample.mdb");
    // Still edge.mdb: its own tables, not sample.mdb's.
    const auto names = GetAccessTableNames(ui, edge, SourceFields{edge, redirect, QString()});
    ASSERT_TRUE(names.has_value());
    EXPECT_TRUE(names->contains(QStringLiteral("Wide")));
    EXPECT_FALSE(names->contains(QStringLiteral("Customers")));
    // Still password.mdb, with a wrong password: refused.
    auto c = Connection::create();
    EXPECT_THROW(c->open(AccessConnectionString(locked, QStringLiteral("Secret1;Data Source=") + edge, {})
                             .toStdString()),
                 DbError);
}

}  // namespace
}  // namespace qb
