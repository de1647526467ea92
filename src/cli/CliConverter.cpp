#include "CliConverter.h"

#include "conversion/ConversionRun.h"
#include "conversion/FastWriter.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Access.h"
#include "dbaccess/AccessSalvage.h"
#include "dbaccess/OdbcBackend.h"
#include "dbaccess/SQLite.h"
#include "core/AppConfig.h"
#include "core/ErrorTrap.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qb::cli {

namespace {

const char* const kUsage =
    "Usage: quellbrook-convert [options] ACCESS_FILE SQLITE_FILE\n"
    "\n"
    "Copies every user table of an Access database (.mdb, .accdb) into an\n"
    "SQLite database, with the same statements as the Quellbrook window.\n"
    "The SQLite file is created when it does not exist (the window does not\n"
    "create it).\n"
    "\n"
    "Options:\n"
    "  --password TEXT            the Access database password; other local users\n"
    "                             can read it in the process list: prefer\n"
    "                             --password-file or QUELLBROOK_PASSWORD\n"
    "  --password-file FILE       read the password from the first line of FILE\n"
    "                             (\"-\" for standard input)\n"
    "  --overwrite ask|yes|no     a table that already exists in the SQLite file:\n"
    "                             ask (default; needs a terminal), replace it, or\n"
    "                             leave it and pass over the Access table\n"
    "  --sql FILE                 write the statements to FILE instead of executing\n"
    "                             them: one per line, each ended by \";\" so the file\n"
    "                             runs as a script (a value may span lines)\n"
    "  --fast                     execute each table in one transaction with a\n"
    "                             prepared INSERT (same result, much faster)\n"
    "  --limit N                  convert at most N rows of each table (0: create\n"
    "                             the tables without rows)\n"
    "  --keys                     the table's schema as SQLite can hold it: its\n"
    "                             primary key (an AutoNumber key of one Long field\n"
    "                             becomes INTEGER PRIMARY KEY, without AUTOINCREMENT:\n"
    "                             like Access after a compact, a number freed by\n"
    "                             deleting the last row can come back, and no\n"
    "                             sqlite_sequence table is added), NOT NULL for\n"
    "                             required fields, the foreign keys of its\n"
    "                             relationships with their cascades (tables are\n"
    "                             taken in an order that creates a referred table\n"
    "                             first; a relationship Access does not enforce is\n"
    "                             left out, with a note), and its other indexes,\n"
    "                             created after the rows; a row that breaks a key\n"
    "                             or NOT NULL is reported as a failure\n"
    "  --child-tables             attachment, multi-value and version-history\n"
    "                             fields (otherwise NULL) also become child tables\n"
    "                             named TABLE_FIELD, one row per attachment, value\n"
    "                             or version, linked to their row by the table's\n"
    "                             primary key with --keys, otherwise by the column\n"
    "                             ParentRow, the parent row's rowid; attachments\n"
    "                             keep file name, type, time stamp and the file's\n"
    "                             bytes as a BLOB\n"
    "  --blobs                    keep OLE Object fields (otherwise left out) as BLOB\n"
    "                             columns: the bytes as stored, so an OLE wrapping\n"
    "                             around a picture or document is kept\n"
    "  --salvage                  read what a damaged Access file still holds: rows\n"
    "                             that cannot be read whole are passed over and\n"
    "                             counted, and such a table is \"salvaged\" in the\n"
    "                             summary, with what was passed over (exit status 1)\n"
    "  --iso-dates                write Date/Time values as ISO 8601 text\n"
    "                             (YYYY-MM-DD HH:MM:SS, the date alone at midnight,\n"
    "                             HH:MM:SS for a time alone) whatever the regional\n"
    "                             settings\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "\n"
    "The password: --password or --password-file (only one of them) wins over\n"
    "the environment variable QUELLBROOK_PASSWORD, which is used when neither\n"
    "is given.\n"
    "\n"
    "The summary names each table with the rows read from the Access file and\n"
    "the rows its SQLite table holds afterwards (with --sql: the rows written to\n"
    "the script), then the line \"Tables: N, rows: N, failures: N\".\n"
    "\n"
    "Exit status: 0 every table arrived whole; 1 a statement failed, a table\n"
    "has fewer rows in the SQLite file than were read, or --salvage passed over\n"
    "part of the file; 2 usage error, an input\n"
    "that cannot be read, or an SQLite file that cannot be used (a target the\n"
    "program created for the run is removed again).\n";

enum class Overwrite { Ask, Yes, No };

struct Options {
    QString accessFile;
    QString sqliteFile;
    QString password;
    std::optional<QString> passwordOption;
    std::optional<QString> passwordFile;
    QString sqlFile;
    Overwrite overwrite = Overwrite::Ask;
    bool fast = false;
    long long limit = -1;
    bool salvage = false;
    ConversionOptions extras;
    SourceFields form() const { return {accessFile, password, sqliteFile, salvage}; }
};

void printError(const QString& text) { std::cerr << "quellbrook-convert: " << text.toStdString() << std::endl; }

// Report texts use the message box's CR and CR LF line breaks.
std::string forTerminal(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.toStdString();
}

class CliInteraction : public Interaction {
public:
    explicit CliInteraction(Overwrite overwrite) : overwrite_(overwrite) {}

