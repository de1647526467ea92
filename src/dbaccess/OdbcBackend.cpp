#include "OdbcBackend.h"

#include "Backends.h"
#include "BoundNumber.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

namespace qb {

namespace {


// ODBC takes statement texts as non-const pointers but only reads them.
SQLCHAR* sqlText(const std::string& sql) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())); }

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct Diagnostic {
    std::string state;
    std::string text;
};

std::vector<Diagnostic> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<Diagnostic> out;
    if (!handle) return out;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::vector<SQLCHAR> text(1024);
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, text.data(),
                                     static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRec(handleType, handle, record, state, &native, text.data(),
                               static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (!succeeded(rc)) break;
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                    text.size() - 1);
        out.push_back({reinterpret_cast<const char*>(state), std::string(reinterpret_cast<const char*>(text.data()), n)});
    }
    return out;
}

std::string joinTexts(const std::vector<Diagnostic>& diags, const std::string& fallback) {
    std::string text;
    for (const auto& d : diags) {
        if (d.text.empty()) continue;
        if (!text.empty()) text += ' ';
        text += d.text;
    }
    return text.empty() ? fallback : text;
}

// A rejected statement, reported with the driver's own words.
DbError statementError(const std::vector<Diagnostic>& diags) {
    return DbError(errnum::Generic, "SQLException: " + joinTexts(diags, "the driver reported a failure"));
}

[[noreturn]] void raiseStatementError(SQLSMALLINT handleType, SQLHANDLE handle) {
    throw statementError(diagnostics(handleType, handle));
}

// Owns one statement handle.
class Statement {
public:
    explicit Statement(SQLHDBC dbc) {
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
            stmt_ = SQL_NULL_HSTMT;
            raiseStatementError(SQL_HANDLE_DBC, dbc);
        }
    }
    ~Statement() {
        if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT get() const { return stmt_; }
    void check(SQLRETURN rc) const {
        if (!succeeded(rc) && rc != SQL_NO_DATA) raiseStatementError(SQL_HANDLE_STMT, stmt_);
    }

private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

int adoType(SQLSMALLINT sqlType) {
    switch (sqlType) {
    case SQL_CHAR: return 129;           // adChar
    case SQL_VARCHAR: return 200;        // adVarChar
    case SQL_LONGVARCHAR: return 201;    // adLongVarChar
    case SQL_WCHAR: return 130;          // adWChar
    case SQL_WVARCHAR: return 202;       // adVarWChar
    case SQL_WLONGVARCHAR: return 203;   // adLongVarWChar
    case SQL_TINYINT: return 17;         // adUnsignedTinyInt
    case SQL_SMALLINT: return 2;         // adSmallInt
    case SQL_INTEGER: return 3;          // adInteger
    case SQL_BIGINT: return 20;          // adBigInt
    case SQL_REAL: return 4;             // adSingle
    case SQL_FLOAT:
    case SQL_DOUBLE: return 5;           // adDouble
    case SQL_NUMERIC:
    case SQL_DECIMAL: return 131;        // adNumeric
    case SQL_BIT: return 11;             // adBoolean
    case SQL_TYPE_DATE:
    case SQL_DATE: return 133;           // adDBDate
    case SQL_TYPE_TIME:
    case SQL_TIME: return 134;           // adDBTime
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return 135;      // adDBTimeStamp
    case SQL_BINARY: return 128;         // adBinary
    case SQL_VARBINARY: return 204;      // adVarBinary
    case SQL_LONGVARBINARY: return 205;  // adLongVarBinary
    case SQL_GUID: return 72;            // adGUID
    default: return 202;
    }
}

bool isBinary(SQLSMALLINT sqlType) {
    return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

// Reads one column of the current row in pieces. Returns false for NULL.
bool readColumn(const Statement& st, SQLUSMALLINT column, SQLSMALLINT cType, std::string& out) {
    out.clear();
    char buffer[4096];
    const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(st.get(), column, cType, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) return true;
        st.check(rc);
        if (indicator == SQL_NULL_DATA) return false;
        const SQLLEN room = static_cast<SQLLEN>(sizeof buffer) - terminator;
        const bool partial = rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > room);
        const SQLLEN got = partial ? room : std::min(indicator, room);
        out.append(buffer, static_cast<std::size_t>(std::max<SQLLEN>(got, 0)));
        if (!partial) return true;
    }
}

