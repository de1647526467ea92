#pragma once
// The two back ends behind Connection::open.

#include "Connection.h"
#include "ConnectionString.h"

#include <memory>
#include <string>
#include <vector>

namespace qb {

// Rows read in full before the first is handed out: the count is exact and
// no handle stays open behind them.
class MaterializedRows : public RowSource {
public:
    MaterializedRows(std::vector<FieldInfo> fields, std::vector<std::vector<Variant>> rows)
        : fields_(std::move(fields)), rows_(std::move(rows)) {}
    const std::vector<FieldInfo>& fields() const override { return fields_; }
    long long rowCount() override { return static_cast<long long>(rows_.size()); }
    bool next(std::vector<Variant>& row) override {
        if (position_ >= rows_.size()) return false;
        row = std::move(rows_[position_++]);
        return true;
    }

private:
    std::vector<FieldInfo> fields_;
    std::vector<std::vector<Variant>> rows_;
    std::size_t position_ = 0;
};

// Strings that start with "DRIVER=": handed to SQLDriverConnect as they are.
std::unique_ptr<Backend> openOdbcBackend(const std::string& connectionString);

// True when the ODBC driver manager lists a driver of this name.
bool odbcDriverRegistered(const std::string& driverName);

// Strings naming the Jet 4.0 or ACE 12.0 provider: the Access file named by
// "Data Source", checked against "JET OLEDB:Database Password". With
// kSalvageKey "True", a damaged file gives what can still be read (see
// AccessSalvage.h) instead of failing.
inline constexpr const char* kSalvageKey = "Quellbrook Salvage";
std::unique_ptr<Backend> openAccessBackend(const ConnectionPairs& pairs);

}  // namespace qb
