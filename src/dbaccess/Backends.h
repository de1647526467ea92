#pragma once
// The two back ends behind Connection::open.

#include "Connection.h"
#include "ConnectionString.h"

#include <memory>
#include <string>

namespace qb {

// Strings that start with "DRIVER=": handed to SQLDriverConnect as they are.
std::unique_ptr<Backend> openOdbcBackend(const std::string& connectionString);

// True when the ODBC driver manager lists a driver of this name.
bool odbcDriverRegistered(const std::string& driverName);

// Strings naming the Jet 4.0 or ACE 12.0 provider: the Access file named by
// "Data Source", checked against "JET OLEDB:Database Password".
std::unique_ptr<Backend> openAccessBackend(const ConnectionPairs& pairs);

}  // namespace qb
