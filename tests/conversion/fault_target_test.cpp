// A target that refuses writes: read-only (file or folder), locked by
// another process, or full. Every refused statement is reported, the run
// neither hangs nor stops early, and nothing that was refused is in the file.

#include "fault_support.h"
#include "preview/StatementExecution.h"

#include "conversion/ConversionRun.h"

#include <QTemporaryDir>

namespace qb::test {
namespace {

int countContaining(const QStringList& reports, const QString& text) {
    int n = 0;
    for (const QString& r : reports)
        if (r.contains(text)) ++n;
    return n;
}

// ---------------------------------------------------------------- read-only

// Root writes through file modes, so these runs happen as "nobody". The
// source and the program are copied where nobody can reach them, wherever
// the build and the fixtures live.
class ReadOnlyTarget : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("w")));
        ASSERT_EQ(::chmod(work().toLocal8Bit().constData(), 0777), 0);
        source = dir.path() + QStringLiteral("/sample.mdb");
        program = dir.path() + QStringLiteral("/quellbrook-convert");
        ASSERT_TRUE(QFile::copy(fixture("sample.mdb"), source));
        ASSERT_TRUE(QFile::copy(QStringLiteral(QB_CONVERT_EXE), program));
        ASSERT_EQ(::chmod(source.toLocal8Bit().constData(), 0444), 0);
        ASSERT_EQ(::chmod(program.toLocal8Bit().constData(), 0755), 0);
    }
    QString work() const { return dir.path() + QStringLiteral("/w"); }

    // A target holding Keep and an old Customers table.
    QString makeTarget(const QString& path) {
        makeEmptyDatabase(QFileInfo(path).absolutePath(), QFileInfo(path).fileName());
        putMarkerTable(path);
        SqliteReader(path).execute("CREATE TABLE Customers(old TEXT)");
        return path;
    }

    // The run as nobody; no value when root cannot be given up here.
    std::optional<ScriptedInteraction> runAsNobody(const QString& target) {
        const ChildResult r = runForked([] { return becomeNobody(); },
                                        [&] {
                                            ScriptedHost host(source, target);
                                            host.interaction.answers = {MsgResult::Yes};
                                            RunState state;
                                            ConversionRun(host, state).run();
                                            return messagesAsJson(host.interaction);
                                        });
        if (r.finished && WIFEXITED(r.status) && WEXITSTATUS(r.status) == 3) return std::nullopt;
        EXPECT_TRUE(r.exitedCleanly()) << "status " << r.status << " after " << r.seconds << " s: " << r.output;
        EXPECT_LT(r.seconds, 20);
        return messagesFromJson(r.output);
    }

    CliResult convertAsNobody(const QStringList& arguments) {
        return runConvert(arguments, [] {
            if (!becomeNobody()) ::_exit(120);
        }, 60000, program);
    }

    void expectRefusedAndUnchanged(const ScriptedInteraction& ui, const QString& target, const std::string& before) {
        // DROP of Customers, then one CREATE per table; the rows of a table
        // whose CREATE failed are not attempted.
        EXPECT_EQ(sortedLines(reportedLines(ui)), (std::vector<int>{176, 306, 306, 306}));
        const QStringList reports = reportTexts(ui);
        EXPECT_EQ(countContaining(reports, QStringLiteral("attempt to write a readonly database")), 3)
            << reports.join(QStringLiteral("\n")).toStdString();
        for (const QString& r : reports) EXPECT_TRUE(r.startsWith(QStringLiteral("SQLException: "))) << r.toStdString();
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back().text, QStringLiteral("Done."));
        EXPECT_EQ(dumpDatabase(target), before);
    }

    QTemporaryDir dir;
    QString source;
    QString program;
};

TEST_F(ReadOnlyTarget, FileWithoutWritePermission) {
    const QString target = makeTarget(work() + QStringLiteral("/ro.db"));
    ASSERT_EQ(::chmod(target.toLocal8Bit().constData(), 0444), 0);
    const std::string before = dumpDatabase(target);

    const auto ui = runAsNobody(target);
    if (!ui) GTEST_SKIP() << "cannot change to the user nobody here, so a read-only file cannot be tested as non-root";
    expectRefusedAndUnchanged(*ui, target, before);

    for (const QStringList& extra : {QStringList{}, QStringList{QStringLiteral("--fast")}}) {
        const CliResult r = convertAsNobody(extra + QStringList{QStringLiteral("--overwrite"), QStringLiteral("yes"),
                                                                source, target});
        EXPECT_EQ(r.exitCode, 1) << show(r);
        EXPECT_EQ(r.out, QStringLiteral("Tables: 0, rows: 0, failures: 4\n")) << show(r);
        EXPECT_EQ(r.err.count(QStringLiteral("attempt to write a readonly database")), 3) << show(r);
        EXPECT_EQ(dumpDatabase(target), before);
    }
    EXPECT_EQ(entriesOf(work()), QStringList{QStringLiteral("ro.db")});
}

