// Saved queries: the SQL rebuilt from MSysQueries must be the text the SQL
// view of Access shows, for every kind of query.

#include "Fixtures.h"
#include "access_open.h"
#include "dbaccess/AccessQueries.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace qb {
namespace {

std::string squeezed(const std::string& s) { return std::regex_replace(s, std::regex("\\s+"), " "); }

// The texts Access shows for the queries of queryTestV2000.mdb.
TEST(AccessQueries, RebuildsEveryKindAsAccessShowsIt) {
    const std::map<std::string, std::string> expected = {
        {"SelectQuery",
         "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3 FROM (Table1 LEFT JOIN Table3 ON "
         "Table1.col1 = Table3.col1) INNER JOIN Table2 ON (Table3.col1 = Table2.col1) AND (Table3.col1 = "
         "Table2.col2) WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\"))) ORDER BY Table2.col1;"},
        {"DeleteQuery",
         "DELETE Table1.col1, Table1.col2, Table1.col3 FROM Table1 WHERE (((Table1.col1)>\"blah\"));"},
        {"AppendQuery",
         "INSERT INTO Table3 SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3] FROM Table3, Table1 INNER "
         "JOIN Table2 ON [Table1].[col1]=[Table2].[col1];"},
        {"UpdateQuery",
         "PARAMETERS User Name Text; UPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = [Table2].[col3], "
         "[Table2].[col1] = [User Name] WHERE ((([Table2].[col1]) Is Not Null));"},
        {"MakeTableQuery",
         "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4 FROM (Table2 INNER JOIN Table1 "
         "ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON Table1.col2 = Table3.col3 GROUP BY Table2.col2, "
         "Table3.col2 HAVING (((Max(Table2.col1))=\"buzz\") AND ((Table2.col2)<>\"blah\"));"},
        {"CrosstabQuery",
         "TRANSFORM Count([Table2].[col2]) AS CountOfcol2 SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) "
         "AS AvgOfcol2 FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS "
         "Table2_1 ON [Table2].[col1]=Table2_1.col3 WHERE ((([Table1].[col1])>\"10\") And ((Table2_1.col1) Is Not "
         "Null) And ((Avg(Table2_1.col2))>\"10\")) GROUP BY Table2_1.col1, [Table2].[col3] ORDER BY [Table2].[col3] "
         "PIVOT [Table1].[col1];"},
        {"UnionQuery",
         "Select Table1.col1, Table1.col2 where Table1.col1 = \"foo\" UNION Select Table2.col1, Table2.col2 UNION "
         "ALL Select Table3.col1, Table3.col2 where Table3.col3 > \"blah\";"},
        {"PassthroughQuery", "ALTER TABLE Table4 DROP COLUMN col5;"},
        {"DataDefinitionQuery", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"},
    };
    auto backend = test::openAccessFile(test::fixture("public/queryTestV2000.mdb").toStdString());
    const auto queries = readSavedQueries(*backend);
    ASSERT_EQ(queries.size(), expected.size());
    for (const SavedQuery& q : queries) {
        SCOPED_TRACE(q.name);
        ASSERT_TRUE(expected.count(q.name));
        EXPECT_EQ(squeezed(accessSql(q)), expected.at(q.name));
    }
}

// Newer files keep no type row for a select query: the catalog's flags say it.
TEST(AccessQueries, SelectQueriesWithoutATypeRow) {
    auto backend =
        test::openAccessFile(test::fixture("public/ASampleDatabase.accdb").toStdString(), "", test::kAceProvider);
    int selects = 0;
    for (const SavedQuery& q : readSavedQueries(*backend)) {
        if (q.hidden()) continue;
        EXPECT_EQ(q.kind, QueryKind::Select) << q.name;
        EXPECT_EQ(accessSql(q).rfind("SELECT ", 0), 0u) << q.name;
        ++selects;
    }
    EXPECT_EQ(selects, 3);
}

}  // namespace
}  // namespace qb