// SQLite keeps whatever a row holds, whatever the column's declared type, so
// numbers are read as text and converted only when the whole text is one.
Variant toVariant(SQLSMALLINT sqlType, std::string text) {
    switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
        std::int64_t v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty()) return v;
        break;
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
        double v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty()) {
            if (sqlType == SQL_REAL) return static_cast<float>(v);
            return v;
        }
        break;
    }
    case SQL_BIT:
        if (text == "0") return false;
        if (text == "1") return true;
        break;
    default:
        break;
    }
    return text;
}

// Reads every row of an executed statement.
std::unique_ptr<RowSource> readAll(const Statement& st) {
    SQLSMALLINT columns = 0;
    st.check(SQLNumResultCols(st.get(), &columns));
    std::vector<FieldInfo> fields;
    std::vector<SQLSMALLINT> sqlTypes;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        std::vector<SQLCHAR> name(256);
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        st.check(SQLDescribeCol(st.get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength, &type,
                                &size, &digits, &nullable));
        if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
            name.resize(static_cast<std::size_t>(nameLength) + 1);
            st.check(SQLDescribeCol(st.get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                    &type, &size, &digits, &nullable));
        }
        fields.push_back({std::string(reinterpret_cast<const char*>(name.data()),
                                      static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0))),
                          adoType(type)});
        sqlTypes.push_back(type);
    }
    std::vector<std::vector<Variant>> rows;
    std::string cell;
    while (columns > 0) {
        const SQLRETURN rc = SQLFetch(st.get());
        if (rc == SQL_NO_DATA) break;
        st.check(rc);
        std::vector<Variant> row;
        row.reserve(sqlTypes.size());
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            const SQLSMALLINT type = sqlTypes[c - 1];
            if (isBinary(type)) {
                if (!readColumn(st, c, SQL_C_BINARY, cell)) row.emplace_back(Null{});
                else row.emplace_back(Bytes(cell.begin(), cell.end()));
            } else {
                if (!readColumn(st, c, SQL_C_CHAR, cell)) row.emplace_back(Null{});
                else row.push_back(toVariant(type, cell));
            }
        }
        rows.push_back(std::move(row));
    }
    return std::make_unique<MaterializedRows>(std::move(fields), std::move(rows));
}

// Options the SQLite driver and the driver manager read from the string.
bool knownKey(const std::string& key) {
    static const char* const keys[] = {"DRIVER", "DSN", "UID", "PWD", "FILEDSN", "SAVEFILE", "Database",
                                       "Timeout", "StepAPI", "SyncPragma", "NoTXN", "ShortNames", "LongNames",
                                       "NoCreat", "NoWCHAR", "FKSupport", "JournalMode", "OEMCP", "LoadExt",
                                       "BigInt", "JDConv", "PWDPrompt", "Description", "Tracefile", "Trace"};
    for (const char* k : keys)
        if (equalsAsciiNoCase(key, k)) return true;
    return false;
}

// Values of the driver's own options are words or numbers; a value with a
// path character in it is the tail of a path cut at its ";".
bool plainOptionValue(const std::string& key, const std::string& value) {
    static const char* const freeForm[] = {"DRIVER", "DSN", "UID", "PWD", "FILEDSN", "SAVEFILE", "Database",
                                           "LoadExt", "Description", "Tracefile"};
    for (const char* k : freeForm)
        if (equalsAsciiNoCase(key, k)) return true;
    return std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isalnum(c) || c == '-'; });
}

