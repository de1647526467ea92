#include "TableAccount.h"

#include "RunState.h"
#include "dbaccess/AccessSalvage.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"

#include <algorithm>
#include <memory>
#include <cstdint>

namespace qb {

long long tableLine(const TableRecord& t, std::optional<long long> present, bool script, bool scriptWhole,
                    std::string& out, const access::SalvageCounts* salvaged) {
    out += t.name.toStdString() + ": ";
    const bool skipped = t.answer == MsgResult::No;
    if (script) {
        if (skipped) out += "skipped\n";
        else if (t.noColumns) out += "failed, " + std::to_string(t.read) + " rows read, none written to the script\n";
        // The failure itself was reported as it happened.
        else if (!scriptWhole) out += "failed, " + std::to_string(t.read) + " rows read, the script was not written\n";
        else
            out += std::string(t.answer == MsgResult::Yes ? "DROP TABLE, " : "") + "CREATE TABLE and " +
                   std::to_string(t.read) + " rows written to the script\n";
        return 0;
    }
    const bool failed = t.failures > 0 || (!skipped && (!present || *present < t.read));
    if (!t.outcome.isEmpty()) out += t.outcome.toStdString();
    else if (skipped && !failed) out += "skipped";
    else if (failed) out += t.rolledBack ? "failed (rolled back)" : "failed";
    else if (salvaged) out += "salvaged";
    else out += t.answer == MsgResult::Yes ? "replaced" : "created";
    out += ", " + std::to_string(t.read) + " rows read, ";
    out += present ? std::to_string(*present) + " in the SQLite table" : "no SQLite table";
    if (salvaged) {
        out += "; passed over: " + std::to_string(salvaged->pagesSkipped) + " pages, " +
               std::to_string(salvaged->rowsSkipped) + " rows";
        // A page passed over hides how many rows it held.
        if (salvaged->incomplete || salvaged->pagesSkipped > 0) out += "; may be incomplete";
    }
    out += "\n";
    if (!failed) return 0;
    // Rows that went missing without a report count as failures too.
    const long long missing = std::max(0LL, t.read - present.value_or(0));
    return std::max(missing - t.failures, t.failures == 0 ? 1LL : 0LL);
}

bool arrivedWhole(const TableRecord& t, std::optional<long long> present) {
    return t.outcome.isEmpty() && t.answer != MsgResult::No && t.failures == 0 && present && *present >= t.read;
}

std::optional<long long> countRows(Connection& connection, const QString& table) {
    std::string quoted = "\"";
    for (const char c : table.toStdString()) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    quoted += '"';
    try {
        auto rows = connection.backend()->openRowset("SELECT COUNT(*) FROM " + quoted);
        std::vector<Variant> row;
        if (!rows->next(row) || row.empty()) return std::nullopt;
        if (auto i = std::get_if<std::int64_t>(&row[0])) return *i;
        if (auto d = std::get_if<double>(&row[0])) return static_cast<long long>(*d);
        if (auto t = std::get_if<std::string>(&row[0])) return std::stoll(*t);
    } catch (const std::exception&) {
        // No such table.
    }
    return std::nullopt;
}

void RunAccount::tableStarted(const QString& name) {
    TableRecord record;
    record.name = name;
    tables_.push_back(std::move(record));
    lines_.emplace_back();
}

void RunAccount::answered(MsgResult answer) {
    if (!tables_.empty() && answer != MsgResult::Ok) tables_.back().answer = answer;
}

void RunAccount::createRefused(long long rowsInAccess) {
    if (tables_.empty()) return;
    tables_.back().read = rowsInAccess;
    tables_.back().outcome = QStringLiteral("failed (its CREATE TABLE was refused, so its rows were not inserted)");
}

void RunAccount::linesCollected(int before, int after) {
    if (lines_.empty() || after <= before) return;
    lines_.back() = Lines{before + 1, after, false};
}

void RunAccount::previewClosed(const RunState& state) {
    const PreviewEnd& end = state.lastPreview;
    for (std::size_t i = 0; i < tables_.size(); ++i) {
        Lines& lines = lines_[i];
        if (lines.last == 0 || lines.shown) continue;
        lines.shown = true;
        TableRecord& t = tables_[i];
        if (end.completed || end.linesRun >= lines.last || !t.outcome.isEmpty()) continue;
        if (end.linesRun >= lines.first)
            t.outcome = QStringLiteral("stopped after line %1").arg(end.linesRun);
        else
            t.outcome = end.skipped ? QStringLiteral("skipped") : QStringLiteral("not executed");
    }
}

void RunAccount::notTaken(const QStringList& names) {
    for (const QString& name : names) {
        tableStarted(name);
        tables_.back().outcome = QStringLiteral("not converted (the run ended before it)");
    }
}

void RunAccount::salvaged(std::vector<access::SalvageReport> tables, std::vector<std::string> damage) {
    salvaged_ = std::move(tables);
    damage_ = std::move(damage);
}

QString RunAccount::doneText(const QString& sqlitePath) const {
    std::unique_ptr<Connection> target;
    try {
        target = Connection::create();
        target->open(SQLiteConnectionString(sqlitePath).toStdString());
    } catch (const std::exception&) {
        target.reset();
    }
    std::string lines;
    for (std::size_t i = 0; i < tables_.size(); ++i) {
        TableRecord t = tables_[i];
        // Collected for a preview that never showed.
        if (lines_[i].last > 0 && !lines_[i].shown && t.outcome.isEmpty()) t.outcome = QStringLiteral("not executed");
        const std::optional<long long> present = target && target->isOpen() ? countRows(*target, t.name) : std::nullopt;
        const access::SalvageCounts* passedOver = nullptr;
        for (const access::SalvageReport& report : salvaged_)
            if (report.counts.any() && QString::fromStdString(report.table) == t.name) passedOver = &report.counts;
        if (!arrivedWhole(t, present) || passedOver) tableLine(t, present, false, true, lines, passedOver);
    }
    for (const std::string& note : damage_) lines += note + "\n";
    if (target && target->isOpen()) target->close();
    QString text = QStringLiteral("Done.");
    if (lines.empty()) return text;
    QString account = QString::fromStdString(lines);
    account.chop(1);
    account.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text + QStringLiteral("\r\r") + QStringLiteral("These tables did not arrive whole:") +
           QStringLiteral("\r\n") + account;
}

}  // namespace qb
