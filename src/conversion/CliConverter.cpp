#include "CliConverter.h"

#include "ConversionRun.h"
#include "ListViewModel.h"
#include "dbaccess/Access.h"
#include "dbaccess/OdbcBackend.h"
#include "dbaccess/SQLite.h"
#include "shell/AppConfig.h"
#include "shell/ErrorTrap.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <atomic>
#include <iterator>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
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
          showProgress_(isatty(STDERR_FILENO) != 0) {}
    ~CliHost() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (writer_.joinable()) writer_.join();
    }

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
            reportWriterFailures();
            executeFast(state, kind, statement, values);
            // Counted when the table's transaction commits.
            if (kind == StatementKind::Insert) ++pendingRows_;
            if (kind == StatementKind::Create) ++pendingTables_;
            return;
        }
        ConversionHost::execute(state, kind, statement, values);
        if (kind == StatementKind::Insert) ++rows;
        if (kind == StatementKind::Create) ++tables;
    }

    void tableFinished(RunState&) override {
        ++tablesCollected;
        if (inTransaction_ && !transactionLost_) flushBatch();
        syncWriter();
        batch_.clear();
        batchRows_ = 0;
        batchInsert_.reset();
        batchHead_.clear();
        const bool open = inTransaction_ && !transactionLost_;
        inTransaction_ = false;
        transactionLost_ = false;
        const long long pendingRows = pendingRows_.exchange(0);
        const int pendingTables = pendingTables_.exchange(0);
        if (!open) return;
        try {
            backend_->commit();
        } catch (const DbError&) {
            // A COMMIT that fails may leave the transaction open; the next
            // table must not run inside it.
            try {
                backend_->rollback();
            } catch (const DbError&) {
            }
            throw;
        }
        rows += pendingRows;
        tables += pendingTables;
    }

    long long rows = 0;
    int tables = 0;
    int tablesCollected = 0;
    long long rowsCollected = 0;
    int sqlWritten = -1;

