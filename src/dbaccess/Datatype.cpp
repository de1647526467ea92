#include "Datatype.h"

#include <array>

namespace qb {
namespace {

struct Entry {
    int code;
    std::string_view name;
    std::string_view lower;
};

constexpr Entry kEntries[] = {
    {0, "adEmpty", "adempty"},
    {2, "adSmallInt", "adsmallint"},
    {3, "adInteger", "adinteger"},
    {4, "adSingle", "adsingle"},
    {5, "adDouble", "addouble"},
    {6, "adCurrency", "adcurrency"},
    {7, "adDate", "addate"},
    {8, "adBSTR", "adbstr"},
    {9, "adIDispatch", "adidispatch"},
    {10, "adError", "aderror"},
    {11, "adBoolean", "adboolean"},
    {12, "adVariant", "advariant"},
    {13, "adIUnknown", "adiunknown"},
    {14, "adDecimal", "addecimal"},
    {16, "adTinyInt", "adtinyint"},
    {17, "adUnsignedTinyInt", "adunsignedtinyint"},
    {18, "adUnsignedSmallInt", "adunsignedsmallint"},
    {19, "adUnsignedInt", "adunsignedint"},
    {20, "adBigInt", "adbigint"},
    {21, "adUnsignedBigInt", "adunsignedbigint"},
    {64, "adFileTime", "adfiletime"},
    {72, "adGUID", "adguid"},
    {128, "adBinary", "adbinary"},
    {129, "adChar", "adchar"},
    {130, "adWChar", "adwchar"},
    {131, "adNumeric", "adnumeric"},
    {132, "adUserDefined", "aduserdefined"},
    {133, "adDBDate", "addbdate"},
    {134, "adDBTime", "addbtime"},
    {135, "adDBTimeStamp", "addbtimestamp"},
    {136, "adChapter", "adchapter"},
    {138, "adPropVariant", "adpropvariant"},
    {139, "adVarNumeric", "advarnumeric"},
    {200, "adVarChar", "advarchar"},
    {201, "adLongVarChar", "adlongvarchar"},
    {202, "adVarWChar", "advarwchar"},
    {203, "adLongVarWChar", "adlongvarwchar"},
    {204, "adVarBinary", "advarbinary"},
    {205, "adLongVarBinary", "adlongvarbinary"},
};

constexpr int kMaxCode = 205;

// Code -> position in kEntries, -1 where the code has no name. The lookup
// runs once per field of every converted row, so it must not search.
constexpr std::array<signed char, kMaxCode + 1> makeIndex() {
    std::array<signed char, kMaxCode + 1> index{};
    for (auto& i : index) i = -1;
    for (std::size_t i = 0; i < std::size(kEntries); ++i) index[kEntries[i].code] = static_cast<signed char>(i);
    return index;
}

constexpr auto kIndex = makeIndex();

const Entry* find(int code) {
    if (code < 0 || code > kMaxCode) return nullptr;
    const int i = kIndex[code];
    return i < 0 ? nullptr : &kEntries[i];
}

}  // namespace

QString AdoTypeName(int code) {
    const Entry* e = find(code);
    return e ? QString::fromLatin1(e->name.data(), static_cast<qsizetype>(e->name.size())) : QString();
}

std::string_view adoTypeNameAscii(int code) {
    const Entry* e = find(code);
    return e ? e->name : std::string_view();
}

std::string_view adoTypeNameLower(int code) {
    const Entry* e = find(code);
    return e ? e->lower : std::string_view();
}

}  // namespace qb