[[noreturn]] void raiseSplitPath() {
    throw DbError(errnum::Generic,
                  "The SQLite database path must not contain \";\": the ODBC driver would open another file "
                  "than the one named.");
}

}  // namespace

void checkOdbcConnectionString(const std::string& text) {
    if (text.find('\0') != std::string::npos)
        throw DbError(errnum::Generic, "The connection string must not contain a NUL character.");
    // Split the way the driver does: at every ";", braces meaning nothing
    // except around the driver name, which the driver manager unwraps.
    std::vector<std::string> segments;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t end = text.find(';', i);
        if (end == std::string::npos) end = text.size();
        const std::string segment = text.substr(i, end - i);
        const auto eq = segment.find('=');
        if (eq != std::string::npos && equalsAsciiNoCase(trim(segment.substr(0, eq)), "DRIVER")) {
            const std::string value = trim(segment.substr(eq + 1));
            if (!value.empty() && value.front() == '{') {
                const auto close = text.find('}', i + eq + 1);
                if (close != std::string::npos && close > end) end = text.find(';', close);
                if (end == std::string::npos) end = text.size();
            }
        }
        segments.push_back(text.substr(i, end - i));
        i = end + 1;
    }

    bool afterDatabase = false;
    std::set<std::string> seen;
    for (std::size_t n = 0; n < segments.size(); ++n) {
        const std::string& segment = segments[n];
        // An empty segment before the end is a path that ended in ";".
        if (trim(segment).empty()) {
            if (afterDatabase && n + 1 < segments.size()) raiseSplitPath();
            continue;
        }
        const auto eq = segment.find('=');
        std::string key = eq == std::string::npos ? std::string() : trim(segment.substr(0, eq));
        const std::string value = eq == std::string::npos ? std::string() : segment.substr(eq + 1);
        std::string folded = key;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
        const bool wellFormed = eq != std::string::npos && knownKey(key) && plainOptionValue(key, value);
        if ((afterDatabase && !wellFormed) || (!folded.empty() && !seen.insert(folded).second)) raiseSplitPath();
        if (folded == "database") afterDatabase = true;
    }
}

struct OdbcPrepared;

struct OdbcBackend::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    std::set<OdbcPrepared*> prepared;

    ~Handles();
};

struct OdbcPrepared : OdbcBackend::Prepared {
    OdbcBackend::Handles* owner = nullptr;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    // The parameters' length indicators, kept from one execution to the
    // next: a batch binds thousands, and allocating them anew for every
    // execution showed in the writer's profile.
    std::vector<SQLLEN> lengths;
    // Values bound as numbers, likewise in place until the execution.
    std::vector<ExactNumber> numbers;
    // Each parameter stays bound to its own buffer here from one execution
    // to the next; only a change of C type or a longer text binds it again.
    // Binding every parameter afresh at each execution cost a round through
    // the driver manager per value, a tenth of the writer's time.
    std::vector<std::string> texts;
    std::vector<SQLSMALLINT> boundTypes;
    std::vector<SQLULEN> boundSizes;
    SQLSMALLINT parameterCount = -1;

    void release() {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        stmt = SQL_NULL_HSTMT;
        owner = nullptr;
    }
    ~OdbcPrepared() override {
        if (owner) owner->prepared.erase(this);
        release();
    }
};

OdbcBackend::Handles::~Handles() {
    // Statements still held by callers become unusable rather than dangling.
    for (OdbcPrepared* p : prepared) p->release();
    prepared.clear();
    if (connected) SQLDisconnect(dbc);
    if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
}

