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
    // Table constraints to add after the columns, each ended by ','.
    std::string tableConstraints(const std::string& table) const;
    // After the table's rows: its indexes, then its child tables. `created`
    // is false when the table was not written (passed over or refused).
    void afterTable(const std::string& table, MsgResult answer, bool created);

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
    void writeChildTables(const std::string& table, MsgResult answer);
    void issue(ConversionHost::StatementKind kind, const std::string& statement,
              ConversionHost::ValueTexts* values);
    std::string uniqueName(const std::string& wanted, const std::set<std::string>& alsoTaken = {});
    const TableInfo* info(const std::string& table) const;
    bool written(const TableInfo& info, int field) const;

    ConversionHost& host_;
    RunState& state_;
    const ValueFormat& format_;
    ConversionOptions options_;
    std::unique_ptr<Connection> access_;
    std::map<std::string, TableInfo> tables_;  // by lower-case name
    std::set<std::string> usedNames_;          // lower-case table and index names of the run
};

}  // namespace qb
