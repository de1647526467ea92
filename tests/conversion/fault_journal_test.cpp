// The run's write-ahead log: on while statements execute (the run's own and
// the preview's), the file's journal mode back afterwards with nothing left
// beside it, and where the log cannot be had the run goes on without it.

#include "fault_support.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace qb::test {
namespace {

// Notes, at each INSERT, whether the log file was there.
class JournalWatchingHost : public LimitedHost {
public:
    JournalWatchingHost(const QString& access, const QString& sqlite) : LimitedHost(access, sqlite, 10) {}
    void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) override {
        ConversionHost::execute(state, kind, statement, values);
        if (kind == StatementKind::Insert) logSeen.push_back(QFileInfo::exists(form.sqlitePath + QStringLiteral("-wal")));
    }
    std::vector<bool> logSeen;
};

void expectConvertedAndRestored(const ScriptedHost& host, const QString& target, const std::string& mode) {
    EXPECT_TRUE(reportTexts(host.interaction).isEmpty()) << reportTexts(host.interaction).join('\n').toStdString();
    EXPECT_EQ(host.interaction.texts().last(), QStringLiteral("Done."));
    for (const char* extra : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(QFileInfo::exists(target + QLatin1String(extra))) << extra;
    SqliteReader db(target);
    EXPECT_EQ(db.scalar("PRAGMA journal_mode"), mode);
    EXPECT_EQ(db.rowCount("Small"), 10);
    EXPECT_EQ(db.rowCount("Ledger"), 10);
    EXPECT_EQ(db.scalar("SELECT group_concat(id || ':' || note) FROM Keep"), "1:before");
}

struct ModeCase {
    const char* mode;
    bool preview;  // statements executed from the preview's list instead of by the run
};

class JournalModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(JournalModes, LogDuringTheRunAndTheFileModeAfterIt) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    putMarkerTable(target);
    SqliteReader(target).scalar(std::string("PRAGMA journal_mode=") + GetParam().mode);

    JournalWatchingHost host(fixture("big.mdb"), target);
    RunState state;
    bool logDuringPreview = false;
    if (GetParam().preview) {
        host.preview = host.option1 = true;
        host.onPreview = [&] {
            // As the preview window's "Execute SQL" runs them.
            const StatementRunner run = runnerOn(state);
            for (int n = 1; n <= host.statements->count(); ++n) run(host.statements->text(n));
            logDuringPreview = QFileInfo::exists(target + QStringLiteral("-wal"));
        };
    }
    ConversionRun(host, state).run();

    if (GetParam().preview) EXPECT_TRUE(logDuringPreview);
    else EXPECT_EQ(host.logSeen, std::vector<bool>(20, true));
    expectConvertedAndRestored(host, target, GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, JournalModes,
                         // Only WAL is a mode of the file; the rollback modes
                         // belong to a connection and a new one starts in delete.
                         ::testing::Values(ModeCase{"delete", false}, ModeCase{"delete", true},
                                           ModeCase{"wal", false}),
                         [](const auto& info) { return std::string(info.param.mode) + (info.param.preview ? "_preview" : ""); });

// A preview that is only looked at executes nothing, and the file is not
// touched, not even to switch its journal mode.
TEST(JournalModes, PreviewWithoutExecutionLeavesTheFileAsItWas) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    putMarkerTable(target);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    JournalWatchingHost host(fixture("big.mdb"), target);
    host.preview = host.option1 = true;
    RunState state;
    ConversionRun(host, state).run();

    ASSERT_EQ(host.previews.size(), 1u);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("-wal")));
}

// Another connection reading when the run tries the switch to the log:
// it cannot be had, and the run converts as it would without it once the
// reader lets go.
TEST(JournalFallback, ReaderAtTheStartLeavesTheRunWithoutTheLog) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    putMarkerTable(target);

    SqliteReader reader(target);
    reader.execute("BEGIN");
    ASSERT_EQ(reader.scalar("SELECT count(*) FROM Keep"), "1");

    struct Host : JournalWatchingHost {
        using JournalWatchingHost::JournalWatchingHost;
        void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) override {
            if (reader) {
                ASSERT_TRUE(state.enterLog);
                std::exchange(state.enterLog, nullptr)();
                reader->execute("COMMIT");
                reader = nullptr;
            }
            JournalWatchingHost::execute(state, kind, statement, values);
        }
        SqliteReader* reader = nullptr;
    } host(fixture("big.mdb"), target);
    host.reader = &reader;
    RunState state;
    ConversionRun(host, state).run();

    EXPECT_EQ(host.reader, nullptr);
    EXPECT_EQ(host.logSeen, std::vector<bool>(20, false));
    expectConvertedAndRestored(host, target, "delete");
}

}  // namespace
}  // namespace qb::test
