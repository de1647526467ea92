#include "Connection.h"

#include "Backends.h"

namespace qb {

namespace {

const char* const kSqliteDriver = "SQLite3 ODBC Driver";

}  // namespace

std::unique_ptr<Connection> Connection::create() {
    if (!odbcDriverRegistered(kSqliteDriver)) throw providerNotFoundError();
    return std::unique_ptr<Connection>(new Connection());
}

Connection::~Connection() = default;

void Connection::open(const std::string& connectionString) {
    if (backend_) throw DbError(errnum::Generic, "Operation is not allowed when the object is open.");
    if (startsWithAsciiNoCase(connectionString, "DRIVER=")) {
        backend_ = openOdbcBackend(connectionString);
        return;
    }
    const ConnectionPairs pairs = parseConnectionString(connectionString);
    const auto provider = connectionValue(pairs, "Provider");
    if (provider && (equalsAsciiNoCase(*provider, "Microsoft.Jet.OLEDB.4.0") ||
                     equalsAsciiNoCase(*provider, "Microsoft.ACE.OLEDB.12.0"))) {
        backend_ = openAccessBackend(pairs);
        return;
    }
    throw providerNotFoundError();
}

void Connection::execute(const std::string& commandText) {
    if (!backend_) throw objectClosedError();
    backend_->execute(commandText);
}

std::unique_ptr<Recordset> Connection::openSchema(int schema) {
    if (!backend_) throw objectClosedError();
    if (schema != adSchemaTables)
        throw DbError(errnum::Generic, "Object or provider is not capable of performing requested operation.");
    return std::make_unique<Recordset>(backend_->openSchemaTables());
}

void Connection::close() {
    if (!backend_) throw objectClosedError();
    backend_.reset();
}

const Variant& Field::value() const {
    if (!valuePtr)
        throw DbError(errnum::Generic, "Either BOF or EOF is True, or the current record has been deleted. "
                                       "Requested operation requires a current record.");
    return *valuePtr;
}

Recordset::Recordset(std::unique_ptr<RowSource> source) { attach(std::move(source)); }

void Recordset::open(const std::string& source, Connection& connection) {
    if (source_) throw DbError(errnum::Generic, "Operation is not allowed when the object is open.");
    if (!connection.backend()) throw objectClosedError();
    attach(connection.backend()->openRowset(source));
}

void Recordset::attach(std::unique_ptr<RowSource> source) {
    source_ = std::move(source);
    count_ = source_->rowCount();
    position_ = 0;
    row_.clear();
    eof_ = !source_->next(row_);
}

void Recordset::requireOpen() const {
    if (!source_) throw objectClosedError();
}

void Recordset::requireRow() const {
    requireOpen();
    if (eof_)
        throw DbError(errnum::Generic, "Either BOF or EOF is True, or the current record has been deleted. "
                                       "Requested operation requires a current record.");
}

int Recordset::fieldCount() const {
    requireOpen();
    return static_cast<int>(source_->fields().size());
}

Field Recordset::field(int index) const {
    requireOpen();
    const auto& fields = source_->fields();
    if (index < 0 || index >= static_cast<int>(fields.size()))
        throw DbError(3265, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    Field f{fields[index].name, fields[index].type, nullptr};
    if (!eof_ && index < static_cast<int>(row_.size())) f.valuePtr = &row_[index];
    return f;
}

Field Recordset::field(const std::string& name) const {
    requireOpen();
    const auto& fields = source_->fields();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i)
        if (equalsAsciiNoCase(fields[i].name, name)) return field(i);
    throw DbError(3265, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

bool Recordset::eof() const {
    requireOpen();
    return eof_;
}

bool Recordset::bof() const {
    requireOpen();
    // Forward-only: before the first move we stand on the first row, so BOF
    // is only true for a rowset without rows, as ADO reports it.
    return eof_ && position_ == 0;
}

long long Recordset::recordcount() const {
    requireOpen();
    return count_;
}

void Recordset::moveNext() {
    requireRow();
    ++position_;
    // A source that fails here has no current row any more: the caller must
    // not see the previous row again as if it were the next.
    eof_ = true;
    eof_ = !source_->next(row_);
}

void Recordset::close() {
    requireOpen();
    source_.reset();
    row_.clear();
    eof_ = true;
}

const std::vector<Variant>& Recordset::values() const {
    requireRow();
    return row_;
}

}  // namespace qb
