#pragma once
// What the command line's options add to a conversion: the keys, NOT NULL
// constraints, foreign keys and indexes of the Access tables (--keys), and
// the entries of attachment, multi-value and version-history columns as
// child tables (--child-tables). The run asks for the pieces where its own
// statements are built; everything else is executed or collected here, in
// the same way the run does it, so that --sql writes what direct and fast
// mode execute.

#include "ConversionHost.h"
#include "ValueText.h"
#include "dbaccess/ComplexColumns.h"
#include "dbaccess/TableSchema.h"

#include <QStringList>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qb {

class TableExtras {
public:
    TableExtras(ConversionHost& host, RunState& state, const ValueFormat& format);
    ~TableExtras();
    TableExtras(const TableExtras&) = delete;
    TableExtras& operator=(const TableExtras&) = delete;

    // Reads what the options need from the Access file and reorders the
    // table list (taken last to first) so that a table comes after every
    // table its foreign keys refer to; a cycle keeps the order it had.
    void prepare(QStringList& accessTables);

    // The declared type of a column and what follows it: INTEGER PRIMARY
    // KEY for an AutoNumber key of one column, NOT NULL for a required one.
    std::string columnType(const std::string& table, int field, const std::string& declaredType) const;
    // Table constraints to add after the columns, each ended by ','. A
    // foreign key whose table in the SQLite file has no unique key over the
    // fields it refers to is left out, with a note.
    std::string tableConstraints(const std::string& table);
    // After the table's rows: its indexes, then its child tables. `created`
    // is false when the table was not written (passed over or refused).
    void afterTable(const std::string& table, MsgResult answer, bool created);
    // A table being replaced takes the child tables an earlier run made for
    // it along: they would refer to a key the new table may not have.
    void dropEarlierChildTables(const std::string& table);

private:
    struct ForeignKey {
        std::string name, parent;
        std::vector<std::string> columns, parentColumns;
        int flags = 0;
    };
    struct TableInfo {
        TableSchema schema;
        std::vector<ForeignKey> foreignKeys;
        std::vector<ComplexColumn> complex;
        bool hasSchema = false;
    };

    void readRelationships(const QStringList& accessTables);
    const TableSchema::Index* primaryKey(const std::string& table) const;
    bool integerKey(const TableInfo& info, const TableSchema::Index& pk) const;
    bool uniqueOver(const std::string& table, const std::vector<std::string>& columns) const;
    void writeIndexes(const std::string& table);
    void writeChildTables(const std::string& table);
    void issue(ConversionHost::StatementKind kind, const std::string& statement,
              ConversionHost::ValueTexts* values);
    std::string uniqueName(const std::string& wanted, const std::set<std::string>& alsoTaken = {});
    const TableInfo* info(const std::string& table) const;
    // The tables of the SQLite file with their CREATE TABLE text, by lower-case name.
    struct FileTable {
        std::string name, sql;
    };
    std::map<std::string, FileTable> fileTables();
    bool uniqueInFile(const std::string& table, const std::vector<std::string>& columns);
    bool isEarlierChildTable(const std::string& name, const std::string& sql) const;
    std::string childTableName(const std::string& wanted);
    bool written(const TableInfo& info, int field) const;

    ConversionHost& host_;
    RunState& state_;
    const ValueFormat& format_;
    ConversionOptions options_;
    std::unique_ptr<Connection> access_;
    std::map<std::string, TableInfo> tables_;  // by lower-case name
    std::set<std::string> usedNames_;          // lower-case table and index names of the run
    std::set<std::string> createdHere_;        // lower-case names of the tables this run wrote
    std::set<std::string> droppedHere_;        // lower-case names of the file's tables this run dropped
};

}  // namespace qb