    MsgResult message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) override {
        if (buttons == MsgButtons::YesNo) return answer(text);
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
    bool openUrl(const QString&) override { return false; }
    void yield() override {}
    int drawPercent() override { return 100; }

    void clearProgressLine() {
        if (progressShown) {
            std::cerr << "\r\033[K" << std::flush;
            progressShown = false;
        }
    }

    int failures = 0;
    bool progressShown = false;
    // The answer to the current table's overwrite question, if one was asked.
    std::optional<MsgResult> lastAnswer;

private:
    MsgResult answer(const QString& question) {
        lastAnswer = ask(question);
        return *lastAnswer;
    }
    MsgResult ask(const QString& question) {
        if (overwrite_ == Overwrite::Yes) return MsgResult::Yes;
        if (overwrite_ == Overwrite::No) return MsgResult::No;
        clearProgressLine();
        std::cerr << question.toStdString() << " [y/N] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return MsgResult::No;
        return (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) ? MsgResult::Yes : MsgResult::No;
    }
    Overwrite overwrite_;
};

// One Access table as the run took it.
struct TableRecord {
    QString name;
    std::optional<MsgResult> answer;  // the overwrite question, when asked
    long long read = 0;               // rows rendered from the Access file
    long long failures = 0;           // failures reported while it ran
    bool open = true;
    bool rolledBack = false;
    int reportsAtStart = 0;
    long long lostAtStart = 0;
};

class CliHost : public ConversionHost {
public:
    CliHost(const Options& options, CliInteraction& ui, QSaveFile* script)
        : options_(options), ui_(ui), statements_(createStatementList()), datatypes_(createDatatypeList()),
          showProgress_(isatty(STDERR_FILENO) != 0), script_(script), fast_(ui) {}
    Interaction& ui() override { return ui_; }
    SourceFields fields() override { return options_.form(); }
    bool previewEnabled() override { return script_ != nullptr; }
    bool perFile() override { return true; }
    bool perTable() override { return false; }

    void setProgressValue(double) override {}
    void setProgressText(const QString& text) override {
        static const QString prefix = QStringLiteral("Please wait.. Processing table ");
        if (text.startsWith(prefix)) currentTable_ = text.mid(prefix.size()).toStdString();
        // The run clears the text when it is done with a table, taken or
        // passed over.
        if (text.isEmpty()) closeTable();
    }
    void rowProgress(long long row, long long total) override {
        ++rowsCollected;
        if (!tables_.empty()) ++tables_.back().read;
        // The script takes the statements as they come, so memory stays
        // flat however many rows a table has.
        if (script_ && statements_->count() >= kStatementsPerWrite) writeStatements();
        if (!showProgress_ || (row % 1000 != 0 && row != total && row != 1)) return;
        std::cerr << "\r\033[K" << currentTable_ << ": " << row << " of " << total << " rows" << std::flush;
        ui_.progressShown = true;
    }
    void setBusy(bool busy) override {
        // The run sets the busy state only once the SQLite file passed its test.
        if (busy) targetAccepted = true;
    }
    QStringList& List1() override { return list1_; }
    QStringList& List2() override { return list2_; }
    ListViewModel& statementList() override { return *statements_; }
    ListViewModel& datatypeList() override { return *datatypes_; }

    // The end of the run: the rest of the statements, then the file takes
    // its name.
    void showPreview() override {
        writeStatements();
        if (!scriptError_.isEmpty() || !script_->commit()) {
            const QString reason = scriptError_.isEmpty() ? script_->errorString() : scriptError_;
            script_->cancelWriting();
            throw DbError(errnum::Generic, "Cannot write " + options_.sqlFile.toStdString() + ": " +
                                               reason.toStdString());
        }
        sqlWritten = statementsWritten_;
        // The summary counts what went into the file, tables and rows alike.
        tables = tablesCollected;
        rows = rowsCollected;
    }

