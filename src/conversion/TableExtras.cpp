#include "TableExtras.h"

#include "ColumnType.h"
#include "InsertStatement.h"
#include "ListViewModel.h"
#include "dbaccess/Access.h"
#include "dbaccess/AccessFormat.h"
#include "dbaccess/Datatype.h"
#include "core/ErrorTrap.h"

#include <QString>
#include <algorithm>
#include <optional>
#include <unordered_map>

namespace qb {

namespace {

// Relationship flags of MSysRelationships.grbit.
constexpr int kNotEnforced = 0x2, kCascadeUpdates = 0x100, kCascadeDeletes = 0x1000, kCascadeNull = 0x2000;

std::string lower(const std::string& s) { return QString::fromUtf8(s).toLower().toStdString(); }
bool same(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

int fieldIndex(const std::vector<FieldInfo>& fields, const std::string& name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (same(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

int columnIndex(const TableSchema& schema, const std::string& name) {
    for (std::size_t i = 0; i < schema.columns.size(); ++i)
        if (same(schema.columns[i].name, name)) return static_cast<int>(i);
    return -1;
}

std::string fieldList(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ",") + quoteFieldName(n);
    return out;
}

std::optional<std::string> textOf(const Variant& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return std::nullopt;
}

std::optional<std::int64_t> integerOf(const Variant& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    return std::nullopt;
}

// Written at the start of every child table's columns, where SQLite keeps
// it in the table's schema: a later run tells its own child tables from the
// user's tables by it.
constexpr std::string_view kChildTableMark = "/* child table */";

}  // namespace

TableExtras::TableExtras(ConversionHost& host, RunState& state, const ValueFormat& format)
    : host_(host), state_(state), format_(format), options_(host.options()) {}

TableExtras::~TableExtras() = default;

const TableExtras::TableInfo* TableExtras::info(const std::string& table) const {
    const auto it = tables_.find(lower(table));
    return it == tables_.end() ? nullptr : &it->second;
}

bool TableExtras::written(const TableInfo& info, int field) const {
    if (field < 0 || field >= static_cast<int>(info.schema.columns.size())) return false;
    const int type = info.schema.columns[static_cast<std::size_t>(field)].jetType;
    return options_.blobs || type != access::coltype::Ole;  // OLE Object fields have a column only as BLOBs
}

void TableExtras::prepare(QStringList& accessTables) {
    if (!options_.keys && !options_.childTables) return;
    ErrorTrap trap(host_.ui(), QStringLiteral("Conversion"), QStringLiteral("ReadKeys"));
    for (const QString& name : accessTables) usedNames_.insert(name.toLower().toStdString());
    trap.run(10, [&] {
        access_ = Connection::create();
        access_->open(AccessConnectionString(QString(), QString(), host_.fields()).toStdString());
    });
    if (!access_ || !access_->backend()) return;
    Backend& backend = *access_->backend();
    for (const QString& name : accessTables) {
        const std::string table = name.toStdString();
        TableInfo& t = tables_[lower(table)];
        if (options_.keys) {
            trap.run(20, [&] {
                if (auto schema = backend.tableSchema(table)) {
                    t.schema = std::move(*schema);
                    t.hasSchema = true;
                }
            });
        }
        if (options_.childTables) trap.run(30, [&] { t.complex = complexColumnsOf(backend, table); });
    }
    if (!options_.keys) return;
    trap.run(40, [&] { readRelationships(accessTables); });

    // The run takes the list from its end: build that order with every
    // table after the tables it refers to, then store it back to front.
    std::vector<QString> pending(accessTables.rbegin(), accessTables.rend());
    QStringList ordered;
    std::set<std::string> done;
    while (!pending.empty()) {
        auto ready = std::find_if(pending.begin(), pending.end(), [&](const QString& name) {
            const TableInfo* t = info(name.toStdString());
            if (!t) return true;
            return std::all_of(t->foreignKeys.begin(), t->foreignKeys.end(), [&](const ForeignKey& fk) {
                return same(fk.parent, name.toStdString()) || done.count(lower(fk.parent)) != 0 ||
                       std::none_of(pending.begin(), pending.end(),
                                    [&](const QString& p) { return same(p.toStdString(), fk.parent); });
            });
        });
        if (ready == pending.end()) ready = pending.begin();  // a cycle
        done.insert(lower(ready->toStdString()));
        ordered.prepend(*ready);
        pending.erase(ready);
    }
    accessTables = ordered;
}

// MSysRelationships: one row per column of a relationship, the foreign key
// in szObject.szColumn referring to szReferencedObject.szReferencedColumn.
void TableExtras::readRelationships(const QStringList& accessTables) {
    auto rows = access_->backend()->openRowset("SELECT * FROM `MSysRelationships`");
    const auto& fields = rows->fields();
    const int name = fieldIndex(fields, "szRelationship"), child = fieldIndex(fields, "szObject"),
              column = fieldIndex(fields, "szColumn"), parent = fieldIndex(fields, "szReferencedObject"),
              parentColumn = fieldIndex(fields, "szReferencedColumn"), position = fieldIndex(fields, "icolumn"),
              flags = fieldIndex(fields, "grbit");
    if (name < 0 || child < 0 || column < 0 || parent < 0 || parentColumn < 0 || position < 0 || flags < 0)
        throw DbError(errnum::Generic, "MSysRelationships lacks the columns of a relationship.");
    struct Part {
        std::int64_t position;
        std::string column, parentColumn;
    };
    struct Relationship {
        ForeignKey key;
        std::vector<Part> parts;
    };
    std::vector<Relationship> found;
    std::vector<Variant> row;
    while (rows->next(row)) {
        const auto n = textOf(row[name]), c = textOf(row[child]), cc = textOf(row[column]), p = textOf(row[parent]),
                   pc = textOf(row[parentColumn]);
        if (!n || !c || !cc || !p || !pc) continue;
        auto it = std::find_if(found.begin(), found.end(),
                               [&](const Relationship& r) { return r.key.name == *n && same(r.key.parent, *p); });
        if (it == found.end()) {
            found.push_back({});
            it = found.end() - 1;
            it->key.name = *n;
            it->key.parent = *p;
            it->key.columns = {*c};  // the child table, until the parts are sorted
            it->key.flags = static_cast<int>(integerOf(row[flags]).value_or(0));
        }
        it->parts.push_back({integerOf(row[position]).value_or(0), *cc, *pc});
    }
    for (Relationship& r : found) {
        const std::string childTable = r.key.columns.front();
        r.key.columns.clear();
        std::stable_sort(r.parts.begin(), r.parts.end(),
                         [](const Part& a, const Part& b) { return a.position < b.position; });
        for (const Part& part : r.parts) {
            r.key.columns.push_back(part.column);
            r.key.parentColumns.push_back(part.parentColumn);
        }
        auto t = tables_.find(lower(childTable));
        if (t == tables_.end() || !t->second.hasSchema) continue;  // not a table converted here
        const QString where = QStringLiteral("Relationship %1 (%2 to %3)")
                                  .arg(QString::fromStdString(r.key.name), QString::fromStdString(childTable),
                                       QString::fromStdString(r.key.parent));
        QString reason;
        const bool parentConverted = std::any_of(accessTables.begin(), accessTables.end(), [&](const QString& n) {
            return same(n.toStdString(), r.key.parent);
        });
        const bool columnsWritten = std::all_of(r.key.columns.begin(), r.key.columns.end(), [&](const std::string& c) {
            return written(t->second, columnIndex(t->second.schema, c));
        });
        if (r.key.flags & kNotEnforced) reason = QStringLiteral("Access does not enforce it");
        else if (!parentConverted) reason = QStringLiteral("the table it refers to is not converted");
        else if (!columnsWritten) reason = QStringLiteral("a field of it has no column");
        else if (!uniqueOver(r.key.parent, r.key.parentColumns))
            reason = QStringLiteral("the fields it refers to have no unique index");
        if (!reason.isEmpty()) {
            showInfo(host_.ui(), where + QStringLiteral(": no foreign key written, as ") + reason + QStringLiteral("."));
            continue;
        }
        t->second.foreignKeys.push_back(std::move(r.key));
    }
}

const TableSchema::Index* TableExtras::primaryKey(const std::string& table) const {
    const TableInfo* t = info(table);
    if (!t || !t->hasSchema) return nullptr;
    for (const auto& index : t->schema.indexes) {
        if (!index.primary || index.parts.empty()) continue;
        for (const auto& part : index.parts)
            if (!written(*t, part.column)) return nullptr;
        return &index;
    }
    return nullptr;
}

bool TableExtras::integerKey(const TableInfo& info, const TableSchema::Index& pk) const {
    if (pk.parts.size() != 1) return false;
    const auto& column = info.schema.columns.at(static_cast<std::size_t>(pk.parts[0].column));
    return column.autoNumber && column.jetType == access::coltype::Long;
}

// True when the table's primary key or one of its unique indexes covers
// exactly these columns: SQLite refers only to such columns.
bool TableExtras::uniqueOver(const std::string& table, const std::vector<std::string>& columns) const {
    const TableInfo* t = info(table);
    if (!t || !t->hasSchema) return false;
    std::set<std::string> wanted;
    for (const std::string& c : columns) wanted.insert(lower(c));
    for (const auto& index : t->schema.indexes) {
        if (!index.unique || index.foreignKey) continue;
        std::set<std::string> have;
        for (const auto& part : index.parts) {
            if (!written(*t, part.column)) break;
            have.insert(lower(t->schema.columns.at(static_cast<std::size_t>(part.column)).name));
        }
        if (have == wanted && have.size() == index.parts.size()) return true;
    }
    return false;
}

std::string TableExtras::columnType(const std::string& table, int field, const std::string& declaredType) const {
    const TableInfo* t = info(table);
    if (!options_.keys || !t || !t->hasSchema || field < 0 || field >= static_cast<int>(t->schema.columns.size()))
        return declaredType;
    // A rowid alias: the AutoNumber's values become the rowids.
    if (const auto* pk = primaryKey(table); pk && integerKey(*t, *pk) && pk->parts[0].column == field)
        return "INTEGER PRIMARY KEY";
    if (t->schema.columns[static_cast<std::size_t>(field)].required) return declaredType + " NOT NULL";
    return declaredType;
}

std::string TableExtras::tableConstraints(const std::string& table) {
    const TableInfo* t = info(table);
    if (!options_.keys || !t || !t->hasSchema) return {};
    std::string out;
    if (const auto* pk = primaryKey(table); pk && !integerKey(*t, *pk)) {
        std::vector<std::string> names;
        for (const auto& part : pk->parts) names.push_back(t->schema.columns.at(static_cast<std::size_t>(part.column)).name);
        out += "PRIMARY KEY(" + fieldList(names) + "),";
    }
    for (const ForeignKey& fk : t->foreignKeys) {
        // The table it refers to is in the file by now (or this table
        // itself): one the run did not write (kept, or refused) may lack
        // the key, and a script cannot look at what it has not run yet.
        const bool ownKey = same(fk.parent, table) || (host_.previewEnabled() && createdHere_.count(lower(fk.parent)));
        if (!ownKey && !uniqueInFile(fk.parent, fk.parentColumns)) {
            showInfo(host_.ui(), QStringLiteral("Relationship %1 (%2 to %3): no foreign key written, as the table "
                                                "%3 in the SQLite file has no primary key or unique index over "
                                                "the fields it refers to.")
                                     .arg(QString::fromStdString(fk.name), QString::fromStdString(table),
                                          QString::fromStdString(fk.parent)));
            continue;
        }
        out += "FOREIGN KEY(" + fieldList(fk.columns) + ") REFERENCES " + quoteTableName(fk.parent) + "(" +
               fieldList(fk.parentColumns) + ")";
        if (fk.flags & kCascadeUpdates) out += " ON UPDATE CASCADE";
        if (fk.flags & kCascadeDeletes) out += " ON DELETE CASCADE";
        else if (fk.flags & kCascadeNull) out += " ON DELETE SET NULL";
        out += ',';
    }
    return out;
}

std::string TableExtras::uniqueName(const std::string& wanted, const std::set<std::string>& alsoTaken) {
    std::string name = wanted;
    for (int n = 2; usedNames_.count(lower(name)) != 0 || alsoTaken.count(lower(name)) != 0; ++n)
        name = wanted + "_" + std::to_string(n);
    usedNames_.insert(lower(name));
    return name;
}

void TableExtras::issue(ConversionHost::StatementKind kind, const std::string& statement,
                       ConversionHost::ValueTexts* values) {
    if (host_.previewEnabled()) host_.statementList().add(QString::fromStdString(statement));
    else host_.execute(state_, kind, statement, values);
}

std::map<std::string, TableExtras::FileTable> TableExtras::fileTables() {
    std::map<std::string, FileTable> tables;
    if (!state_.SQLite_conn || !state_.SQLite_conn->backend()) return tables;
    auto rows = state_.SQLite_conn->backend()->openRowset("SELECT name, sql FROM sqlite_master WHERE type = 'table'");
    std::vector<Variant> row;
    while (rows->next(row)) {
        if (row.size() < 2) continue;
        if (const auto name = textOf(row[0])) tables[lower(*name)] = {*name, textOf(row[1]).value_or("")};
    }
    return tables;
}

// True when the file's table has its primary key or a unique index over
// exactly these columns; the statements name no table, so any name will do.
bool TableExtras::uniqueInFile(const std::string& table, const std::vector<std::string>& columns) {
    if (!state_.SQLite_conn || !state_.SQLite_conn->backend()) return false;
    std::set<std::string> wanted;
    for (const std::string& c : columns) wanted.insert(lower(c));
    std::map<std::string, std::set<std::string>> keys;  // index (or the rowid key) -> its columns
    try {
        Backend& file = *state_.SQLite_conn->backend();
        auto collect = [&](const std::string& sql) {
            auto rows = file.openRowset(sql);
            std::vector<Variant> row;
            while (rows->next(row)) {
                const auto t = row.size() == 3 ? textOf(row[0]) : std::nullopt;
                const auto key = t ? textOf(row[1]) : std::nullopt;
                const auto column = key ? textOf(row[2]) : std::nullopt;
                if (column && same(*t, table)) keys[*key].insert(lower(*column));
            }
        };
        collect("SELECT m.name, '', c.name FROM sqlite_master AS m, pragma_table_info(m.name) AS c "
                "WHERE m.type = 'table' AND c.pk > 0");
        collect("SELECT m.name, 'index ' || i.name, c.name FROM sqlite_master AS m, pragma_index_list(m.name) AS i, "
                "pragma_index_info(i.name) AS c WHERE m.type = 'table' AND i.\"unique\"");
    } catch (const DbError&) {
        return false;
    }
    return std::any_of(keys.begin(), keys.end(), [&](const auto& key) { return key.second == wanted; });
}

bool TableExtras::isEarlierChildTable(const std::string& name, const std::string& sql) const {
    return droppedHere_.count(lower(name)) == 0 && sql.find(kChildTableMark) != std::string::npos;
}

void TableExtras::dropEarlierChildTables(const std::string& table) {
    ErrorTrap trap(host_.ui(), QStringLiteral("Conversion"), QStringLiteral("DropChildTables"));
    std::map<std::string, FileTable> tables;
    trap.run(10, [&] { tables = fileTables(); });
    const std::string prefix = lower(table) + "_";
    for (const auto& [key, file] : tables) {
        if (key.compare(0, prefix.size(), prefix) != 0 || !isEarlierChildTable(file.name, file.sql)) continue;
        trap.run(20, [&] { issue(ConversionHost::StatementKind::Drop, dropTableStatement(file.name), nullptr); });
        droppedHere_.insert(key);
    }
}

// The child table's name: one that a child table of an earlier run holds is
// taken over; one that another table of the file holds is that table's to
// keep unless the user lets it be replaced.
std::string TableExtras::childTableName(const std::string& wanted) {
    std::map<std::string, FileTable> tables;
    ErrorTrap trap(host_.ui(), QStringLiteral("Conversion"), QStringLiteral("ChildTableName"));
    trap.run(10, [&] { tables = fileTables(); });
    const auto existing = tables.find(lower(wanted));
    if (existing == tables.end() || droppedHere_.count(existing->first)) return wanted;
    MsgResult answer = MsgResult::Yes;
    if (!isEarlierChildTable(wanted, existing->second.sql))
        trap.run(20, [&] {
            answer = askYesNo(host_.ui(), QStringLiteral("Would you like to overwrite ") + QString::fromStdString(wanted) +
                                              QStringLiteral("?"),
                              QStringLiteral("Overwrite?"));
        });
    if (answer == MsgResult::Yes) {
        trap.run(30, [&] { issue(ConversionHost::StatementKind::Drop, dropTableStatement(wanted), nullptr); });
        droppedHere_.insert(existing->first);
        return wanted;
    }
    std::set<std::string> taken;
    for (const auto& entry : tables) taken.insert(entry.first);
    return uniqueName(wanted, taken);
}

void TableExtras::afterTable(const std::string& table, MsgResult answer, bool created) {
    if (!created || answer == MsgResult::No) return;
    createdHere_.insert(lower(table));
    if (options_.childTables) writeChildTables(table);
    if (options_.keys) writeIndexes(table);
}

// Every index but the primary key and those Access made for relationships,
// after the rows: building an index once is faster than keeping it up to
// date row by row, and a duplicate in damaged data then costs the index,
// reported, not the table.
void TableExtras::writeIndexes(const std::string& table) {
    const TableInfo* t = info(table);
    if (!t || !t->hasSchema) return;
    ErrorTrap trap(host_.ui(), QStringLiteral("Conversion"), QStringLiteral("WriteIndexes"));
    // Index names are shared by all tables of the SQLite file: one that a
    // table kept from before holds (a replaced table's went with it) is
    // taken as well.
    std::set<std::string> taken;
    if (!host_.previewEnabled() && state_.SQLite_conn && state_.SQLite_conn->backend()) {
        trap.run(5, [&] {
            auto rows = state_.SQLite_conn->backend()->openRowset("SELECT name FROM sqlite_master WHERE type = 'index'");
            std::vector<Variant> row;
            while (rows->next(row))
                if (const auto name = row.empty() ? std::nullopt : textOf(row[0])) taken.insert(lower(*name));
        });
    }
    const auto* pk = primaryKey(table);
    std::set<std::vector<int>> seen;
    if (pk) {
        std::vector<int> columns;
        for (const auto& part : pk->parts) columns.push_back(part.column);
        seen.insert(columns);
    }
    for (const auto& index : t->schema.indexes) {
        if (index.primary || index.foreignKey || index.parts.empty()) continue;
        std::vector<int> columns;
        std::string list;
        bool usable = true;
        for (const auto& part : index.parts) {
            const auto& column = t->schema.columns.at(static_cast<std::size_t>(part.column));
            usable = usable && written(*t, part.column) && column.jetType != access::coltype::Complex;
            columns.push_back(part.column);
            list += (list.empty() ? "" : ",") + quoteFieldName(column.name) + (part.ascending ? "" : " DESC");
        }
        if (!usable || !seen.insert(columns).second) continue;
        const std::string statement = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                                      quoteTableName(uniqueName(table + "_" + index.name, taken)) + " ON " +
                                      quoteTableName(table) + "(" + list + ")";
        trap.run(10, [&] { issue(ConversionHost::StatementKind::Index, statement, nullptr); });
    }
}

// One child table per complex column: the parent's key (its primary key
// with --keys, else its row number, which is its rowid when every row went
// in), then the entry's fields.
void TableExtras::writeChildTables(const std::string& table) {
    const TableInfo* t = info(table);
    if (!t || t->complex.empty() || !access_ || !access_->backend()) return;
    Interaction& ui = host_.ui();
    ErrorTrap trap(ui, QStringLiteral("Conversion"), QStringLiteral("WriteChildTables"));
    const bool preview = host_.previewEnabled();
    const auto* pk = options_.keys ? primaryKey(table) : nullptr;
    if (!pk && !preview && !host_.tableWhole()) {
        trap.report(QStringLiteral("The attachment and multi-value entries of %1 were not written: rows of %1 "
                                   "did not arrive, so row numbers would not find their rows.")
                        .arg(QString::fromStdString(table)));
        return;
    }

    // Parent key texts by complex key, per complex column.
    std::vector<std::string> linkNames, linkTypes;
    std::vector<std::unordered_map<std::int64_t, std::vector<std::vector<std::string>>>> links(t->complex.size());
    bool parentRead = false;
    trap.run(10, [&] {
        auto rows = access_->backend()->openTableWithComplexKeys(table);
        const auto& fields = rows->fields();
        std::vector<int> keyFields, complexFields;
        if (pk) {
            for (const auto& part : pk->parts) {
                keyFields.push_back(part.column);
                linkNames.push_back(fields.at(static_cast<std::size_t>(part.column)).name);
                linkTypes.push_back(columnTypeFor(fields.at(static_cast<std::size_t>(part.column)).type).declaredType);
            }
        } else {
            linkNames.push_back("ParentRow");
            linkTypes.push_back("INTEGER");
        }
        for (const ComplexColumn& c : t->complex)
            complexFields.push_back(c.parentField >= 0 && c.parentField < static_cast<int>(fields.size()) ? c.parentField : -1);
        const long long limit = host_.rowLimit();
        std::vector<Variant> row;
        std::vector<std::string> link;
        for (long long number = 1; (limit < 0 || number <= limit) && rows->next(row); ++number) {
            link.clear();
            if (pk) {
                for (int f : keyFields)
                    link.push_back(valueText(row.at(static_cast<std::size_t>(f)), fields[static_cast<std::size_t>(f)].type, format_));
            } else {
                link.push_back(std::to_string(number));
            }
            for (std::size_t c = 0; c < complexFields.size(); ++c) {
                if (complexFields[c] < 0) continue;
                if (const auto key = integerOf(row.at(static_cast<std::size_t>(complexFields[c]))))
                    links[c][*key].push_back(link);
            }
        }
        parentRead = true;
    });
    if (!parentRead) return;

    using Kind = ConversionHost::StatementKind;
    const bool wantValues = host_.wantsInsertValues() && !preview;
    for (std::size_t c = 0; c < t->complex.size(); ++c) {
        const ComplexColumn& complex = t->complex[c];
        const std::string wanted = uniqueName(table + "_" + complex.column);
        host_.tableStarted(QString::fromStdString(wanted));
        const std::string child = childTableName(wanted);
        // The table the user kept passes over; the entries go under the new name.
        if (!same(child, wanted)) host_.tableStarted(QString::fromStdString(child));
        trap.run(20, [&] {
            host_.setProgressText(QStringLiteral("Please wait.. Processing table ") + QString::fromStdString(child));
        });
        std::unique_ptr<RowSource> entries;
        trap.run(30, [&] { entries = access_->backend()->openRowset("SELECT * FROM `" + complex.flatTable + "`"); });
        if (!entries) continue;
        const auto& fields = entries->fields();
        const std::size_t count = complex.valueFields.size();
        std::vector<char> blob(linkNames.size() + count, 0);
        std::string create = createTableHead(child);
        create += kChildTableMark;
        for (std::size_t k = 0; k < linkNames.size(); ++k)
            appendColumnDefinition(create, linkNames[k], linkTypes[k]);
        for (std::size_t v = 0; v < count; ++v) {
            const int f = complex.valueFields[v];
            const int type = fields.at(static_cast<std::size_t>(f)).type;
            const bool bytes = f == complex.dataField || isLongBinary(type);
            blob[linkNames.size() + v] = bytes ? 1 : 0;
            appendColumnDefinition(create, v < complex.valueNames.size() ? complex.valueNames[v] : fields[static_cast<std::size_t>(f)].name,
                                   bytes ? "BLOB" : columnTypeFor(type).declaredType);
        }
        if (pk)
            create += "FOREIGN KEY(" + fieldList(linkNames) + ") REFERENCES " + quoteTableName(table) + "(" +
                      fieldList(linkNames) + ") ON UPDATE CASCADE ON DELETE CASCADE,";
        finishCreateTable(create);
        const int before = trap.reports();
        trap.run(50, [&] { issue(Kind::Create, create, nullptr); });
        if (trap.reports() == before) {
            host_.binaryValues(blob);
            const std::string head = "INSERT INTO " + quoteTableName(child) + " VALUES('";
            const long long total = entries->rowCount();
            long long number = 0;
            std::vector<Variant> row;
            std::string statement, text;
            ConversionHost::ValueTexts values;
            trap.run(60, [&] {
                while (entries->next(row)) {
                    const auto key = integerOf(row.at(static_cast<std::size_t>(complex.keyField)));
                    if (!key) continue;
                    const auto parents = links[c].find(*key);
                    // Entries of rows past --limit, or of no row at all.
                    if (parents == links[c].end()) continue;
                    for (const auto& link : parents->second) {
                        host_.rowProgress(++number, total);
                        ui.yield();
                        statement = head;
                        values.clear();
                        for (const std::string& l : link) {
                            if (wantValues) bindValueText(values, std::string(l));
                            else appendInsertText(statement, l);
                        }
                        for (std::size_t v = 0; v < count; ++v) {
                            const int f = complex.valueFields[v];
                            const Variant* value = &row.at(static_cast<std::size_t>(f));
                            Variant file;
                            if (f == complex.dataField && std::holds_alternative<Bytes>(*value)) {
                                auto decoded = attachmentFileBytes(std::get<Bytes>(*value));
                                if (!decoded)
                                    trap.report(QStringLiteral("An attachment of %1 in %2 is damaged; its data is "
                                                               "written as NULL.")
                                                    .arg(QString::fromStdString(complex.column),
                                                         QString::fromStdString(table)));
                                file = decoded ? Variant(std::move(*decoded)) : Variant(Null{});
                                value = &file;
                            }
                            ConversionHost::ValueTexts* bound = wantValues ? &values : nullptr;
                            if (blob[linkNames.size() + v] != 0) {
                                appendInsertBytes(statement, bound, *value);
                                continue;
                            }
                            text = valueText(*value, fields[static_cast<std::size_t>(f)].type, format_);
                            // An empty text is NULL, bound or written, as in the run.
                            if (text.empty()) {
                                if (bound) bound->emplace_back();
                                else appendInsertNull(statement);
                            } else if (bound) {
                                bindValueText(*bound, std::move(text));
                            } else {
                                appendInsertText(statement, text);
                            }
                        }
                        if (wantValues) statement = head;
                        else finishInsert(statement);
                        trap.run(70, [&] { issue(Kind::Insert, statement, wantValues ? &values : nullptr); });
                    }
                }
            });
        }
        trap.run(80, [&] { host_.tableFinished(state_); });
        host_.binaryValues({});
    }
}

}  // namespace qb
