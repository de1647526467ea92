#include "CliConverter.h"

#include "conversion/ConversionRun.h"
#include "conversion/FastWriter.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Access.h"
#include "dbaccess/OdbcBackend.h"
#include "dbaccess/SQLite.h"
#include "core/AppConfig.h"
#include "core/ErrorTrap.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <utility>

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
    "  --password TEXT            the Access database password\n"
    "  --overwrite ask|yes|no     a table that already exists in the SQLite file:\n"
    "                             ask (default; needs a terminal), replace it, or\n"
    "                             leave it and pass over the Access table\n"
    "  --sql FILE                 write the statements to FILE instead of executing\n"
    "                             them: one per line, each ended by \";\" so the file\n"
    "                             runs as a script (a value may span lines)\n"
    "  --fast                     execute each table in one transaction with a\n"
    "                             prepared INSERT (same result, much faster)\n"
    "  --limit N                  convert at most N rows of each table\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "\n"
    "Exit status: 0 every statement succeeded, 1 some failed, 2 usage error or\n"
    "an input that cannot be read.\n";

enum class Overwrite { Ask, Yes, No };

struct Options {
    QString accessFile;
    QString sqliteFile;
    QString password;
    QString sqlFile;
    Overwrite overwrite = Overwrite::Ask;
    bool fast = false;
    long long limit = -1;
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

private:
    MsgResult answer(const QString& question) {
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

class CliHost : public ConversionHost {
public:
    CliHost(const Options& options, CliInteraction& ui)
        : options_(options), ui_(ui), statements_(createStatementList()), datatypes_(createDatatypeList()),
          showProgress_(isatty(STDERR_FILENO) != 0), fast_(ui) {}
    Interaction& ui() override { return ui_; }
    SourceFields fields() override { return {options_.accessFile, options_.password, options_.sqliteFile}; }
    bool previewEnabled() override { return !options_.sqlFile.isEmpty(); }
    bool perFile() override { return true; }
    bool perTable() override { return false; }

    void setProgressValue(double) override {}
    void setProgressText(const QString& text) override {
        static const QString prefix = QStringLiteral("Please wait.. Processing table ");
        if (text.startsWith(prefix)) currentTable_ = text.mid(prefix.size()).toStdString();
    }
    void rowProgress(long long row, long long total) override {
        ++rowsCollected;
        if (!showProgress_ || (row % 1000 != 0 && row != total && row != 1)) return;
        std::cerr << "\r\033[K" << currentTable_ << ": " << row << " of " << total << " rows" << std::flush;
        ui_.progressShown = true;
    }
    void setBusy(bool) override {}
    QStringList& List1() override { return list1_; }
    QStringList& List2() override { return list2_; }
    ListViewModel& statementList() override { return *statements_; }
    ListViewModel& datatypeList() override { return *datatypes_; }

    // The statements go to the file instead of the database.
    void showPreview() override {
        QSaveFile file(options_.sqlFile);
        if (!file.open(QIODevice::WriteOnly))
            throw DbError(errnum::Generic, "Cannot write " + options_.sqlFile.toStdString() + ": " +
                                               file.errorString().toStdString());
        for (int n = 1; n <= statements_->count(); ++n) {
            // A value may hold line breaks, so the ";" is what ends a
            // statement when the file is run as a script.
            const QByteArray statement = statements_->text(n).toUtf8();
            file.write(statement);
            file.write(statement.endsWith(';') ? "\n" : ";\n");
        }
        if (!file.commit())
            throw DbError(errnum::Generic, "Cannot write " + options_.sqlFile.toStdString() + ": " +
                                               file.errorString().toStdString());
        sqlWritten = statements_->count();
        // The summary counts what went into the file, tables and rows alike.
        tables = tablesCollected;
        rows = rowsCollected;
    }

    bool wantsInsertValues() const override { return options_.fast; }
    long long rowLimit() const override { return options_.limit; }

    void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) override {
        if (options_.fast) {
            fast_.execute(state, kind, statement, values);
            return;
        }
        ConversionHost::execute(state, kind, statement, values);
        if (kind == StatementKind::Insert) ++rows;
        if (kind == StatementKind::Create) ++tables;
    }

    void tableFinished(RunState&) override {
        ++tablesCollected;
        if (options_.fast) fast_.tableFinished();
    }

    // What reached the SQLite file (or, with --sql, the script).
    long long totalRows() const { return rows + fast_.rows(); }
    int totalTables() const { return tables + fast_.tables(); }

    long long rows = 0;
    int tables = 0;
    int tablesCollected = 0;
    long long rowsCollected = 0;
    int sqlWritten = -1;

private:
    const Options& options_;
    CliInteraction& ui_;
    std::unique_ptr<ListViewModel> statements_;
    std::unique_ptr<ListViewModel> datatypes_;
    QStringList list1_, list2_;
    std::string currentTable_;
    bool showProgress_;
    FastWriter fast_;
};

int usageError(const QString& text) {
    printError(text);
    std::cerr << "Try 'quellbrook-convert --help'." << std::endl;
    return 2;
}

// Opens the inputs once before the run, so that a file that cannot be read
// is named with its reason and ends the program before anything is written.
bool checkInputs(const Options& options) {
    const SourceFields form{options.accessFile, options.password, options.sqliteFile};
    try {
        auto connection = Connection::create();
        connection->open(AccessConnectionString(QString(), QString(), form).toStdString());
        connection->close();
    } catch (const DbError& e) {
        printError(options.accessFile + QStringLiteral(": ") + QString::fromStdString(e.description()));
        return false;
    }
    bool created = false;
    try {
        const QFileInfo target(options.sqliteFile);
        if (target.exists() && !target.isFile()) throw DbError(errnum::Generic, "not a file");
        if (!target.exists()) {
            QFile create(options.sqliteFile);
            if (!create.open(QIODevice::WriteOnly)) throw DbError(errnum::Generic, create.errorString().toStdString());
            created = true;
        }
        auto connection = Connection::create();
        connection->open(SQLiteConnectionString(options.sqliteFile).toStdString());
        connection->close();
    } catch (const DbError& e) {
        // A refused path (one with ";") must not leave an empty file behind.
        if (created) QFile::remove(options.sqliteFile);
        printError(options.sqliteFile + QStringLiteral(": ") + QString::fromStdString(e.description()));
        return false;
    }
    return true;
}

}  // namespace

int runConverter(const QStringList& arguments) {
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
            if (!value(options.password)) return usageError(QStringLiteral("--password needs a value"));
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
    options.accessFile = positional[0];
    options.sqliteFile = positional[1];

    if (!checkInputs(options)) return 2;

    CliInteraction ui(options.overwrite);
    if (options.overwrite == Overwrite::Ask && !isatty(STDIN_FILENO)) {
        // Without a terminal nobody can answer the overwrite question.
        try {
            QStringList existing;
            ListSQLiteTables(existing, options.sqliteFile);
            auto names = GetAccessTableNames(ui, options.accessFile,
                                             {options.accessFile, options.password, options.sqliteFile});
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
            return 2;
        }
    }

    CliHost host(options, ui);
    RunState state;
    ConversionRun(host, state).run();
    ui.clearProgressLine();

    if (host.sqlWritten >= 0)
        std::cout << "Statements written: " << host.sqlWritten << " (" << options.sqlFile.toStdString() << ")\n";
    std::cout << "Tables: " << host.totalTables() << ", rows: " << host.totalRows() << ", failures: " << ui.failures << std::endl;
    return ui.failures == 0 ? 0 : 1;
}

}  // namespace qb::cli
