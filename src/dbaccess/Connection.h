#pragma once
// Folder src/dbaccess: the data-access layer (this header), its ODBC and
// Access back ends, the table lists, the provider check and the type names.
// It may use src/core only.
//
// The ADO-like layer every database access goes through: a connection that
// picks its back end from the connection string, and a forward-only rowset.
// Member names follow the ADO members the rest of the program relies on.

#include "core/DbError.h"
#include "TableSchema.h"
#include "Variant.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb {

constexpr int adSchemaTables = 20;
constexpr int adUseServer = 2;
constexpr int adUseClient = 3;

struct FieldInfo {
    std::string name;
    int type = 0;  // ADO DataTypeEnum code
};

// What a back end hands a rowset: its columns, an exact row count known
// before the first row is read, and the rows one at a time.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual const std::vector<FieldInfo>& fields() const = 0;
    virtual long long rowCount() = 0;
    // Fills `row` (one value per field) and returns true, or returns false
    // at the end. Throws DbError when the source cannot be read further.
    virtual bool next(std::vector<Variant>& row) = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual void execute(const std::string& sql) = 0;
    // Tables schema rowset: columns TABLE_NAME and TABLE_TYPE among others.
    virtual std::unique_ptr<RowSource> openSchemaTables() = 0;
    virtual std::unique_ptr<RowSource> openRowset(const std::string& source) = 0;
    // The keys, indexes and column properties of a table; no value where
    // the back end has none to give.
    virtual std::optional<TableSchema> tableSchema(const std::string& /*table*/) { return std::nullopt; }
    // The table's rows as openRowset gives them for "SELECT * FROM `table`",
    // except that attachment and multi-value columns hold the 32-bit key of
    // their entries in the hidden table of values instead of NULL.
    virtual std::unique_ptr<RowSource> openTableWithComplexKeys(const std::string& table) {
        throw DbError(errnum::Generic, "The table '" + table + "' has no attachment or multi-value keys to give.");
    }
};

class Recordset;

class Connection {
public:
    // Creating a connection object is what the startup provider check tests:
    // it fails with errnum::ProviderNotFound when the SQLite ODBC driver is
    // not registered with the driver manager.
    static std::unique_ptr<Connection> create();

    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int cursorLocation = adUseServer;
    int mode = 0;
    int commandTimeout = 30;
    int connectionTimeout = 15;

    void open(const std::string& connectionString);
    bool isOpen() const { return backend_ != nullptr; }
    void execute(const std::string& commandText);
    std::unique_ptr<Recordset> openSchema(int schema);
    void close();

    // The open back end, for callers that need more than ADO offers
    // (prepared statements of the fast command-line mode). Null when closed.
    Backend* backend() { return backend_.get(); }

private:
    Connection() = default;
    std::unique_ptr<Backend> backend_;
};

struct Field {
    std::string name;
    int type = 0;
    const Variant* valuePtr = nullptr;
    const Variant& value() const;
};

class Recordset {
public:
    Recordset() = default;
    // Takes a source text and an open connection, as ADO's Recordset.Open.
    void open(const std::string& source, Connection& connection);
    // Wraps a row source directly (schema rowsets).
    explicit Recordset(std::unique_ptr<RowSource> source);

    bool isOpen() const { return source_ != nullptr; }
    int fieldCount() const;
    Field field(int index) const;               // zero-based
    Field field(const std::string& name) const;  // matched without regard to case
    bool eof() const;
    bool bof() const;
    long long recordcount() const;
    void moveNext();
    void close();
    // The current row's values, in field order.
    const std::vector<Variant>& values() const;

private:
    void attach(std::unique_ptr<RowSource> source);
    void requireOpen() const;
    void requireRow() const;
    std::unique_ptr<RowSource> source_;
    std::vector<Variant> row_;
    long long count_ = 0;
    long long position_ = 0;  // rows moved past
    bool eof_ = true;
};

}  // namespace qb