// The SQL Preview's "Execute SQL" on the same read-only target: the first
// statement is rejected, the execution stops at it, and nothing changes.
TEST_F(ReadOnlyTarget, PreviewExecutionStopsAtTheFirstRejectedStatement) {
    const QString target = makeTarget(work() + QStringLiteral("/ro.db"));
    ASSERT_EQ(::chmod(target.toLocal8Bit().constData(), 0444), 0);
    const std::string before = dumpDatabase(target);

    const ChildResult r = runForked([] { return becomeNobody(); },
                                    [&] {
                                        ScriptedHost host(source, target);
                                        host.interaction.answers = {MsgResult::Yes};
                                        host.preview = true;
                                        host.option1 = true;
                                        host.option2 = false;
                                        RunState state;
                                        std::string outcome;
                                        host.onPreview = [&] {
                                            SilentDisplay display;
                                            int errorLine = 0;
                                            for (int pass = 0; pass < 2; ++pass) {
                                                const ExecuteResult result =
                                                    ExecuteSQL(host.statementList(), runnerOn(state), state,
                                                               errorLine, display, host.interaction);
                                                outcome += std::to_string(static_cast<int>(result)) + " " +
                                                           std::to_string(errorLine) + " " +
                                                           display.error.toStdString() + "\n";
                                            }
                                        };
                                        ConversionRun(host, state).run();
                                        return outcome + messagesAsJson(host.interaction);
                                    });
    if (r.finished && WIFEXITED(r.status) && WEXITSTATUS(r.status) == 3)
        GTEST_SKIP() << "cannot change to the user nobody here, so a read-only file cannot be tested as non-root";
    ASSERT_TRUE(r.exitedCleanly()) << r.output;
    // Both passes stop at line 1, the DROP TABLE of the old Customers.
    const std::string stopped = std::to_string(static_cast<int>(ExecuteResult::Stopped)) + " 1 SQLException: ";
    EXPECT_EQ(r.output.find(stopped), 0u) << r.output;
    EXPECT_NE(r.output.find("\n" + stopped), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("attempt to write a readonly database"), std::string::npos) << r.output;
    EXPECT_EQ(dumpDatabase(target), before);
}

TEST_F(ReadOnlyTarget, WritableFileInReadOnlyFolder) {
    const QString folder = work() + QStringLiteral("/ro");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString target = makeTarget(folder + QStringLiteral("/t.db"));
    ASSERT_EQ(::chown(target.toLocal8Bit().constData(), kNobody, kNoGroup), 0);
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0555), 0);
    const std::string before = dumpDatabase(target);

    // The file itself may be written, but no journal can be made beside it.
    const auto ui = runAsNobody(target);
    if (!ui) GTEST_SKIP() << "cannot change to the user nobody here, so a read-only folder cannot be tested as non-root";
    expectRefusedAndUnchanged(*ui, target, before);

    const CliResult r = convertAsNobody({QStringLiteral("--overwrite"), QStringLiteral("yes"), source, target});
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_EQ(r.out, QStringLiteral("Tables: 0, rows: 0, failures: 4\n")) << show(r);
    EXPECT_EQ(dumpDatabase(target), before);
    EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("t.db")});
    ::chmod(folder.toLocal8Bit().constData(), 0755);
}

// ---------------------------------------------------------------- locked

