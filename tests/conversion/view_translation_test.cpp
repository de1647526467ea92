// Access expressions in views must answer as Access does, run by SQLite
// with nothing registered; what has no exact form must not become a view.

#include "ConversionTestSupport.h"

#include "conversion/ViewTranslation.h"
#include "dbaccess/AccessFormat.h"

#include <QTemporaryDir>

namespace qb::test {
namespace {

// The converted table T: Single fields are held as text, dates as ISO
// text, Yes/No as -1/0.
class OneTable : public RelationLookup {
public:
    OneTable() {
        using namespace access::coltype;
        t_.name = "T";
        for (auto [name, type] : std::vector<std::pair<const char*, int>>{
                 {"i", Long}, {"j", Long}, {"t", Text}, {"u", Text}, {"d", DateTime}, {"b", Bool}, {"s", Float}})
            t_.columns.push_back(relationColumn(name, type));
    }
    const Relation* find(const std::string& name) override { return name == "T" ? &t_ : nullptr; }

private:
    Relation t_;
};

SavedQuery selectOf(const std::string& expression) {
    SavedQuery q;
    q.name = "Q";
    q.kind = QueryKind::Select;
    QueryRow type, table, column;
    type.attribute = queryattr::Type;
    type.flag = 1;
    table.attribute = queryattr::Table;
    table.name1 = "T";
    column.attribute = queryattr::Column;
    column.expression = expression;
    column.name1 = "v";
    q.rows = {type, table, column};
    return q;
}

TEST(ViewTranslation, ExpressionsAnswerAsInAccess) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/v.db";
    QFile(path).open(QIODevice::WriteOnly);
    SqliteReader db(path);
    db.execute(
        "CREATE TABLE \"T\"(\"i\" INTEGER, \"j\" INTEGER, \"t\" TEXT, \"u\" TEXT, \"d\" TEXT, \"b\" INTEGER, \"s\")");
    db.execute("INSERT INTO \"T\" VALUES('7', '2', 'abc', NULL, '1995-06-01 10:30:00', '-1', '0.15')");
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"[i]/[j]", "3.5"},                    // never integer division
        {"[i]\\[j]", "3"},
        {"[i] Mod [j]", "1"},
        {"[t] & [u]", "abc"},                  // Null joins as ""
        {"[u] & [u]", "NULL"},                 // ... unless both are Null
        {"[t] & [i]", "abc7"},
        {"[t] = \"ABC\"", "-1"},               // texts compare without case; True is -1
        {"[t] Like \"A?C\"", "-1"},
        {"[t] Like \"a%\"", "0"},              // % is no wildcard in Access
        {"[t] Like \"[!x]b#\"", "0"},
        {"Not [b]", "0"},                      // Yes/No is -1, Not flips its bits
        {"[d] Between #1/1/95# And #12/31/95#", "-1"},
        {"[d] > #6/1/1995 10:00 AM#", "-1"},
        {"Year([d]) & \"-\" & DatePart(\"q\", [d])", "1995-2"},
        {"CCur([i]/224)", "0.0312"},           // 0.03125 rounds half to even
        {"IIf([u] Is Null, \"none\", [u])", "none"},
        {"Nz([u], \"x\") & Left([t], 2) & Mid([t], 3)", "xabc"},
        {"[s]*100 > 15", "-1"},                // a Single 0.15 is a little more than 0.15
        {"Round(2.5) & CInt([i]/2) & Round(0.125, 2)", "240.12"},  // half to even
        {"Switch([i] > 9, \"big\", True, \"small\") & Choose(2, \"a\", \"b\") & Sgn(-[i])", "smallb-1"},
        {"Hour([d]) & Weekday([d]) & String(3, \"xy\") & Space(2) & \"|\"", "105xxx  |"},
        // Out-of-range parts carry over; DateAdd keeps to the month's last day;
        // DateDiff counts the boundaries crossed, not whole intervals.
        {"DateSerial(95, 14, 0)", "1996-01-31"},
        {"DateSerial(29, [j], 29)", "2029-03-01"},
        {"DateAdd(\"m\", 1, #1/31/2000#)", "2000-02-29"},
        {"DateAdd(\"yyyy\", -1, #2/29/2000#)", "1999-02-28"},
        {"DateAdd(\"q\", [i], [d])", "1997-03-01 10:30:00"},
        {"DateAdd(\"ww\", -[j], [d])", "1995-05-18 10:30:00"},
        {"DateAdd(\"n\", -30, DateAdd(\"h\", -10, [d]))", "1995-06-01"},  // midnight: the date alone
        {"DateAdd(\"s\", 30, #10:00#)", "10:00:30"},
        {"DateDiff(\"yyyy\", #12/31/2000#, #1/1/2001#) & DateDiff(\"q\", #3/31/2000#, #4/1/2000#) & "
         "DateDiff(\"m\", #2/1/2000#, #1/31/2000#)", "11-1"},
        {"DateDiff(\"d\", #1/1/2000 11:00 PM#, #1/2/2000 1:00 AM#) & DateDiff(\"ww\", #1/1/2000#, #1/9/2000#) & "
         "DateDiff(\"w\", #1/1/2000#, #1/9/2000#)", "121"},
        {"DateDiff(\"h\", #1/1/2000 11:59 PM#, #1/2/2000#) & DateDiff(\"n\", [d], #6/1/1995 10:31:59 AM#) & "
         "DateDiff(\"s\", #1/2/2000#, #1/1/2000#)", "11-86400"},
    };
    OneTable table;
    for (const auto& [expression, expected] : cases) {
        SCOPED_TRACE(expression);
        try {
            const ViewTranslation t = translateQuery(selectOf(expression), table);
            EXPECT_EQ(db.query("SELECT CAST(\"v\" AS TEXT) FROM (" + t.select + ")").at(0).at(0).value_or("NULL"),
                      expected)
                << t.select;
        } catch (const NotTranslated& e) {
            ADD_FAILURE() << "not translated: " << e.what();
        }
    }
    // The last: damage nested deeper than any stack would hold.
    for (const std::string& untranslatable :
         {std::string("StrConv([t], 3)"), std::string("[Forms]![Orders]![OrderID]"), std::string("[Unknown]"),
          std::string("[d] & \"\""), std::string("[t] Like [u]"), std::string("[i] Between 5 And 1"),
          std::string(100000, '(') + "1" + std::string(100000, ')'),
          [] {
              std::string nested = "[d]";
              for (int i = 0; i < 12; ++i) nested = "DateAdd(\"m\", 1, " + nested + ")";
              return nested;
          }()}) {
        SCOPED_TRACE(untranslatable.substr(0, 40));
        EXPECT_THROW(translateQuery(selectOf(untranslatable), table), NotTranslated);
    }
}

