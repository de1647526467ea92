#include "CliConverter.h"

#include "CliHost.h"
#include "CliInputs.h"
#include "CliSummary.h"
#include "ScriptFile.h"
#include "conversion/ConversionRun.h"
#include "dbaccess/Access.h"
#include "dbaccess/AccessSalvage.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "core/AppConfig.h"
#include "core/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <variant>

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
    "                             runs as a script (a value may span lines; a\n"
    "                             carriage return in a value is written as char(13));\n"
    "                             \"-\" is standard output; a device or FIFO is written\n"
    "                             as it goes; the SQLite file is only read, and not\n"
    "                             created\n"
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
    "                             or NOT NULL is reported as a failure, and so is\n"
    "                             one that breaks a foreign key when the run ends;\n"
    "                             a foreign key to a table the SQLite file keeps\n"
    "                             without a unique key over its fields is left out,\n"
    "                             with a note\n"
    "  --child-tables             attachment, multi-value and version-history\n"
    "                             fields (otherwise NULL) also become child tables\n"
    "                             named TABLE_FIELD, one row per attachment, value\n"
    "                             or version, linked to their row by the table's\n"
    "                             primary key with --keys, otherwise by the column\n"
    "                             ParentRow, the parent row's rowid; attachments\n"
    "                             keep file name, type, time stamp and the file's\n"
    "                             bytes as a BLOB; a table replaced by a later run\n"
    "                             takes the child tables made for it along: they\n"
    "                             are dropped (and made again with --child-tables);\n"
    "                             a table of the SQLite file that has a child\n"
    "                             table's name is asked about like any other\n"
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
    "  --views                    also the saved queries: each select, union and\n"
    "                             crosstab query with fixed column headings\n"
    "                             becomes a view (after the tables) that answers\n"
    "                             as Access does in any SQLite client; the table\n"
    "                             _access_queries lists every query with its\n"
    "                             Access SQL, its view or why it has none\n"
    "                             (parameters, form references, action queries,\n"
    "                             functions without an exact SQLite form). Implies\n"
    "                             --iso-dates, and Yes/No fields are stored as -1\n"
    "                             and 0, the numbers Access itself computes with,\n"
    "                             so that True, Not and sums over Yes/No fields\n"
    "                             give the same answers in the views as in Access.\n"
    "                             A query without a view is reported, not a\n"
    "                             failure; a view name a table or view already\n"
    "                             holds is handled as --overwrite says\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "\n"
    "The password: --password or --password-file (only one of them) wins over\n"
    "the environment variable QUELLBROOK_PASSWORD, which is used when neither\n"
    "is given.\n"
    "\n"
    "The summary names each table with the rows read from the Access file and\n"
    "the rows its SQLite table holds afterwards (with --sql: the rows written to\n"
    "the script), with --views one line per query (view created, or not\n"
    "translated and why), then the line \"Tables: N, rows: N, failures: N\".\n"
    "\n"
    "Exit status: 0 every table arrived whole; 1 a statement failed, a table\n"
    "has fewer rows in the SQLite file than were read, or --salvage passed over\n"
    "part of the file; 2 usage error, an input\n"
    "that cannot be read, or an SQLite file that cannot be used (a target the\n"
    "program created for the run is removed again).\n";

int usageError(const QString& text) {
    printError(text);
    std::cerr << "Try 'quellbrook-convert --help'." << std::endl;
    return 2;
}

// The options, or the exit status when the program ends here (--help,
// --version, a usage error).
std::variant<Options, int> parseArguments(const QStringList& arguments) {
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
        } else if (a == QStringLiteral("--views")) {
            options.extras.views = true;
            options.extras.isoDates = true;
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
        } else if (a == QStringLiteral("--")) {
            positional += arguments.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1Char('-')) && a != QStringLiteral("-")) {
            // A file name that starts with a dash follows "--".
            return usageError(QStringLiteral("unknown option %1").arg(a));
        } else {
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
    return options;
}

bool resolvePassword(Options& options) {
    if (options.passwordOption) {
        options.password = *options.passwordOption;
    } else if (options.passwordFile) {
        const auto password = readPasswordFile(*options.passwordFile);
        if (!password) return false;
        options.password = *password;
    } else if (const char* env = std::getenv("QUELLBROOK_PASSWORD")) {
        options.password = QString::fromLocal8Bit(env);
    }
    return true;
}

// A regular file named by --sql is replaced by the script: never an input.
bool scriptSparesInputs(const Options& options) {
    if (options.sqlFile.isEmpty() || options.sqlFile == QStringLiteral("-")) return true;
    const QFileInfo script(options.sqlFile);
    if (script.exists() && !script.isFile()) return true;
    for (const QString& input : {options.accessFile, options.sqliteFile}) {
        if (sameFile(options.sqlFile, input)) {
            printError(QStringLiteral("--sql %1 names the same file as %2, which the script would replace")
                           .arg(options.sqlFile, input));
            return false;
        }
    }
    return true;
}