// Another process that takes a write lock on the file when told to and
// holds it until released.
class LockHolder {
public:
    explicit LockHolder(const QString& path) {
        if (::pipe(command_) != 0 || ::pipe(answer_) != 0) return;
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(command_[1]);
            ::close(answer_[0]);
            char c = 0;
            if (::read(command_[0], &c, 1) != 1) ::_exit(0);
            std::unique_ptr<Connection> connection;  // the lock lasts as long as it
            try {
                connection = Connection::create();
                connection->open(SQLiteConnectionString(path).toStdString());
                connection->execute("BEGIN IMMEDIATE");
                connection->execute("INSERT INTO Keep VALUES(2, 'uncommitted')");
                c = 'H';
            } catch (...) {
                c = 'E';
            }
            if (::write(answer_[1], &c, 1) != 1) ::_exit(1);
            while (::read(command_[0], &c, 1) > 0) {
            }
            ::_exit(0);  // ends the transaction without committing it
        }
        ::close(command_[0]);
        ::close(answer_[1]);
    }
    ~LockHolder() { release(); }

    // Returns once the lock is held.
    bool lock() {
        char c = 'L';
        if (pid_ <= 0 || ::write(command_[1], &c, 1) != 1) return false;
        pollfd p{answer_[0], POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1 || ::read(answer_[0], &c, 1) != 1) return false;
        return c == 'H';
    }
    void release() {
        if (pid_ <= 0) return;
        ::close(command_[1]);
        ::close(answer_[0]);
        int status = 0;
        pollfd none{};
        for (int i = 0; i < 500 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::poll(&none, 0, 10);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

private:
    int command_[2] = {-1, -1};
    int answer_[2] = {-1, -1};
    pid_t pid_ = -1;
};

// Times every statement the run executes, and takes the lock once the
// table has been created.
class LockingHost : public LimitedHost {
public:
    LockingHost(const QString& access, const QString& sqlite, LockHolder& holder)
        : LimitedHost(access, sqlite, 2), holder_(holder) {}
    void execute(RunState& state, StatementKind kind, const std::string& statement,
                 ValueTexts* values) override {
        const auto start = std::chrono::steady_clock::now();
        try {
            ConversionHost::execute(state, kind, statement, values);
        } catch (...) {
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            throw;
        }
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (kind == StatementKind::Create) locked = holder_.lock();
    }
    std::vector<double> seconds;
    bool locked = false;

private:
    LockHolder& holder_;
};

TEST(LockedTarget, EachStatementWaitsTheBusyTimeoutThenIsReported) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    putMarkerTable(target);

    LockHolder holder(target);
    LockingHost host(fixture("public/oldDatesV2007.accdb"), target, holder);
    RunState state;
    const auto start = std::chrono::steady_clock::now();
    ConversionRun(host, state).run();
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    holder.release();

    ASSERT_TRUE(host.locked) << "the other process could not take the lock";
    EXPECT_EQ(reportedLines(host.interaction), (std::vector<int>{364, 364}));
    for (const QString& r : reportTexts(host.interaction))
        EXPECT_TRUE(r.startsWith(QStringLiteral("SQLException: [SQLite]database is locked"))) << r.toStdString();
    EXPECT_EQ(host.interaction.texts().last(), QStringLiteral("Done."));
    // CREATE TABLE at once, then each INSERT after the busy time-out: the
    // driver waits its 1000 ms about twice per statement before giving up.
    ASSERT_EQ(host.seconds.size(), 3u);
    EXPECT_LT(host.seconds[0], 0.9);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_GE(host.seconds[i], 0.9) << i;
        EXPECT_LT(host.seconds[i], 5.0) << i;
    }
    EXPECT_LT(total, 12.0);

    SqliteReader db(target);
    EXPECT_EQ(db.rowCount("Table1"), 0);
    EXPECT_EQ(db.scalar("SELECT group_concat(id || ':' || note) FROM Keep"), "1:before");
    EXPECT_EQ(db.scalar("PRAGMA integrity_check"), "ok");
}

TEST(LockedTarget, CommandLineReportsTheLockedCreate) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    putMarkerTable(target);
    const std::string before = dumpDatabase(target);
    LockHolder holder(target);
    ASSERT_TRUE(holder.lock());

    const auto start = std::chrono::steady_clock::now();
    const CliResult r = runConvert({fixture("public/oldDatesV2007.accdb"), target}, {}, 20000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    holder.release();

    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_EQ(r.out, QStringLiteral("Tables: 0, rows: 0, failures: 1\n")) << show(r);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("SQLException: [SQLite]database is locked"))) << show(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("at line 306"))) << show(r);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(dumpDatabase(target), before);
}

// ---------------------------------------------------------------- full

