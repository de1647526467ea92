// The program killed in the middle of a conversion. What it had executed
// stays and the file is sound: in direct mode every row up to the kill, in
// the fast mode every table committed before it and nothing of the table
// it was working on.

#include "fault_support.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace qb::test {
namespace {

class Killed : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ensureCoreApplication();
    }

    // Starts the program and kills it once `ready` says so (polled every
    // few milliseconds). False when the program ended before that.
    bool startAndKill(const QStringList& arguments, const std::function<bool()>& ready) {
        QProcess p;
        prepareProcess(p, {});
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(QStringLiteral(QB_CONVERT_EXE), arguments);
        if (!p.waitForStarted(10000)) return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        bool killed = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (p.state() == QProcess::NotRunning || p.waitForFinished(0)) break;
            if (ready()) {
                ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
                killed = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!killed && p.state() != QProcess::NotRunning) p.kill();
        p.waitForFinished(10000);
        return killed && p.exitStatus() == QProcess::CrashExit;
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
};

TEST_F(Killed, DirectConversionKeepsEveryRowBeforeTheKill) {
    const QString target = path(QStringLiteral("direct.db"));
    long long seen = 0;
    const bool killed = startAndKill({QStringLiteral("--limit"), QStringLiteral("20000"), fixture("big.mdb"), target}, [&] {
        // Another reader, as any program may open the file meanwhile.
        try {
            if (!QFileInfo::exists(target)) return false;
            seen = SqliteReader(target).rowCount("Ledger");
        } catch (const DbError&) {
            return false;  // not created yet, or busy
        }
        return seen >= 50;
    });
    ASSERT_TRUE(killed) << "the conversion ended before it could be killed";
    // Killed with its statements committed to the log, not yet the file.
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("-wal")));

    EXPECT_EQ(integrityOf(target), "ok");
    SqliteReader db(target);
    EXPECT_EQ(db.rowCount("Small"), 10);
    const long long kept = db.rowCount("Ledger");
    EXPECT_GE(kept, seen);
    EXPECT_LT(kept, 20000);
    // A prefix of the source, in its order, and the same rows a conversion
    // of that many rows gives.
    EXPECT_EQ(db.scalar("SELECT count(*) FROM Ledger WHERE ID = rowid"), std::to_string(kept));
    const QString reference = path(QStringLiteral("reference.db"));
    const CliResult ref = runConvert({QStringLiteral("--fast"), QStringLiteral("--limit"), QString::number(kept),
                                      fixture("big.mdb"), reference});
    ASSERT_EQ(ref.exitCode, 0) << show(ref);
    EXPECT_EQ(dumpDatabase(target), dumpDatabase(reference));
}

TEST_F(Killed, FastConversionLeavesNoHalfTable) {
    const QString target = path(QStringLiteral("fast.db"));
    // Small is taken first and committed; Ledger's rows go to the file
    // uncommitted once the page cache spills, which makes it grow.
    const bool killed = startAndKill({QStringLiteral("--fast"), fixture("big.mdb"), target},
                                     [&] { return QFileInfo(target).size() > 1024 * 1024; });
    ASSERT_TRUE(killed) << "the conversion ended before it could be killed";
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("-journal"))) << "killed outside a transaction";

    EXPECT_EQ(integrityOf(target), "ok");
    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"Small"});
    EXPECT_EQ(db.rowCount("Small"), 10);
    EXPECT_LT(QFileInfo(target).size(), 64 * 1024) << "the uncommitted pages were not rolled back";
}

}  // namespace
}  // namespace qb::test
