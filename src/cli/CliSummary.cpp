#include "CliSummary.h"

#include "CliInputs.h"
#include "dbaccess/Connection.h"
#include "dbaccess/Variant.h"
#include "core/DbError.h"

#include <iostream>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qb::cli {

// Standard output may be a pipe whose reader has gone (`| head`): with
// SIGPIPE ignored the write fails with EPIPE, and as nobody reads any more
// the rest is dropped without a word. Any other failure (a full disk under
// a redirection) is reported and makes the run a failure.
namespace {
FILE* summaryStream = stdout;
}

void summaryToStandardError() { summaryStream = stderr; }

bool writeOut(const std::string& text) {
    static bool readerGone = false;
    if (readerGone) return true;
    FILE* out = summaryStream;
    if (std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0) return true;
    const int error = errno;
    if (error == EPIPE) {
        readerGone = true;
        return true;
    }
    printError(QStringLiteral("cannot write to standard output: ") + QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

long long foreignKeyViolations(Connection& connection) {
    constexpr long long kShown = 20;
    long long count = 0;
    try {
        auto rows = connection.backend()->openRowset("PRAGMA foreign_key_check");
        std::vector<Variant> row;
        auto text = [](const Variant& v) -> std::string {
            if (auto s = std::get_if<std::string>(&v)) return *s;
            if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
            return "?";
        };
        while (rows->next(row)) {
            if (row.size() < 3) continue;
            if (++count <= kShown)
                std::cerr << "Table " << text(row[0]) << ", row " << text(row[1]) << ": its foreign key refers to no row of "
                          << text(row[2]) << ".\n";
        }
    } catch (const DbError& e) {
        printError(QStringLiteral("the foreign keys cannot be checked: ") + QString::fromStdString(e.description()));
        return count + 1;
    }
    if (count > kShown) std::cerr << "... and " << count - kShown << " more rows that break a foreign key.\n";
    if (count > 0) std::cerr << std::endl;
    return count;
}

}  // namespace qb::cli