private:
    // Rows on their way to the writer thread, all of one table.
    struct Batch {
        std::string head;
        std::size_t width = 0;
        std::size_t rows = 0;
        std::vector<std::optional<std::string>> values;
        bool full = false;
    };
    void executeFast(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) {
        if (!state.SQLite_conn || !state.SQLite_conn->backend())
            throw objectClosedError();
        backend_ = dynamic_cast<OdbcBackend*>(state.SQLite_conn->backend());
        if (!backend_) throw DbError(errnum::Generic, "The fast mode needs the SQLite ODBC connection.");
        if (transactionLost_) throw DbError(errnum::Generic, kNotExecuted);
        if (!inTransaction_) {
            backend_->begin();
            inTransaction_ = true;
        }
        if (kind == StatementKind::Insert && values) {
            // Rows wait in a batch; a failure in it is reported per row
            // when the batch runs.
            const bool sameTable = !batchHead_.empty() && statement.size() > batchHead_.size() &&
                                   statement.compare(0, batchHead_.size(), batchHead_) == 0 &&
                                   statement[batchHead_.size()] == ' ';
            if (!sameTable || values->size() != batchWidth_) {
                const std::string head = tableHead(statement);
                flushBatch();
                syncWriter();
                batchInsert_.reset();
                batchHead_ = head;
                batchWidth_ = values->size();
                batchCapacity_ = std::clamp<std::size_t>(kMaxParameters / std::max<std::size_t>(1, batchWidth_), 1,
                                                         kBatchRows);
            }
            // The last batch went to the writer with the buffer.
            if (batch_.empty()) batch_.reserve(batchCapacity_ * batchWidth_);
            std::move(values->begin(), values->end(), std::back_inserter(batch_));
            if (++batchRows_ == batchCapacity_) flushBatch();
            return;
        }
        flushBatch();
        syncWriter();
        if (transactionLost_) throw DbError(errnum::Generic, kNotExecuted);
        try {
            backend_->execute(statement);
        } catch (const DbError&) {
            // After a full disk or an I/O error SQLite rolls the whole
            // transaction back by itself. The table's later statements would
            // then run one by one outside any transaction: rows into a
            // table that no longer exists, or into the old table that a
            // rolled-back DROP TABLE has brought back.
            if (!transactionActive()) {
                transactionLost_ = true;
                pendingRows_ = 0;
                pendingTables_ = 0;
            }
            throw;
        }
    }

    // Hands the waiting rows to the writer thread as one multi-row INSERT:
    // the driver's work per execution and the hand-over between the threads
    // are paid once per batch, not once per row (one row per execution took
    // five times as long), and the writer lets reading the Access file
    // overlap with writing SQLite.
    void flushBatch() {
        if (batchRows_ == 0) return;
        Batch batch{batchHead_, batchWidth_, std::exchange(batchRows_, 0), {}};
        batch.values.swap(batch_);
        batch.full = batch.rows == batchCapacity_;
        std::unique_lock lock(mutex_);
        if (!writer_.joinable()) writer_ = std::thread([this] { writerLoop(); });
        // A short queue keeps memory flat however large the table.
        changed_.wait(lock, [this] { return queue_.size() < kQueuedBatches; });
        queue_.push_back(std::move(batch));
        changed_.notify_all();
    }

    // Waits until the writer has run every queued batch, then reports what
    // failed in them: the connection is the main thread's again.
    void syncWriter() {
        std::vector<DbError> failures;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
            failures.swap(failures_);
        }
        for (const DbError& e : failures) reportInsertFailure(e);
    }

    void reportWriterFailures() {
        std::vector<DbError> failures;
        {
            std::lock_guard lock(mutex_);
            failures.swap(failures_);
        }
        for (const DbError& e : failures) reportInsertFailure(e);
    }

    void writerLoop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            Batch batch = std::move(queue_.front());
            queue_.pop_front();
            writing_ = true;
            lock.unlock();
            std::vector<DbError> failures;
            try {
                runBatch(batch, failures);
            } catch (const std::exception& e) {
                failures.emplace_back(errnum::Generic, std::string("SQLException: ") + e.what());
            }
            lock.lock();
            failures_.insert(failures_.end(), failures.begin(), failures.end());
            writing_ = false;
            changed_.notify_all();
        }
    }

    // On the writer thread. When the batch fails, its rows are tried one by
    // one so that exactly the rows SQLite rejects are reported (the failed
    // batch itself left nothing behind).
    void runBatch(Batch& batch, std::vector<DbError>& failures) {
        if (transactionLost_) {
            failures.insert(failures.end(), batch.rows, DbError(errnum::Generic, kNotExecuted));
            return;
        }
        try {
            if (batch.full) {
                if (!batchInsert_)
                    batchInsert_ = prepareInsert(batch.head, batch.width, batch.rows);
                backend_->bindAndExecute(*batchInsert_, batch.values);
            } else {
                auto tail = prepareInsert(batch.head, batch.width, batch.rows);
                backend_->bindAndExecute(*tail, batch.values);
            }
            return;
        } catch (const DbError& e) {
            if (!transactionActive()) {
                loseTransaction();
                failures.push_back(e);
                return;
            }
        }
        auto single = prepareInsert(batch.head, batch.width, 1);
        for (std::size_t r = 0; r < batch.rows; ++r) {
            if (transactionLost_) {
                failures.emplace_back(errnum::Generic, kNotExecuted);
                continue;
            }
            const auto first = batch.values.begin() + static_cast<long>(r * batch.width);
            const std::vector<std::optional<std::string>> row(first, first + static_cast<long>(batch.width));
            try {
                backend_->bindAndExecute(*single, row);
            } catch (const DbError& e) {
                --pendingRows_;
                if (!transactionActive()) loseTransaction();
                failures.push_back(e);
            }
        }
    }

    void loseTransaction() {
        transactionLost_ = true;
        pendingRows_ = 0;
        pendingTables_ = 0;
    }

    // Reported as the run reports a rejected INSERT.
    void reportInsertFailure(const DbError& error) {
        ErrorTrap trap(ui_, QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
        trap.run(364, [&] { throw error; });
    }

    // BEGIN is refused inside an open transaction; where it succeeds, the
    // transaction was gone, and the probe's own is rolled back at once.
    bool transactionActive() {
        try {
            backend_->begin();
        } catch (const DbError&) {
            return true;
        }
        try {
            backend_->rollback();
        } catch (const DbError&) {
        }
        return false;
    }

    // INSERT INTO "name" from the head of a rendered row.
    static std::string tableHead(const std::string& statement) {
        const std::string lead = "INSERT INTO \"";
        std::size_t i = lead.size();
        while (i < statement.size()) {
            if (statement[i] == '"') {
                if (i + 1 < statement.size() && statement[i + 1] == '"') {
                    i += 2;
                    continue;
                }
                break;
            }
            ++i;
        }
        return statement.substr(0, i + 1);
    }

    // The driver keeps the compiled program of a prepared statement only
    // for what it takes to be a query, and a WITH clause is one: with the
    // clause the batch INSERT is compiled once per table, not at every
    // execution, which nearly halves the time of a large table. The unused
    // common table expression changes nothing the INSERT does. Where it is
    // refused (an SQLite without WITH), the plain statement still works.
    std::unique_ptr<OdbcBackend::Prepared> prepareInsert(const std::string& head, std::size_t width,
                                                         std::size_t rows) {
        const std::string sql = multiRowInsert(head, width, rows);
        try {
            return backend_->prepare("WITH quellbrook_unused AS (SELECT 1) " + sql);
        } catch (const DbError&) {
            return backend_->prepare(sql);
        }
    }

    // INSERT INTO "name" VALUES(?,?,...),(?,?,...)...
    static std::string multiRowInsert(const std::string& head, std::size_t width, std::size_t rows) {
        std::string sql = head + " VALUES";
        for (std::size_t r = 0; r < rows; ++r) {
            sql += r ? ",(" : "(";
            for (std::size_t n = 0; n < width; ++n) sql += n ? ",?" : "?";
            sql += ')';
        }
        return sql;
    }

    static constexpr const char* kNotExecuted =
        "SQLException: not executed: an earlier failure rolled back the transaction of this table, and with it "
        "every statement of the table before it.";
    static constexpr std::size_t kQueuedBatches = 4;
    static constexpr std::size_t kBatchRows = 256;
    static constexpr std::size_t kMaxParameters = 32766;

    const Options& options_;
    CliInteraction& ui_;
    std::unique_ptr<ListViewModel> statements_;
    std::unique_ptr<ListViewModel> datatypes_;
    QStringList list1_, list2_;
    std::string currentTable_;
    bool showProgress_;
    OdbcBackend* backend_ = nullptr;
    std::unique_ptr<OdbcBackend::Prepared> batchInsert_;
    std::string batchHead_;
    std::size_t batchWidth_ = 0;
    std::size_t batchCapacity_ = 1;
    std::size_t batchRows_ = 0;
    std::vector<std::optional<std::string>> batch_;
    bool inTransaction_ = false;
    // Shared with the writer thread.
    std::atomic<bool> transactionLost_ = false;
    std::atomic<long long> pendingRows_ = 0;
    std::atomic<int> pendingTables_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> queue_;
    std::vector<DbError> failures_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread writer_;
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
    std::cout << "Tables: " << host.tables << ", rows: " << host.rows << ", failures: " << ui.failures << std::endl;
    return ui.failures == 0 ? 0 : 1;
}

}  // namespace qb::cli
