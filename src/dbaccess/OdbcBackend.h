#pragma once
// The SQLite target reached through the ODBC driver manager (unixODBC), with
// the narrow API throughout: the driver takes and returns UTF-8 there, so
// paths, statement texts and values pass untouched whatever the locale.

#include "Connection.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb {

class OdbcBackend : public Backend {
public:
    // Connects with the string exactly as given; throws DbError when the
    // driver cannot be loaded (errnum::ProviderNotFound), when the string
    // would make the driver open another file than the one named, or when
    // the file is not a database.
    explicit OdbcBackend(const std::string& connectionString);
    ~OdbcBackend() override;
    OdbcBackend(const OdbcBackend&) = delete;
    OdbcBackend& operator=(const OdbcBackend&) = delete;

    void execute(const std::string& sql) override;
    std::unique_ptr<RowSource> openSchemaTables() override;
    std::unique_ptr<RowSource> openRowset(const std::string& source) override;

    // A statement prepared once and executed many times with text
    // parameters (std::nullopt binds NULL). `binary` (repeated over the
    // parameters when shorter) holds a BindKind per parameter: the bytes
    // bound as a BLOB, or the text's exact number where it has one.
    class Prepared {
    public:
        virtual ~Prepared() = default;
    };
    std::unique_ptr<Prepared> prepare(const std::string& sql);
    void bindAndExecute(Prepared& statement, const std::vector<std::optional<std::string>>& parameters,
                        const std::vector<char>& binary = {});

    void begin();
    void commit();
    void rollback();

    struct Handles;

private:
    std::unique_ptr<Handles> h_;
};

// Throws DbError when the string, as the SQLite driver splits it, would
// name another file than the Database value intended (a ";" in the path).
// Exposed for tests.
void checkOdbcConnectionString(const std::string& connectionString);

}  // namespace qb
