#include "dbaccess/Datatype.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::map<int, QString> kNames = {
    {0, "adEmpty"},        {2, "adSmallInt"},          {3, "adInteger"},         {4, "adSingle"},
    {5, "adDouble"},       {6, "adCurrency"},          {7, "adDate"},            {8, "adBSTR"},
    {9, "adIDispatch"},    {10, "adError"},            {11, "adBoolean"},        {12, "adVariant"},
    {13, "adIUnknown"},    {14, "adDecimal"},          {16, "adTinyInt"},        {17, "adUnsignedTinyInt"},
    {18, "adUnsignedSmallInt"}, {19, "adUnsignedInt"}, {20, "adBigInt"},         {21, "adUnsignedBigInt"},
    {64, "adFileTime"},    {72, "adGUID"},             {128, "adBinary"},        {129, "adChar"},
    {130, "adWChar"},      {131, "adNumeric"},         {132, "adUserDefined"},   {133, "adDBDate"},
    {134, "adDBTime"},     {135, "adDBTimeStamp"},     {136, "adChapter"},       {138, "adPropVariant"},
    {139, "adVarNumeric"}, {200, "adVarChar"},         {201, "adLongVarChar"},   {202, "adVarWChar"},
    {203, "adLongVarWChar"}, {204, "adVarBinary"},     {205, "adLongVarBinary"},
};

TEST(AdoTypeName, NamesEveryCodeOfTheTableAndNothingElse) {
    ASSERT_EQ(kNames.size(), 39u);
    for (int code = -40000; code <= 40000; ++code) {
        const auto it = kNames.find(code);
        const QString expected = it == kNames.end() ? QString() : it->second;
        ASSERT_EQ(qb::AdoTypeName(code), expected) << code;
        ASSERT_EQ(QString::fromLatin1(qb::adoTypeNameAscii(code)), expected) << code;
        ASSERT_EQ(QString::fromLatin1(qb::adoTypeNameLower(code)), expected.toLower()) << code;
    }
}

TEST(AdoTypeName, GapsArraysAndEmpty) {
    for (int code : {1, 15, 137, 140, 170, 199, 206, 255, 8192 + 202, 8192, -1})
        EXPECT_TRUE(qb::AdoTypeName(code).isEmpty()) << code;
    EXPECT_EQ(qb::AdoTypeName(0), "adEmpty");
    EXPECT_FALSE(qb::AdoTypeName(0).isNull());
}

}  // namespace
