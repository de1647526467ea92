#include "JournalMode.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <variant>

namespace qb {

namespace {

// Runs a journal_mode pragma and returns the mode SQLite answers with,
// which is the mode in force afterwards whether or not the switch happened.
std::string askJournalMode(Connection& connection, const std::string& pragma) {
    Backend* backend = connection.backend();
    if (!backend) return {};
    auto rows = backend->openRowset(pragma);
    std::vector<Variant> row;
    if (!rows->next(row) || row.empty()) return {};
    const auto* text = std::get_if<std::string>(&row.front());
    if (!text) return {};
    std::string mode = *text;
    std::transform(mode.begin(), mode.end(), mode.begin(), [](unsigned char c) { return std::tolower(c); });
    return mode;
}

// Only the modes SQLite names ever go back into a statement.
bool isKnownMode(const std::string& mode) {
    static const std::array<const char*, 5> modes{"delete", "truncate", "persist", "memory", "off"};
    return std::any_of(modes.begin(), modes.end(), [&](const char* m) { return mode == m; });
}

}  // namespace

std::string journalModeOf(Connection& connection) { return askJournalMode(connection, "PRAGMA journal_mode"); }

WriteAheadLog::WriteAheadLog(Connection& connection) : connection_(connection) {
    try {
        const std::string before = journalModeOf(connection_);
        // A file already in WAL (or in a mode we could not put back) is
        // left to its owner.
        if (!isKnownMode(before)) return;
        if (askJournalMode(connection_, "PRAGMA journal_mode=WAL") == "wal") previous_ = before;
    } catch (const DbError&) {
        // Busy or refused: the run goes on in the file's own mode.
    }
}

WriteAheadLog::~WriteAheadLog() { restore(); }

void WriteAheadLog::restore() noexcept { leave(); }

bool WriteAheadLog::leave() noexcept {
    if (previous_.empty()) return false;
    const std::string mode = std::exchange(previous_, std::string());
    if (!connection_.isOpen()) return false;
    try {
        return askJournalMode(connection_, "PRAGMA journal_mode=" + mode) == mode;
    } catch (...) {
        // Another connection still reading the log keeps the file in WAL;
        // every committed statement is in it all the same, and SQLite
        // folds the log in when the file is next opened alone.
        return false;
    }
}

}  // namespace qb