// Access takes a part of a row as a whole row, and the ties of the last.
TEST(ViewTranslation, TopPercentRoundsTheRowCountUp) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/v.db";
    QFile(path).open(QIODevice::WriteOnly);
    SqliteReader db(path);
    db.execute("CREATE TABLE \"T\"(\"i\" INTEGER, \"j\", \"t\", \"u\", \"d\", \"b\", \"s\")");
    db.execute("INSERT INTO \"T\"(\"i\") VALUES(7), (6), (5), (5), (4), (3), (2)");
    SavedQuery q = selectOf("[i]");
    QueryRow flags, order;
    flags.attribute = queryattr::Flags;
    flags.flag = 0x30;
    flags.name1 = "30";
    order.attribute = queryattr::OrderBy;
    order.expression = "[i]";
    order.name1 = "D";
    q.rows.push_back(flags);
    q.rows.push_back(order);
    OneTable table;
    const ViewTranslation t = translateQuery(q, table);
    std::string got;
    for (const auto& row : db.query("SELECT \"v\" FROM (" + t.select + ")")) got += row.at(0).value_or("NULL") + " ";
    EXPECT_EQ(got, "7 6 5 5 ") << t.select;  // 2.1 rows of 7 become 3, and the tie with the third
}

}  // namespace
}  // namespace qb::test
