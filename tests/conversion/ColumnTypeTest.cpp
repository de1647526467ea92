#include "conversion/ColumnType.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Expected {
    int code;
    int rule;
    std::string keyword;
    std::string type;
};

TEST(ColumnType, EveryNamedTypeAndAnUnnamedOne) {
    const Expected table[] = {
        {202, 1, "varwchar", "TEXT"},   {203, 1, "varwchar", "TEXT"},     {201, 2, "longvar", "TEXT"},
        {14, 3, "decimal", "NUMERIC"},  {2, 4, "int", "INTEGER"},         {16, 4, "int", "INTEGER"},
        {17, 4, "int", "INTEGER"},      {18, 4, "int", "INTEGER"},        {3, 5, "int", "INTEGER"},
        {19, 5, "int", "INTEGER"},      {20, 5, "int", "INTEGER"},        {21, 5, "int", "INTEGER"},
        {6, 6, "currency", "NUMERIC"},  {11, 7, "bool", "INTEGER"},       {131, 8, "numeric", "NUMERIC"},
        {139, 8, "numeric", "NUMERIC"}, {7, 9, "date", "TEXT"},           {133, 9, "date", "TEXT"},
        {135, 10, "timestamp", "TEXT"}, {5, 11, "double", "NUMERIC"},
    };
    for (const auto& e : table) {
        const qb::ColumnType t = qb::columnTypeFor(e.code);
        EXPECT_TRUE(t.hasColumn) << e.code;
        EXPECT_EQ(t.rule, e.rule) << e.code;
        EXPECT_EQ(t.keyword, e.keyword) << e.code;
        EXPECT_EQ(t.declaredType, e.type) << e.code;
        EXPECT_EQ(t.firstLine(), 202 + 8 * (e.rule - 1)) << e.code;
    }
    for (int code : {0, 4, 8, 9, 10, 12, 13, 64, 72, 128, 129, 130, 132, 134, 136, 138, 200, 204, 1, 8192 + 202}) {
        const qb::ColumnType t = qb::columnTypeFor(code);
        EXPECT_TRUE(t.hasColumn) << code;
        EXPECT_EQ(t.rule, 12) << code;
        EXPECT_STREQ(t.keyword, "OTHER TYPES") << code;
        EXPECT_STREQ(t.declaredType, "TEXT") << code;
        EXPECT_EQ(t.firstLine(), 290) << code;
        EXPECT_EQ(t.typeLine, 294) << code;
    }
    const qb::ColumnType blob = qb::columnTypeFor(205);
    EXPECT_FALSE(blob.hasColumn);
    EXPECT_TRUE(qb::isLongBinary(205));
    EXPECT_FALSE(qb::isLongBinary(204));
    // Only the exact name is left out; a longer name that contains it is not.
    EXPECT_TRUE(qb::columnTypeForName("adlongvarbinaryx").hasColumn);
}

TEST(ColumnType, StepNumbersOfARule) {
    const qb::ColumnType t = qb::columnTypeFor(6);  // currency, statements 242-248
    EXPECT_EQ(t.testLine, 242);
    EXPECT_EQ(t.appendLine, 244);
    EXPECT_EQ(t.keywordLine, 246);
    EXPECT_EQ(t.typeLine, 248);
}

std::vector<qb::FieldInfo> fields(std::initializer_list<std::pair<const char*, int>> list) {
    std::vector<qb::FieldInfo> v;
    for (const auto& [name, type] : list) v.push_back({name, type});
    return v;
}

TEST(CreateTable, ColumnsInFieldOrderWithoutLongBinary) {
    EXPECT_EQ(qb::createTableStatement("Orders", fields({{"ID", 3}, {"Name", 202}, {"Photo", 205}, {"Price", 6}})),
              R"(CREATE TABLE "Orders"([ID] INTEGER,[Name] TEXT,[Price] NUMERIC);)");
}

TEST(CreateTable, NoTransferredColumnLosesTheParenthesis) {
    EXPECT_EQ(qb::createTableStatement("OnlyOle", fields({{"A", 205}, {"B", 205}})), R"(CREATE TABLE "OnlyOle");)");
    EXPECT_EQ(qb::createTableStatement("Bare", {}), R"(CREATE TABLE "Bare");)");
}

TEST(CreateTable, NamesCannotEscapeTheirQuotes) {
    EXPECT_EQ(qb::quoteTableName("Order Details"), R"("Order Details")");
    EXPECT_EQ(qb::quoteTableName(R"(x"; DROP TABLE "y)"), R"("x""; DROP TABLE ""y")");
    EXPECT_EQ(qb::quoteFieldName(R"(a"b)"), R"("a""b")");
    EXPECT_EQ(qb::quoteFieldName("a]b"), R"("a]b")");
    EXPECT_EQ(qb::quoteFieldName(R"(a"];x)"), R"("a""];x")");
    EXPECT_EQ(qb::dropTableStatement(R"(a"b)"), R"(DROP TABLE "a""b")");
    EXPECT_EQ(qb::createTableStatement(R"(a"b)", fields({{"x]", 3}, {"Select", 202}})),
              R"(CREATE TABLE "a""b"("x]" INTEGER,[Select] TEXT);)");
}

}  // namespace
