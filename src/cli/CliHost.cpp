#include "CliHost.h"

#include "ScriptFile.h"
#include "conversion/ColumnType.h"
#include "core/DbError.h"

#include <iostream>
#include <unistd.h>

namespace qb::cli {

namespace {

// Report texts use the message box's CR and CR LF line breaks.
std::string forTerminal(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.toStdString();
}

}  // namespace

MsgResult CliInteraction::message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) {
    if (buttons == MsgButtons::YesNo) {
        lastAnswer = ask(text);
        return *lastAnswer;
    }
    if (icon == MsgIcon::Warning || title == QStringLiteral("Application Error")) {
        ++failures;
        clearProgressLine();
        std::cerr << forTerminal(text) << "\n" << std::endl;
        return MsgResult::Ok;
    }
    if (text == QStringLiteral("Done.")) return MsgResult::Ok;
    clearProgressLine();
    std::cerr << forTerminal(text) << std::endl;
    if (text == QStringLiteral("Unable to access the database")) ++failures;
    return MsgResult::Ok;
}

void CliInteraction::clearProgressLine() {
    if (progressShown) {
        std::cerr << "\r\033[K" << std::flush;
        progressShown = false;
    }
}

MsgResult CliInteraction::ask(const QString& question) {
    if (overwrite_ == Overwrite::Yes) return MsgResult::Yes;
    if (overwrite_ == Overwrite::No) return MsgResult::No;
    clearProgressLine();
    std::cerr << question.toStdString() << " [y/N] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return MsgResult::No;
    return (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) ? MsgResult::Yes : MsgResult::No;
}

CliHost::CliHost(const Options& options, CliInteraction& ui, ScriptFile* script)
    : options_(options), ui_(ui), statements_(createStatementList()), datatypes_(createDatatypeList()),
      showProgress_(isatty(STDERR_FILENO) != 0), script_(script), fast_(ui) {}

void CliHost::setProgressText(const QString& text) {
    static const QString prefix = QStringLiteral("Please wait.. Processing table ");
    if (text.startsWith(prefix)) currentTable_ = text.mid(prefix.size()).toStdString();
    // The run clears the text when it is done with a table, taken or
    // passed over.
    if (text.isEmpty()) closeTable();
}

void CliHost::rowProgress(long long row, long long total) {
    ++rowsCollected;
    if (!tables_.empty()) ++tables_.back().read;
    // The script takes the statements as they come, so memory stays
    // flat however many rows a table has.
    if (script_ && statements_->count() >= kStatementsPerWrite) writeStatements();
    if (!showProgress_ || (row % 1000 != 0 && row != total && row != 1)) return;
    std::cerr << "\r\033[K" << currentTable_ << ": " << row << " of " << total << " rows" << std::flush;
    ui_.progressShown = true;
}

// The end of the run: the rest of the statements, then the file takes
// its name.
void CliHost::showPreview() {
    writeStatements();
    if (!script_->commit()) {
        script_->discard();
        const QString where = script_->toStandardOutput() ? QStringLiteral("standard output") : options_.sqlFile;
        throw DbError(errnum::Generic, "Cannot write " + where.toStdString() + ": " + script_->error().toStdString());
    }
    sqlWritten = statementsWritten_;
    // The summary counts what went into the file, tables and rows alike.
    tables = tablesCollected;
    rows = rowsCollected;
}

bool CliHost::tableWhole() {
    if (tables_.empty()) return true;
    const TableRecord& t = tables_.back();
    return ui_.failures == t.reportsAtStart && fast_.unreportedLostRows() == t.lostAtStart &&
           !(options_.fast && fast_.lastTableRolledBack());
}

void CliHost::execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) {
    // After the table's transaction, on their own.
    if (kind == StatementKind::Index) {
        ConversionHost::execute(state, kind, statement, values);
        return;
    }
    if (options_.fast) {
        fast_.execute(state, kind, statement, values);
        return;
    }
    ConversionHost::execute(state, kind, statement, values);
    if (kind == StatementKind::Insert) ++rows;
    if (kind == StatementKind::Create) ++tables;
}

void CliHost::tableStarted(const QString& name) {
    closeTable();
    ui_.lastAnswer.reset();
    TableRecord record;
    record.name = name;
    record.reportsAtStart = ui_.failures;
    record.lostAtStart = fast_.unreportedLostRows();
    tables_.push_back(std::move(record));
}

void CliHost::tableFinished(RunState&) {
    ++tablesCollected;
    if (!options_.fast) return;
    struct Note {
        CliHost& host;
        ~Note() { host.noteRollback(); }
    } note{*this};
    fast_.tableFinished();
}

void CliHost::closeTable() {
    // A table's statements go to the script before the next table starts,
    // so whatever is written belongs to the open record.
    if (script_) writeStatements();
    if (tables_.empty() || !tables_.back().open) return;
    TableRecord& t = tables_.back();
    t.open = false;
    t.answer = ui_.lastAnswer;
    t.failures = (ui_.failures - t.reportsAtStart) + (fast_.unreportedLostRows() - t.lostAtStart);
    if (t.noColumns) {
        --tablesCollected;
        rowsCollected -= t.read;
    }
}

void CliHost::noteRollback() {
    if (!fast_.lastTableRolledBack() || tables_.empty()) return;
    TableRecord& t = tables_.back();
    t.rolledBack = true;
    ui_.clearProgressLine();
    std::cerr << "Table " << t.name.toStdString() << " was rolled back: ";
    if (fast_.lastTableRows() > 0) std::cerr << "none of the " << fast_.lastTableRows() << " rows read went in, and ";
    std::cerr << "the SQLite file keeps what it held before.\n" << std::endl;
}

void CliHost::writeStatements() {
    TableRecord* table = (!tables_.empty() && tables_.back().open) ? &tables_.back() : nullptr;
    const int count = statements_->count();
    for (int n = 1; n <= count; ++n) {
        const QString statement = statements_->text(n);
        // A table without a column to write has a CREATE TABLE that SQLite
        // refuses; direct mode fails it there, and the script must not
        // hold it, or the rows meant for it, either.
        if (table && !table->noColumns && table->failures == 0) {
            std::string empty = createTableHead(table->name.toStdString());
            empty.back() = ')';
            if (statement.toStdString() == empty + ";") {
                table->noColumns = true;
                ui_.message(QStringLiteral("Table ") + table->name +
                                QStringLiteral(" has no column that can be written (OLE Object fields need "
                                               "--blobs); it is left out of the script."),
                            QStringLiteral("Application Error"), MsgButtons::Ok, MsgIcon::Warning);
            }
        }
        if (table && table->noColumns) continue;
        if (!script_->write(scriptLine(statement))) break;
        ++statementsWritten_;
    }
    statements_->clear();
    datatypes_->clear();
}

}  // namespace qb::cli