    ConversionOptions options() const override { return options_.extras; }
    bool wantsInsertValues() const override { return options_.fast; }
    void binaryValues(const std::vector<char>& binary) override { fast_.setBinaryValues(binary); }
    bool tableWhole() override {
        if (tables_.empty()) return true;
        const TableRecord& t = tables_.back();
        return ui_.failures == t.reportsAtStart && fast_.unreportedLostRows() == t.lostAtStart &&
               !(options_.fast && fast_.lastTableRolledBack());
    }
    long long rowLimit() const override { return options_.limit; }

    void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) override {
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

    void tableStarted(const QString& name) override {
        closeTable();
        ui_.lastAnswer.reset();
        TableRecord record;
        record.name = name;
        record.reportsAtStart = ui_.failures;
        record.lostAtStart = fast_.unreportedLostRows();
        tables_.push_back(std::move(record));
    }

    void tableFinished(RunState&) override {
        ++tablesCollected;
        if (!options_.fast) return;
        struct Note {
            CliHost& host;
            ~Note() { host.noteRollback(); }
        } note{*this};
        fast_.tableFinished();
    }

    // What reached the SQLite file (or, with --sql, the script).
    long long totalRows() const { return rows + fast_.rows(); }
    int totalTables() const { return tables + fast_.tables(); }
    long long unreportedLostRows() const { return fast_.unreportedLostRows(); }
    std::vector<TableRecord>& tableRecords() {
        closeTable();
        return tables_;
    }

    long long rows = 0;
    int tables = 0;
    int tablesCollected = 0;
    long long rowsCollected = 0;
    int sqlWritten = -1;
    bool targetAccepted = false;

private:
    static constexpr int kStatementsPerWrite = 512;

    void closeTable() {
        if (tables_.empty() || !tables_.back().open) return;
        TableRecord& t = tables_.back();
        t.open = false;
        t.answer = ui_.lastAnswer;
        t.failures = (ui_.failures - t.reportsAtStart) + (fast_.unreportedLostRows() - t.lostAtStart);
    }

    void noteRollback() {
        if (!fast_.lastTableRolledBack() || tables_.empty()) return;
        TableRecord& t = tables_.back();
        t.rolledBack = true;
        ui_.clearProgressLine();
        std::cerr << "Table " << t.name.toStdString() << " was rolled back: ";
        if (fast_.lastTableRows() > 0) std::cerr << "none of the " << fast_.lastTableRows() << " rows read went in, and ";
        std::cerr << "the SQLite file keeps what it held before.\n" << std::endl;
    }

    // A statement may hold line breaks in its values, so the ";" is what
    // ends it when the file is run as a script.
    void writeStatements() {
        const int count = statements_->count();
        for (int n = 1; n <= count && scriptError_.isEmpty(); ++n) {
            QByteArray line = statements_->text(n).toUtf8();
            line += line.endsWith(';') ? "\n" : ";\n";
            if (script_->write(line) != line.size()) scriptError_ = script_->errorString();
            else ++statementsWritten_;
        }
        statements_->clear();
        datatypes_->clear();
    }

    const Options& options_;
    CliInteraction& ui_;
    std::unique_ptr<ListViewModel> statements_;
    std::unique_ptr<ListViewModel> datatypes_;
    QStringList list1_, list2_;
    std::string currentTable_;
    bool showProgress_;
    QSaveFile* script_;
    QString scriptError_;
    int statementsWritten_ = 0;
    std::vector<TableRecord> tables_;
    FastWriter fast_;
};

int usageError(const QString& text) {
    printError(text);
    std::cerr << "Try 'quellbrook-convert --help'." << std::endl;
    return 2;
}

// Why the run's test of the SQLite file refuses it: the driver first, as
// nothing can be opened without it, then in the order that test checks.
QString targetProblem(const QString& path) {
    try {
        Connection::create();
    } catch (const DbError&) {
        return QStringLiteral("driver missing: the \"SQLite3 ODBC Driver\" is not registered with the ODBC "
                              "driver manager");
    }
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("missing");
    if (info.isHidden()) return QStringLiteral("hidden (its name starts with a dot), which the conversion refuses");
    if (!info.isFile()) return QStringLiteral("not a regular file");
    try {
        auto connection = Connection::create();
        connection->open(SQLiteConnectionString(path).toStdString());
    } catch (const DbError& e) {
        return QStringLiteral("not a database: ") + QString::fromStdString(e.description());
    }
    return QStringLiteral("it cannot be opened");
}

void refuseTarget(const QString& path) {
    printError(path + QStringLiteral(": cannot be used as the SQLite file: ") + targetProblem(path));
}

// Opens the inputs once before the run, so that a file that cannot be read
// is named with its reason and ends the program before anything is written.
// `created` tells whether the SQLite file was made here.
bool checkInputs(const Options& options, bool& created) {
    created = false;
    const SourceFields form = options.form();
    try {
        auto connection = Connection::create();
        connection->open(AccessConnectionString(QString(), QString(), form).toStdString());
        connection->close();
    } catch (const DbError& e) {
        if (e.number() == errnum::ProviderNotFound) {
            refuseTarget(options.sqliteFile);
            return false;
        }
        printError(options.accessFile + QStringLiteral(": ") + QString::fromStdString(e.description()));
        return false;
    }
    try {
        // A path the connection string refuses must not leave a file behind.
        SQLiteConnectionString(options.sqliteFile);
        if (!QFileInfo::exists(options.sqliteFile) && !QFileInfo(options.sqliteFile).isSymLink()) {
            QFile create(options.sqliteFile);
            if (!create.open(QIODevice::WriteOnly)) throw DbError(errnum::Generic, create.errorString().toStdString());
            created = true;
        }
    } catch (const DbError& e) {
        printError(options.sqliteFile + QStringLiteral(": ") + QString::fromStdString(e.description()));
        return false;
    }
    // The test the run makes before anything else.
    if (!TestSQLiteDatabase(options.sqliteFile)) {
        refuseTarget(options.sqliteFile);
        if (created) QFile::remove(options.sqliteFile);
        created = false;
        return false;
    }
    return true;
}

// The file a path names, whether it exists yet or not: the device and inode
// of the file, or of its folder together with the name of a file still to
// be made. Links and other spellings of one file give the same key.
struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    QString name;
    bool operator==(const FileKey&) const = default;
};