// Without a terminal nobody can answer the overwrite question.
bool clashesNeedNoAnswer(const Options& options, CliInteraction& ui) {
    QStringList existing;
    ListSQLiteTables(existing, options.sqliteFile);
    auto names = GetAccessTableNames(ui, options.accessFile, options.form());
    QStringList clashes;
    for (const QString& name : names.value_or(QStringList()))
        if (ListContains(existing, name)) clashes << name;
    if (clashes.isEmpty()) return true;
    printError(QStringLiteral("these tables already exist in %1: %2; there is no terminal to ask "
                              "whether to overwrite them: use --overwrite yes or --overwrite no")
                   .arg(options.sqliteFile, clashes.join(QStringLiteral(", "))));
    return false;
}

// The summary: one line per table, the totals; the exit status.
int summarize(const Options& options, CliHost& host, CliInteraction& ui, bool toScript) {
    std::string summary;
    long long failures = ui.failures + host.unreportedLostRows();
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
        failures += tableLine(t, present, toScript, host.scriptWhole(), summary, counts);
    }
    for (const std::string& note : access::salvageDamage()) {
        std::cerr << note << std::endl;
        passedOver = true;
    }
    if (target && target->isOpen()) {
        if (options.extras.keys) failures += foreignKeyViolations(*target);
        target->close();
    }
    if (!host.queries.unreadable.empty()) summary += "Queries: not read: " + host.queries.unreadable + "\n";
    for (const QueryOutcome& q : host.queries.queries)
        summary += "Query " + q.name + ": " + q.status + (q.reason.empty() ? "" : ": " + q.reason) + "\n";

    if (host.sqlWritten >= 0)
        summary += "Statements written: " + std::to_string(host.sqlWritten) + " (" + options.sqlFile.toStdString() + ")\n";
    summary += "Tables: " + std::to_string(host.totalTables()) + ", rows: " + std::to_string(host.totalRows()) +
               ", failures: " + std::to_string(failures) + "\n";
    const bool written = writeOut(summary);
    return failures == 0 && written && !passedOver ? 0 : 1;
}

}  // namespace

bool holdStandardStreams() {
    bool outputOpen = true;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        // The lowest free descriptor, which is this one.
        const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (held != fd && held >= 0) ::close(held);
        if (fd == STDOUT_FILENO) outputOpen = false;
    }
    if (!outputOpen) printError(QStringLiteral("standard output is closed: there is nowhere to write the summary"));
    return outputOpen;
}

int runConverter(const QStringList& arguments) {
    // A file size limit makes writes fail like a full disk, reported per
    // statement, instead of killing the program in the middle of a
    // transaction; a closed pipe on standard output or error is handled
    // where the text is written.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    auto parsed = parseArguments(arguments);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    Options options = std::get<Options>(std::move(parsed));
    if (!resolvePassword(options)) return 2;
    if (!scriptSparesInputs(options)) return 2;

    // A script needs only the names of the tables the SQLite file holds; a
    // file that is not there yet is stood in for by an empty one that goes
    // when the program ends.
    QTemporaryDir standInDir;
    const QString targetName = options.sqliteFile;
    if (!options.sqlFile.isEmpty() && !QFileInfo::exists(targetName) && !QFileInfo(targetName).isSymLink()) {
        if (!standInDir.isValid()) {
            printError(QStringLiteral("cannot make a temporary folder: ") + standInDir.errorString());
            return 2;
        }
        options.sqliteFile = standInDir.filePath(QStringLiteral("empty.db"));
    }

    bool created = false;
    if (!checkInputs(options, created)) return 2;
    const auto removeCreated = [&] {
        if (created) QFile::remove(options.sqliteFile);
    };

    CliInteraction ui(options.overwrite);
    if (options.overwrite == Overwrite::Ask && !isatty(STDIN_FILENO)) {
        try {
            if (!clashesNeedNoAnswer(options, ui)) return 2;
        } catch (const DbError& e) {
            printError(QString::fromStdString(e.description()));
            removeCreated();
            return 2;
        }
    }

    std::unique_ptr<ScriptFile> script;
    if (!options.sqlFile.isEmpty()) {
        script = std::make_unique<ScriptFile>();
        if (!script->open(options.sqlFile)) {
            printError(QStringLiteral("Cannot write %1: %2").arg(options.sqlFile, script->error()));
            removeCreated();
            return 1;
        }
        if (script->toStandardOutput()) summaryToStandardError();
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
        refuseTarget(targetName);
        removeCreated();
        return 2;
    }
    return summarize(options, host, ui, script != nullptr);
}

}  // namespace qb::cli