OdbcBackend::OdbcBackend(const std::string& connectionString) : h_(std::make_unique<Handles>()) {
    checkOdbcConnectionString(connectionString);

    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h_->env))) {
        h_->env = SQL_NULL_HENV;
        throw providerNotFoundError();
    }
    SQLSetEnvAttr(h_->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, h_->env, &h_->dbc))) {
        h_->dbc = SQL_NULL_HDBC;
        throw DbError(errnum::Generic, joinTexts(diagnostics(SQL_HANDLE_ENV, h_->env),
                                                 "The ODBC driver manager could not allocate a connection."));
    }

    std::vector<SQLCHAR> in(connectionString.begin(), connectionString.end());
    in.push_back(0);
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(h_->dbc, nullptr, in.data(), SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        const auto diags = diagnostics(SQL_HANDLE_DBC, h_->dbc);
        // IM002: no such driver registered; IM003 or "Can't open lib": the
        // manager took the name for a library and could not load it.
        for (const auto& d : diags)
            if (d.state == "IM002" || d.state == "IM003" || d.text.find("Can't open lib") != std::string::npos)
                throw providerNotFoundError();
        throw DbError(errnum::Generic, joinTexts(diags, "The ODBC connection could not be opened."));
    }
    h_->connected = true;

    // The driver opens any file (and creates a missing one) without reading
    // it; reading the schema once makes a file that is not a database fail here.
    try {
        Statement st(h_->dbc);
        const std::string probe = "SELECT count(*) FROM sqlite_master";
        st.check(SQLExecDirect(st.get(), sqlText(probe), static_cast<SQLINTEGER>(probe.size())));
        while (succeeded(SQLFetch(st.get()))) {
        }
    } catch (const DbError& e) {
        std::string text = e.description();
        const std::string prefix = "SQLException: ";
        if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
        throw DbError(errnum::Generic, text);
    }
}

OdbcBackend::~OdbcBackend() = default;

void OdbcBackend::execute(const std::string& sql) {
    Statement st(h_->dbc);
    st.check(SQLExecDirect(st.get(), sqlText(sql), static_cast<SQLINTEGER>(sql.size())));
}

std::unique_ptr<RowSource> OdbcBackend::openSchemaTables() {
    Statement st(h_->dbc);
    st.check(SQLTables(st.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
    return readAll(st);
}

std::unique_ptr<RowSource> OdbcBackend::openRowset(const std::string& source) {
    Statement st(h_->dbc);
    st.check(SQLExecDirect(st.get(), sqlText(source), static_cast<SQLINTEGER>(source.size())));
    return readAll(st);
}

std::unique_ptr<OdbcBackend::Prepared> OdbcBackend::prepare(const std::string& sql) {
    auto p = std::make_unique<OdbcPrepared>();
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, h_->dbc, &p->stmt))) {
        p->stmt = SQL_NULL_HSTMT;
        raiseStatementError(SQL_HANDLE_DBC, h_->dbc);
    }
    if (!succeeded(SQLPrepare(p->stmt, sqlText(sql), static_cast<SQLINTEGER>(sql.size()))))
        raiseStatementError(SQL_HANDLE_STMT, p->stmt);  // p frees the handle
    p->owner = h_.get();
    h_->prepared.insert(p.get());
    return p;
}

