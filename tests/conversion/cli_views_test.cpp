// --views: saved queries as views that answer as Access does, checked
// against results computed here from the converted tables; every query
// listed in _access_queries; --sql writes the same; name clashes ask.

#include "ConversionTestSupport.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <cfenv>
#include <cmath>
#include <map>

namespace qb::test {
namespace {

CliResult convert(const QStringList& arguments) {
    return runConvert(arguments, {}, 120000, QStringLiteral(QB_CONVERT_EXE));
}

class CliViews : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
};

// Order subtotals as Access computes them: Discount is a Single, each line
// CCur-rounded (half to even, four decimals), in cents.
std::map<std::string, long long> subtotalsInCents(SqliteReader& db) {
    std::map<std::string, double> tenThousandths;
    for (const auto& r : db.query("SELECT OrderID, UnitPrice, Quantity, Discount FROM \"Order Details\"")) {
        const double discount = static_cast<float>(std::stod(r.at(3).value()));
        const double line = std::stod(r.at(1).value()) * std::stod(r.at(2).value()) * (1 - discount) / 100;
        tenThousandths[r.at(0).value()] += std::nearbyint(line * 10000);  // to nearest, ties to even
    }
    std::map<std::string, long long> out;
    for (const auto& [order, value] : tenThousandths) out[order] = std::llround(value);  // x100 /10000 = cents
    return out;
}

TEST_F(CliViews, NorthwindViewsAnswerAsAccessAndEveryQueryIsListed) {
    const QString db = path("n.db");
    const CliResult r = convert({QStringLiteral("--views"), QStringLiteral("--fast"), fixture("public/nwind.mdb"), db});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    for (const char* line : {"Query Invoices Filter: not translated: a form reference",
                             "Query Sales by Year: not translated: it asks for parameters",
                             "Query Order Subtotals: view created"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(line))) << line << "\n" << show(r);

    SqliteReader sqlite(db);
    EXPECT_EQ(sqlite.scalar("SELECT count(*) FROM _access_queries"), "22");
    EXPECT_EQ(
        sqlite.scalar(
            "SELECT count(*) FROM _access_queries WHERE status = 'view created' AND view_sql LIKE 'CREATE VIEW%'"),
        sqlite.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'view'"));
    EXPECT_EQ(
        sqlite.scalar("SELECT group_concat(DISTINCT Discontinued) FROM (SELECT Discontinued FROM Products ORDER BY 1)"),
        "-1,0");

    const auto expected = subtotalsInCents(sqlite);
    const ResultRows view = sqlite.query("SELECT OrderID, Subtotal FROM \"Order Subtotals\"");
    ASSERT_EQ(view.size(), 830u);
    int wrong = 0;
    for (const auto& row : view)
        if (std::llround(std::stod(row.at(1).value()) * 100) != expected.at(row.at(0).value())) ++wrong;
    EXPECT_EQ(wrong, 0);

    // Ten rows and the ties of the tenth, dearest first.
    const ResultRows ten = sqlite.query("SELECT UnitPrice FROM \"Ten Most Expensive Products\"");
    const ResultRows prices = sqlite.query("SELECT UnitPrice FROM Products ORDER BY UnitPrice DESC");
    ASSERT_GE(ten.size(), 10u);
    for (std::size_t i = 0; i < prices.size(); ++i)
        EXPECT_EQ(i < ten.size(), std::stod(prices[i].at(0).value()) >= std::stod(prices[9].at(0).value())) << i;

    // The script makes the same views.
    const QString script = path("n.sql"), fromScript = path("s.db");
    ASSERT_EQ(convert({QStringLiteral("--views"), QStringLiteral("--sql"), script, fixture("public/nwind.mdb"),
                       path("unused.db")}).exitCode, 0);
    QFile(fromScript).open(QIODevice::WriteOnly);
    QFile text(script);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    SqliteReader scripted(fromScript);
    scripted.execute(text.readAll().toStdString());
    const std::string both = "SELECT name, view_sql FROM _access_queries ORDER BY name";
    EXPECT_EQ(scripted.query(both), sqlite.query(both));
    EXPECT_EQ(scripted.query("SELECT * FROM \"Order Subtotals\" ORDER BY 1"),
              sqlite.query("SELECT * FROM \"Order Subtotals\" ORDER BY 1"));
}

TEST_F(CliViews, AViewNameATableHoldsIsAskedLikeATable) {
    const QString db = path("c.db");
    QFile(db).open(QIODevice::WriteOnly);
    SqliteReader(db).execute("CREATE TABLE \"Order Subtotals\"(kept INTEGER)");
    for (const char* answer : {"no", "yes"}) {
        SCOPED_TRACE(answer);
        const CliResult r = convert({QStringLiteral("--views"), QStringLiteral("--fast"), QStringLiteral("--overwrite"),
                                     QString::fromUtf8(answer), fixture("public/nwind.mdb"), db});
        EXPECT_EQ(r.exitCode, 0) << show(r);
        SqliteReader sqlite(db);
        EXPECT_EQ(sqlite.scalar("SELECT type FROM sqlite_master WHERE name = 'Order Subtotals'"),
                  answer[0] == 'n' ? "table" : "view");
        // A view on a query whose view was not made must not read the kept table instead.
        for (const char* name : {"Order Subtotals", "Summary of Sales by Year"})
            EXPECT_EQ(sqlite.scalar("SELECT status FROM _access_queries WHERE name = '" + std::string(name) + "'"),
                      answer[0] == 'n' ? "not created" : "view created");
    }
}

TEST_F(CliViews, DamagedQueryRowsCostTheQueriesNotTheTables) {
    QFile in(fixture("public/nwind.mdb"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    // A page of MSysQueries rows (a union's part names are there) whose row
    // offsets all point past its end.
    const int page = static_cast<int>(bytes.indexOf("X7YZ") / 4096 * 4096);
    ASSERT_GT(page, 0);
    const int rows = std::min(qFromLittleEndian<quint16>(bytes.constData() + page + 12), quint16(2040));
    for (int k = 0; k < rows; ++k) qToLittleEndian<quint16>(0x0FFF, bytes.data() + page + 14 + 2 * k);
    QFile out(path("damaged.mdb"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    out.close();

    const CliResult r = convert({QStringLiteral("--views"), QStringLiteral("--fast"), out.fileName(), path("d.db")});
    EXPECT_EQ(r.exitCode, 0) << show(r);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Queries: not read: The database"))) << show(r);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Tables: 9, rows: 4032, failures: 0"))) << show(r);
}

TEST_F(CliViews, OnlySelectLikeQueriesBecomeViews) {
    const QString db = path("q.db");
    const CliResult r = convert({QStringLiteral("--views"), fixture("public/queryTestV2000.mdb"), db});
    ASSERT_EQ(r.exitCode, 0) << show(r);
    SqliteReader sqlite(db);
    EXPECT_EQ(sqlite.query("SELECT name FROM _access_queries WHERE status = 'view created'"),
              (ResultRows{{std::string("SelectQuery")}}));
    EXPECT_EQ(sqlite.scalar("SELECT count(*) FROM \"SelectQuery\""), "0");
    EXPECT_EQ(sqlite.scalar("SELECT group_concat(kind, ',') FROM (SELECT kind FROM _access_queries WHERE kind NOT IN "
                            "('select', 'union', 'crosstab') ORDER BY kind)"),
              "append,data-definition,delete,make-table,pass-through,update");
}

}  // namespace
}  // namespace qb::test
