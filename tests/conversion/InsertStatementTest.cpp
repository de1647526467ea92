#include "conversion/InsertStatement.h"

#include <gtest/gtest.h>

namespace {

using qb::Variant;

std::vector<qb::FieldInfo> textFields(int n) {
    std::vector<qb::FieldInfo> f;
    for (int i = 0; i < n; ++i) f.push_back({"F" + std::to_string(i), 202});
    return f;
}

std::string render(const std::vector<qb::FieldInfo>& fields, const std::vector<Variant>& row,
                   const QLocale& locale = QLocale("en_US"), const std::string& table = "T") {
    return qb::renderInsert(qb::makeInsertPlan(table, fields), row, qb::ValueFormat(locale));
}

TEST(InsertStatement, OrdersExampleUnderDecimalCommaLocale) {
    const std::vector<qb::FieldInfo> fields = {{"ID", 3}, {"Name", 202}, {"Photo", 205}, {"Note", 202}, {"Price", 14}};
    const std::vector<Variant> row = {std::int64_t{1}, std::string("O'Neil"), qb::Bytes{1, 2, 3}, qb::Null{},
                                      qb::Decimal{false, 125, 1}};
    const char* expected = R"(INSERT INTO "Orders" VALUES('1', 'O''Neil', NULL, '12.5'))";
    EXPECT_EQ(render(fields, row, QLocale("de_DE"), "Orders"), expected);
    EXPECT_EQ(render(fields, row, QLocale("en_US"), "Orders"), expected);
}

TEST(InsertStatement, NullsAtEitherEndAndEverywhere) {
    const auto f = textFields(3);
    EXPECT_EQ(render(f, {qb::Null{}, std::string("a"), std::string("b")}), R"(INSERT INTO "T" VALUES(NULL, 'a', 'b'))");
    EXPECT_EQ(render(f, {std::string("a"), std::string("b"), qb::Null{}}), R"(INSERT INTO "T" VALUES('a', 'b', NULL))");
    EXPECT_EQ(render(f, {qb::Null{}, std::string(), qb::Null{}}), R"(INSERT INTO "T" VALUES(NULL, NULL, NULL))");
}

TEST(InsertStatement, TextIsKeptApartFromQuotesAndNuls) {
    const auto f = textFields(5);
    const std::vector<Variant> row = {std::string("   "), std::string("'"), std::string("a\0b\0", 4),
                                      std::string("1,234"), std::string("12,5")};
    const char* expected = R"(INSERT INTO "T" VALUES('   ', '''', 'ab', '1,234', '12,5'))";
    EXPECT_EQ(render(f, row, QLocale("en_US")), expected);
    EXPECT_EQ(render(f, row, QLocale("de_DE")), expected);
}

TEST(InsertStatement, DatesAndNumbersOfOtherFields) {
    const std::vector<qb::FieldInfo> f = {{"D", 7}, {"X", 5}, {"B", 11}};
    const std::vector<Variant> row = {qb::OleDate{-1.25}, 1234.5, true};
    EXPECT_EQ(render(f, row, QLocale("de_DE")), R"(INSERT INTO "T" VALUES('29.12.1899 06:00:00', '1234.5', 'True'))");
}

TEST(InsertStatement, OnlyLongBinaryFieldsLeaveABrokenStatement) {
    const std::vector<qb::FieldInfo> f = {{"A", 205}, {"B", 205}};
    EXPECT_EQ(render(f, {qb::Bytes{1}, qb::Null{}}), R"(INSERT INTO "T" VALUE))");
    EXPECT_EQ(render({}, {}), R"(INSERT INTO "T" VALUE))");
}

TEST(InsertStatement, TableNameQuotesAreDoubled) {
    EXPECT_EQ(render(textFields(1), {std::string("v")}, QLocale::c(), R"(a"b)"), R"(INSERT INTO "a""b" VALUES('v'))");
}

TEST(InsertStatement, RowMustMatchThePlan) {
    EXPECT_THROW(render(textFields(2), {std::string("v")}), std::invalid_argument);
}

TEST(InsertStatement, StepsAddUpToTheWholeRow) {
    const auto plan = qb::makeInsertPlan("T", {{"A", 3}, {"P", 205}, {"B", 202}});
    EXPECT_EQ(plan.passedOver, (std::vector<char>{0, 1, 0}));
    std::string s;
    qb::beginInsert(s, plan);
    qb::appendInsertValue(s, "");
    qb::appendInsertText(s, "x'y");
    qb::finishInsert(s);
    EXPECT_EQ(s, R"(INSERT INTO "T" VALUES(NULL, 'x''y'))");
    // A buffer reused for the next row starts clean.
    std::string scratch;
    qb::renderInsert(s, scratch, plan, {std::int64_t{7}, qb::Null{}, std::string("z")}, qb::ValueFormat(QLocale::c()));
    EXPECT_EQ(s, R"(INSERT INTO "T" VALUES('7', 'z'))");
}

}  // namespace