void OdbcBackend::bindAndExecute(Prepared& statement, const std::vector<std::optional<std::string>>& parameters,
                                 const std::vector<char>& binary) {
    auto* p = dynamic_cast<OdbcPrepared*>(&statement);
    if (!p || p->owner != h_.get() || !p->stmt)
        throw objectClosedError();
    if (p->parameterCount < 0 && !succeeded(SQLNumParams(p->stmt, &p->parameterCount)))
        raiseStatementError(SQL_HANDLE_STMT, p->stmt);
    const SQLSMALLINT expected = p->parameterCount;
    if (expected != static_cast<SQLSMALLINT>(parameters.size()))
        throw DbError(errnum::Generic, "SQLException: the statement takes " + std::to_string(expected) +
                                           " parameters, " + std::to_string(parameters.size()) + " were given.");
    const std::size_t count = parameters.size();
    p->lengths.resize(count);
    p->numbers.resize(count);
    p->texts.resize(count);
    p->boundTypes.resize(count, 0);
    p->boundSizes.resize(count, 0);
    const auto bind = [p](std::size_t i, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, void* data,
                          SQLLEN bufferLength) {
        if (!succeeded(SQLBindParameter(p->stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, cType, sqlType,
                                        size, 0, data, bufferLength, &p->lengths[i])))
            raiseStatementError(SQL_HANDLE_STMT, p->stmt);
        p->boundTypes[i] = cType;
        p->boundSizes[i] = size;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const auto& value = parameters[i];
        const char kind = binary.empty() ? char{kBindText} : binary[i % binary.size()];
        SQLLEN& length = p->lengths[i];
        if (!value) {
            // A NULL needs no buffer: any binding the parameter has will do.
            length = SQL_NULL_DATA;
            if (!p->boundTypes[i]) bind(i, SQL_C_CHAR, SQL_VARCHAR, 1, p->texts[i].data(), 1);
            continue;
        }
        if (kind == kBindNumber) {
            if (auto number = exactNumber(*value)) {
                ExactNumber& slot = p->numbers[i] = *number;
                const bool integer = std::holds_alternative<std::int64_t>(slot);
                length = integer ? sizeof(std::int64_t) : sizeof(double);
                const SQLSMALLINT cType = integer ? SQL_C_SBIGINT : SQL_C_DOUBLE;
                if (p->boundTypes[i] != cType) {
                    void* data = integer ? static_cast<void*>(&std::get<std::int64_t>(slot))
                                         : static_cast<void*>(&std::get<double>(slot));
                    bind(i, cType, integer ? SQL_BIGINT : SQL_DOUBLE, 0, data, 0);
                }
                continue;
            }
        }
        std::string& text = p->texts[i];
        const char* before = text.data();
        text.assign(*value);
        length = static_cast<SQLLEN>(text.size());
        const bool bytes = kind == kBindBytes;
        const SQLSMALLINT cType = bytes ? SQL_C_BINARY : SQL_C_CHAR;
        if (p->boundTypes[i] != cType || text.data() != before || p->boundSizes[i] < std::max<SQLULEN>(text.size(), 1)) {
            const SQLULEN size = std::max<SQLULEN>(text.capacity(), 1);
            bind(i, cType, bytes ? SQL_LONGVARBINARY : SQL_VARCHAR, size, text.data(), static_cast<SQLLEN>(size));
        }
    }
    const SQLRETURN rc = SQLExecute(p->stmt);
    // Freeing the statement's results clears its diagnostics: read the
    // driver's message first, or the user sees no reason for the failure.
    std::vector<Diagnostic> diags;
    if (!succeeded(rc) && rc != SQL_NO_DATA) diags = diagnostics(SQL_HANDLE_STMT, p->stmt);
    SQLFreeStmt(p->stmt, SQL_CLOSE);
    if (!succeeded(rc) && rc != SQL_NO_DATA) throw statementError(diags);
}

void OdbcBackend::begin() { execute("BEGIN"); }
void OdbcBackend::commit() { execute("COMMIT"); }
void OdbcBackend::rollback() { execute("ROLLBACK"); }

std::unique_ptr<Backend> openOdbcBackend(const std::string& connectionString) {
    return std::make_unique<OdbcBackend>(connectionString);
}

bool odbcDriverRegistered(const std::string& driverName) {
    SQLHENV env = SQL_NULL_HENV;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLCHAR name[512];
        SQLCHAR attributes[2048];
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        const SQLRETURN rc = SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                        sizeof attributes, &attributesLength);
        if (!succeeded(rc)) break;
        direction = SQL_FETCH_NEXT;
        if (driverName == reinterpret_cast<const char*>(name)) {
            found = true;
            break;
        }
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

}  // namespace qb
