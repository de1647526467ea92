#include "ColumnType.h"

#include "dbaccess/Datatype.h"

namespace qb {
namespace {

struct Rule {
    std::string_view keywords[2];
    const char* keyword;
    const char* declaredType;
    int firstLine;
};

// Tried in this order; the first rule with a keyword inside the type name
// wins. The order matters: "adlongvarwchar" must meet "varwchar" before
// "longvar", and "adsmallint" must meet rule 4 before the plain "int".
constexpr Rule kRules[] = {
    {{"varwchar", {}}, "varwchar", "TEXT", 202},
    {{"longvar", {}}, "longvar", "TEXT", 210},
    {{"decimal", {}}, "decimal", "NUMERIC", 218},
    {{"smallint", "tinyint"}, "int", "INTEGER", 226},
    {{"int", {}}, "int", "INTEGER", 234},
    {{"currency", {}}, "currency", "NUMERIC", 242},
    {{"bool", {}}, "bool", "INTEGER", 250},
    {{"numeric", {}}, "numeric", "NUMERIC", 258},
    {{"date", {}}, "date", "TEXT", 266},
    {{"timestamp", {}}, "timestamp", "TEXT", 274},
    {{"double", {}}, "double", "NUMERIC", 282},
};

void appendDoubled(std::string& out, std::string_view text, char quote) {
    for (char c : text) {
        out += c;
        if (c == quote) out += c;
    }
}

}  // namespace

ColumnType columnTypeForName(std::string_view lowerTypeName) {
    ColumnType t;
    if (lowerTypeName == "adlongvarbinary") return t;
    t.hasColumn = true;
    int ruleNo = 1;
    for (const Rule& r : kRules) {
        for (std::string_view k : r.keywords) {
            if (!k.empty() && lowerTypeName.find(k) != std::string_view::npos) {
                t.rule = ruleNo;
                t.keyword = r.keyword;
                t.declaredType = r.declaredType;
                t.testLine = r.firstLine;
                t.appendLine = r.firstLine + 2;
                t.keywordLine = r.firstLine + 4;
                t.typeLine = r.firstLine + 6;
                return t;
            }
        }
        ++ruleNo;
    }
    t.rule = 12;
    t.keyword = "OTHER TYPES";
    t.declaredType = "TEXT";
    t.appendLine = 290;
    t.keywordLine = 292;
    t.typeLine = 294;
    return t;
}

ColumnType columnTypeFor(int adoType) { return columnTypeForName(adoTypeNameLower(adoType)); }

bool isLongBinary(int adoType) { return adoType == adLongVarBinary; }

std::string quoteTableName(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    out += '"';
    appendDoubled(out, name, '"');
    out += '"';
    return out;
}

std::string quoteFieldName(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    // The SQLite ODBC driver does not know square brackets: inside them it
    // counts "?" as a parameter, rewrites "{...}" as an escape and takes a
    // quote for the start of a literal. It leaves double-quoted names alone.
    if (name.find_first_of("?{}'\"]") == std::string_view::npos) {
        out += '[';
        out += name;
        out += ']';
        return out;
    }
    out += '"';
    appendDoubled(out, name, '"');
    out += '"';
    return out;
}

std::string dropTableStatement(std::string_view table) { return "DROP TABLE " + quoteTableName(table); }

std::string createTableHead(std::string_view table) { return "CREATE TABLE " + quoteTableName(table) + "("; }

void appendColumnDefinition(std::string& statement, std::string_view field, std::string_view declaredType) {
    statement += quoteFieldName(field);
    statement += ' ';
    statement += declaredType;
    statement += ',';
}

void finishCreateTable(std::string& statement) {
    if (!statement.empty()) statement.pop_back();
    statement += ");";
}

std::string createTableStatement(std::string_view table, const std::vector<FieldInfo>& fields) {
    std::string s = createTableHead(table);
    for (const FieldInfo& f : fields) {
        const ColumnType t = columnTypeFor(f.type);
        if (t.hasColumn) appendColumnDefinition(s, f.name, t.declaredType);
    }
    finishCreateTable(s);
    return s;
}

}  // namespace qb