// Rows of big.mdb's Ledger in `path` that differ from the reference copy.
long long rowsDifferingFrom(const QString& path, const QString& reference) {
    SqliteReader db(path);
    db.execute("ATTACH DATABASE " + SqliteReader::sqlLiteral(reference.toStdString()) + " AS ref");
    const std::string sql =
        "SELECT count(*) FROM Ledger a LEFT JOIN ref.Ledger b ON a.ID = b.ID WHERE b.ID IS NULL OR NOT ("
        "a.Account IS b.Account AND a.Amount IS b.Amount AND a.Price IS b.Price AND a.Posted IS b.Posted AND "
        "a.Cleared IS b.Cleared AND a.Memo IS b.Memo)";
    const long long n = std::stoll(db.scalar(sql));
    db.execute("DETACH DATABASE ref");
    return n;
}

TEST(FullDisk, DirectRunKeepsEveryAcceptedRowAndReportsTheRest) {
    QTemporaryDir dir;
    const QString reference = dir.path() + QStringLiteral("/reference.db");
    const CliResult ref = runConvert({QStringLiteral("--fast"), QStringLiteral("--limit"), QStringLiteral("1500"),
                                      fixture("big.mdb"), reference});
    ASSERT_EQ(ref.exitCode, 0) << show(ref);

    const QString target = makeEmptyDatabase(dir.path());
    const ChildResult r = runForked([] { return limitFileSize(64 * 1024); },
                                    [&] {
                                        LimitedHost host(fixture("big.mdb"), target, 1500);
                                        RunState state;
                                        ConversionRun(host, state).run();
                                        return messagesAsJson(host.interaction);
                                    });
    ASSERT_TRUE(r.exitedCleanly()) << "status " << r.status << ": " << r.output.substr(0, 500);
    const ScriptedInteraction ui = messagesFromJson(r.output);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, QStringLiteral("Done."));

    const std::vector<int> lines = reportedLines(ui);
    ASSERT_FALSE(lines.empty()) << "the file size limit was never reached";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), 364), static_cast<long>(lines.size()));
    const QStringList reports = reportTexts(ui);
    EXPECT_TRUE(reports[0].startsWith(QStringLiteral("SQLException: [SQLite]disk I/O error")) ||
                reports[0].startsWith(QStringLiteral("SQLException: [SQLite]database or disk is full")))
        << reports[0].toStdString();

    EXPECT_EQ(integrityOf(target), "ok");
    SqliteReader db(target);
    EXPECT_EQ(db.rowCount("Small"), 10);
    const long long kept = db.rowCount("Ledger");
    EXPECT_GT(kept, 0);
    // Each row either arrived whole or was reported; the first rows, taken
    // before the file was full, are all there.
    EXPECT_EQ(kept + static_cast<long long>(lines.size()), 1500);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM Ledger WHERE ID <= 100"), "100");
    EXPECT_EQ(rowsDifferingFrom(target, reference), 0);
}

// In the fast mode a table is one transaction: a full disk while it runs
// (when the page cache spills, or at COMMIT) leaves the tables committed
// before, and no part of this one.
class FullDiskFast : public ::testing::TestWithParam<const char*> {};

TEST_P(FullDiskFast, CommittedTablesStayAndTheFailedOneIsAbsent) {
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/fast.db");
    const CliResult r = runConvert({QStringLiteral("--fast"), QStringLiteral("--limit"), QString::fromLatin1(GetParam()),
                                    fixture("big.mdb"), target},
                                   [] {
                                       if (!limitFileSize(256 * 1024)) ::_exit(120);
                                   });
    EXPECT_EQ(r.exitCode, 1) << show(r);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Tables: 1, rows: 10, failures: "))) << show(r);
    EXPECT_EQ(r.err.count(QStringLiteral("[SQLite]disk I/O error")), 1) << show(r);
    // The statements after the failure are reported, not run outside the
    // table's transaction.
    const int failures = r.out.section(QStringLiteral("failures: "), 1).trimmed().toInt();
    EXPECT_EQ(r.err.count(QStringLiteral("at line ")), failures) << show(r);
    EXPECT_EQ(r.err.count(QStringLiteral("not executed: an earlier failure rolled back")), failures - 1) << show(r);

    EXPECT_EQ(integrityOf(target), "ok");
    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"Small"});
    EXPECT_EQ(db.rowCount("Small"), 10);
}

// 25000 rows outgrow the page cache, so the limit is met in the middle of
// the rows; 5000 rows fit in it and meet the limit at COMMIT.
INSTANTIATE_TEST_SUITE_P(Limits, FullDiskFast, ::testing::Values("25000", "5000"),
                         [](const auto& info) { return std::string("rows_") + info.param; });

}  // namespace
}  // namespace qb::test
