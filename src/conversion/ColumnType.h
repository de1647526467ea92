#pragma once
// The SQLite column chosen for an Access field, and the DROP TABLE and
// CREATE TABLE statements built from those choices.
//
// Table names are written in double quotation marks with every inner '"'
// doubled, field names in square brackets, or, when they hold a character
// the SQLite ODBC driver reads inside brackets (? { } ' " ]), in double
// quotation marks with '"' doubled. Through the driver a statement text runs
// every ';'-separated statement in it, so an unescaped name could smuggle a
// second statement into the target file.

#include "dbaccess/Connection.h"

#include <string>
#include <string_view>
#include <vector>

namespace qb {

constexpr int adLongVarBinary = 205;

// How one field is transferred. Rules 1 to 11 are tried in order, rule 12
// takes every type that none of them matched; long binary fields get no
// column at all (rule 0).
struct ColumnType {
    bool hasColumn = false;
    int rule = 0;
    const char* keyword = "";       // what the datatype list shows as the match
    const char* declaredType = "";  // TEXT, NUMERIC or INTEGER
    // Statement numbers of the rule's steps, for the error report: the rule's
    // own test (rules 1 to 11 only; 0 for rule 12 and for long binary), then
    // appending the column definition, then writing the keyword and the
    // declared type into the datatype list.
    int testLine = 0;
    int appendLine = 0;
    int keywordLine = 0;
    int typeLine = 0;
    // First statement number of the rule (its test, or its append for rule 12).
    int firstLine() const { return testLine ? testLine : appendLine; }
};

// From the lower-cased ADO type name ("advarwchar"; empty when unnamed).
ColumnType columnTypeForName(std::string_view lowerTypeName);
// From the ADO type code.
ColumnType columnTypeFor(int adoType);
// True for the one type whose fields are left out of the table and its rows.
bool isLongBinary(int adoType);

std::string quoteTableName(std::string_view name);
std::string quoteFieldName(std::string_view name);

std::string dropTableStatement(std::string_view table);

// The CREATE TABLE statement in the steps the conversion run traps one by one.
std::string createTableHead(std::string_view table);  // CREATE TABLE "t"(
void appendColumnDefinition(std::string& statement, std::string_view field, std::string_view declaredType);
// Drops the last character (the comma after the last column, or the "(" when
// no column was written) and closes the statement with ");".
void finishCreateTable(std::string& statement);

// The whole statement for a table's fields, for callers that need no steps.
std::string createTableStatement(std::string_view table, const std::vector<FieldInfo>& fields);

}  // namespace qb
