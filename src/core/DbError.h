#pragma once
#include <stdexcept>
#include <string>

namespace qb {

// Raised by every failing operation of the data-access layer, as ADO raises
// errors: a number and a description. The description is what the user sees.
class DbError : public std::runtime_error {
public:
    DbError(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    long number() const { return number_; }
    std::string description() const { return what(); }

private:
    long number_;
};

// Error numbers that callers test for.
namespace errnum {
constexpr long ProviderNotFound = 3706;   // "Provider cannot be found..."
constexpr long ObjectClosed = 3704;       // operation on a closed object
constexpr long Generic = -2147467259;     // 0x80004005, unspecified failure
}  // namespace errnum

// The errors raised in more than one place, with their texts.
inline DbError providerNotFoundError() {
    return DbError(errnum::ProviderNotFound, "Provider cannot be found. It may not be properly installed.");
}
inline DbError objectClosedError() {
    return DbError(errnum::ObjectClosed, "Operation is not allowed when the object is closed.");
}

}  // namespace qb