std::optional<FileKey> fileKey(QString path) {
    for (int links = 0; links < 40; ++links) {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0) return FileKey{st.st_dev, st.st_ino, {}};
        const QFileInfo info(path);
        if (info.isSymLink()) {
            // A link to a file not made yet: writing through it makes that file.
            path = info.symLinkTarget();
            continue;
        }
        if (::stat(QFile::encodeName(info.absolutePath()).constData(), &st) == 0)
            return FileKey{st.st_dev, st.st_ino, info.fileName()};
        return std::nullopt;
    }
    return std::nullopt;
}

bool sameFile(const QString& a, const QString& b) {
    const auto ka = fileKey(a);
    return ka && ka == fileKey(b);
}

// The first line of a file, or of standard input for "-", without its line
// break.
std::optional<QString> readPasswordFile(const QString& name) {
    QByteArray line;
    if (name == QStringLiteral("-")) {
        std::string text;
        if (!std::getline(std::cin, text) && text.empty() && !std::cin.eof()) return std::nullopt;
        line = QByteArray::fromStdString(text);
    } else {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read the password file %1: %2").arg(name, file.errorString()));
            return std::nullopt;
        }
        line = file.readLine();
    }
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    return QString::fromUtf8(line);
}

// Standard output may be a pipe whose reader has gone (`| head`): with
// SIGPIPE ignored the write fails with EPIPE, and as nobody reads any more
// the rest is dropped without a word. Any other failure (a full disk under
// a redirection) is reported and makes the run a failure.
bool writeOut(const std::string& text) {
    static bool readerGone = false;
    if (readerGone) return true;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return true;
    const int error = errno;
    if (error == EPIPE) {
        readerGone = true;
        return true;
    }
    printError(QStringLiteral("cannot write to standard output: ") + QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

// "Name: created, 18 rows read, 18 in the SQLite table"; the failures a
// table brings to the summary line beyond the ones already reported.
// `salvaged`: what a salvaging read passed over, when it passed over any.
long long tableLine(const TableRecord& t, std::optional<long long> present, bool script,
                    const access::SalvageCounts* salvaged, std::string& out) {
    out += t.name.toStdString() + ": ";
    const bool skipped = t.answer == MsgResult::No;
    if (script) {
        if (skipped) out += "skipped\n";
        else
            out += std::string(t.answer == MsgResult::Yes ? "DROP TABLE, " : "") + "CREATE TABLE and " +
                   std::to_string(t.read) + " rows written to the script\n";
        return 0;
    }
    const bool failed = t.failures > 0 || (!skipped && (!present || *present < t.read));
    if (skipped && !failed) out += "skipped";
    else if (failed) out += t.rolledBack ? "failed (rolled back)" : "failed";
    else if (salvaged) out += "salvaged";
    else out += t.answer == MsgResult::Yes ? "replaced" : "created";
    out += ", " + std::to_string(t.read) + " rows read, ";
    out += present ? std::to_string(*present) + " in the SQLite table" : "no SQLite table";
    if (salvaged) {
        out += "; passed over: " + std::to_string(salvaged->pagesSkipped) + " pages, " +
               std::to_string(salvaged->rowsSkipped) + " rows";
        if (salvaged->incomplete) out += "; may be incomplete";
    }
    out += "\n";
    if (!failed) return 0;
    // Rows that went missing without a report count as failures too.
    const long long missing = std::max(0LL, t.read - present.value_or(0));
    return std::max(missing - t.failures, t.failures == 0 ? 1LL : 0LL);
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

}  // namespace

int runConverter(const QStringList& arguments) {
    // A file size limit makes writes fail like a full disk, reported per
    // statement, instead of killing the program in the middle of a
    // transaction; a closed pipe on standard output or error is handled
    // where the text is written.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    Options options;
    QStringList positional;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](QString& target) {
            if (i + 1 >= arguments.size()) return false;
            target = arguments[++i];
            return true;
        };
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            std::cout << kUsage;
            return 0;
        } else if (a == QStringLiteral("--version")) {
            std::cout << "quellbrook-convert " << QB_VERSION << std::endl;
            return 0;
        } else if (a == QStringLiteral("--password")) {
            QString v;
            if (!value(v)) return usageError(QStringLiteral("--password needs a value"));
            options.passwordOption = v;
        } else if (a == QStringLiteral("--password-file")) {
            QString v;
            if (!value(v) || v.isEmpty()) return usageError(QStringLiteral("--password-file needs a file name"));
            options.passwordFile = v;
        } else if (a == QStringLiteral("--sql")) {
            if (!value(options.sqlFile) || options.sqlFile.isEmpty())
                return usageError(QStringLiteral("--sql needs a file name"));
        } else if (a == QStringLiteral("--limit")) {
            QString v;
            bool ok = false;
            if (value(v)) options.limit = v.toLongLong(&ok);
            if (!ok || options.limit < 0) return usageError(QStringLiteral("--limit needs a number of rows"));
        } else if (a == QStringLiteral("--fast")) {
            options.fast = true;
        } else if (a == QStringLiteral("--keys")) {
            options.extras.keys = true;
        } else if (a == QStringLiteral("--child-tables")) {
            options.extras.childTables = true;
        } else if (a == QStringLiteral("--blobs")) {
            options.extras.blobs = true;
        } else if (a == QStringLiteral("--salvage")) {
            options.salvage = true;
        } else if (a == QStringLiteral("--iso-dates")) {
            options.extras.isoDates = true;
        } else if (a == QStringLiteral("--overwrite")) {
            QString v;
            if (!value(v)) return usageError(QStringLiteral("--overwrite needs ask, yes or no"));
            if (v == QStringLiteral("ask")) options.overwrite = Overwrite::Ask;
            else if (v == QStringLiteral("yes")) options.overwrite = Overwrite::Yes;
            else if (v == QStringLiteral("no")) options.overwrite = Overwrite::No;
            else return usageError(QStringLiteral("--overwrite needs ask, yes or no, not \"%1\"").arg(v));
        } else if (a.startsWith(QStringLiteral("--")) && a != QStringLiteral("--")) {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        } else {
            if (a == QStringLiteral("--")) {
                positional += arguments.mid(i + 1);
                break;
            }
            positional << a;
        }
    }
    if (positional.size() != 2) return usageError(QStringLiteral("expected ACCESS_FILE and SQLITE_FILE"));
    if (options.fast && !options.sqlFile.isEmpty())
        return usageError(QStringLiteral("--fast and --sql cannot be combined"));
    if (options.passwordOption && options.passwordFile)
        return usageError(QStringLiteral("--password and --password-file cannot be combined"));
    options.accessFile = positional[0];
    options.sqliteFile = positional[1];

    if (options.passwordOption) {
        options.password = *options.passwordOption;
    } else if (options.passwordFile) {
        const auto password = readPasswordFile(*options.passwordFile);
        if (!password) return 2;
        options.password = *password;
    } else if (const char* env = std::getenv("QUELLBROOK_PASSWORD")) {
        options.password = QString::fromLocal8Bit(env);
    }

    // The script replaces whatever file has its name: never an input.
    if (!options.sqlFile.isEmpty()) {
        for (const QString& input : {options.accessFile, options.sqliteFile}) {
            if (sameFile(options.sqlFile, input)) {
                printError(QStringLiteral("--sql %1 names the same file as %2, which the script would replace")
                               .arg(options.sqlFile, input));
                return 2;
            }
        }
    }

    bool created = false;
    if (!checkInputs(options, created)) return 2;
    const auto removeCreated = [&] {
        if (created) QFile::remove(options.sqliteFile);
    };

    CliInteraction ui(options.overwrite);
    if (options.overwrite == Overwrite::Ask && !isatty(STDIN_FILENO)) {
        // Without a terminal nobody can answer the overwrite question.
        try {
            QStringList existing;
            ListSQLiteTables(existing, options.sqliteFile);
            auto names = GetAccessTableNames(ui, options.accessFile, options.form());
            QStringList clashes;
            for (const QString& name : names.value_or(QStringList()))
                if (ListContains(existing, name)) clashes << name;
            if (!clashes.isEmpty()) {
                printError(QStringLiteral("these tables already exist in %1: %2; there is no terminal to ask "
                                          "whether to overwrite them: use --overwrite yes or --overwrite no")
                               .arg(options.sqliteFile, clashes.join(QStringLiteral(", "))));
                return 2;
            }
        } catch (const DbError& e) {
            printError(QString::fromStdString(e.description()));
            removeCreated();
            return 2;
        }
    }

    // Written under a temporary name in the same folder and renamed when
    // complete, so the name never holds half a script.
    std::unique_ptr<QSaveFile> script;
    if (!options.sqlFile.isEmpty()) {
        script = std::make_unique<QSaveFile>(options.sqlFile);
        if (!script->open(QIODevice::WriteOnly)) {
            printError(QStringLiteral("Cannot write %1: %2").arg(options.sqlFile, script->errorString()));
            removeCreated();
            return 1;
        }
    }

    CliHost host(options, ui, script.get());
    {
        RunState state;
        ConversionRun(host, state).run();
        // The run closes the connection on its way out; whatever is left
        // closes here, so no transaction outlives the program.
        state.SQLite_conn.reset();
    }
    ui.clearProgressLine();

    if (!host.targetAccepted) {
        refuseTarget(options.sqliteFile);
        removeCreated();
        return 2;
    }

    std::string summary;
    long long failures = ui.failures + host.unreportedLostRows();
    const bool toScript = script != nullptr;
    std::unique_ptr<Connection> target;
    if (!toScript) {
        try {
            target = Connection::create();
            target->open(SQLiteConnectionString(options.sqliteFile).toStdString());
        } catch (const DbError& e) {
            printError(options.sqliteFile + QStringLiteral(": cannot count the rows: ") +
                       QString::fromStdString(e.description()));
            target.reset();
            ++failures;
        }
    }
    // Salvaging: a file that turned out whole exits as any other; anything
    // passed over makes the run a failure, though not one of a statement.
    const std::vector<access::SalvageReport> salvaged = access::salvagedTables();
    bool passedOver = false;
    for (const TableRecord& t : host.tableRecords()) {
        const std::optional<long long> present =
            (target && target->isOpen()) ? countRows(*target, t.name) : std::nullopt;
        const access::SalvageCounts* counts = nullptr;
        for (const auto& report : salvaged)
            if (report.counts.any() && QString::fromStdString(report.table) == t.name) {
                counts = &report.counts;
                break;
            }
        passedOver = passedOver || counts;
        failures += tableLine(t, present, toScript, counts, summary);
    }
    for (const std::string& note : access::salvageDamage()) {
        std::cerr << note << std::endl;
        passedOver = true;
    }
    if (target && target->isOpen()) target->close();

    if (host.sqlWritten >= 0)
        summary += "Statements written: " + std::to_string(host.sqlWritten) + " (" + options.sqlFile.toStdString() + ")\n";
    summary += "Tables: " + std::to_string(host.totalTables()) + ", rows: " + std::to_string(host.totalRows()) +
               ", failures: " + std::to_string(failures) + "\n";
    const bool written = writeOut(summary);
    return failures == 0 && written && !passedOver ? 0 : 1;
}

}  // namespace qb::cli
