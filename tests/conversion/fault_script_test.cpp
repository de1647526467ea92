// The --sql script where it is not a plain file, or where writing it
// fails: a FIFO, a socket and standard output are written to as they are,
// a failed write is a failure that names its cause, and the script that
// the sqlite3 shell runs gives the same file as direct mode.

#include "fault_support.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace qb::test {
namespace {

QByteArray readAllFrom(int fd) {
    QByteArray all;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) all.append(buffer, n);
    return all;
}

bool isKind(const QString& path, mode_t kind) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

class ScriptTarget : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// A FIFO and a socket stay what they are; their readers get the script as
// it is written, or, when the reader has gone, the run fails. Standard
// output takes the script and leaves the summary to standard error. The
// SQLite file is never created for a script.
TEST_F(ScriptTarget, StreamsAreWrittenNotReplaced) {
    const QString db = path(QStringLiteral("never.db"));
    const QString fifo = path(QStringLiteral("p.sql"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Held open for both ends until the program is done, so that the reader
    // neither waits for a writer that never comes nor ends before it.
    const int keeper = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
    ASSERT_GE(keeper, 0);
    auto fromFifo = std::async(std::launch::async, [&] {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY);
        QByteArray all = fd >= 0 ? readAllFrom(fd) : QByteArray();
        if (fd >= 0) ::close(fd);
        return all;
    });
    const CliResult toFifo = runConvert({QStringLiteral("--sql"), fifo, fixture("sample.mdb"), db});
    ::close(keeper);
    const QByteArray fifoScript = fromFifo.get();
    EXPECT_EQ(toFifo.exitCode, 0) << show(toFifo);
    EXPECT_TRUE(isKind(fifo, S_IFIFO));
    EXPECT_TRUE(fifoScript.startsWith("CREATE TABLE ")) << fifoScript.left(200).toStdString();
    EXPECT_EQ(fifoScript.count("INSERT INTO "), 30 + 18 + 12);

    // A socket whose reader takes nothing and goes away.
    const QString socketPath = path(QStringLiteral("s.sql"));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    auto gone = std::async(std::launch::async, [&] {
        pollfd waiting{listener, POLLIN, 0};
        if (::poll(&waiting, 1, 20000) != 1) return;
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd >= 0) ::close(fd);
    });
    const CliResult toSocket = runConvert({QStringLiteral("--sql"), socketPath, fixture("big.mdb"), db});
    gone.get();
    ::close(listener);
    EXPECT_EQ(toSocket.exitCode, 1) << show(toSocket);
    EXPECT_TRUE(toSocket.err.contains(QStringLiteral("Cannot write ") + socketPath + QStringLiteral(": "))) << show(toSocket);
    EXPECT_TRUE(isKind(socketPath, S_IFSOCK));

    const CliResult toOut = runConvert({QStringLiteral("--sql"), QStringLiteral("-"), fixture("sample.mdb"), db});
    EXPECT_EQ(toOut.exitCode, 0) << show(toOut);
    EXPECT_EQ(toOut.out.toUtf8(), fifoScript);
    EXPECT_TRUE(toOut.err.contains(QStringLiteral("Tables: 3, rows: 60, failures: 0"))) << show(toOut);
    EXPECT_FALSE(QFileInfo::exists(db));
}

// What the user is told when something is wrong: the cause of a failed
// write and no rows claimed for it, SQLite's path limit, an unknown short
// option, a closed standard output, and a table without a column to write,
// which fails in the script as it fails in direct mode.
TEST_F(ScriptTarget, FailuresSayWhatWentWrong) {
    const QString db = path(QStringLiteral("t.db"));
    const CliResult full = runConvert({QStringLiteral("--sql"), path(QStringLiteral("big.sql")), fixture("big.mdb"), db},
                                      [] {
                                          if (!limitFileSize(64 * 1024)) ::_exit(120);
                                      });
    EXPECT_EQ(full.exitCode, 1) << show(full);
    EXPECT_TRUE(full.err.contains(QStringLiteral(": File too large"))) << show(full);
    EXPECT_FALSE(full.out.contains(QStringLiteral("written to the script"))) << show(full);
    EXPECT_TRUE(full.out.contains(QStringLiteral("Tables: 0, rows: 0, failures: "))) << show(full);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << dir.path().toStdString();

    QString deep = dir.path();
    while (deep.size() < 600) deep += QStringLiteral("/folder-of-a-long-path");
    ASSERT_TRUE(QDir().mkpath(deep));
    const CliResult longPath = runConvert({fixture("sample.mdb"), deep + QStringLiteral("/t.db")});
    EXPECT_EQ(longPath.exitCode, 2) << show(longPath);
    EXPECT_TRUE(longPath.err.contains(QStringLiteral("SQLite opens no file whose path is longer than 512 bytes")))
        << show(longPath);

    const CliResult shortOption = runConvert({QStringLiteral("-k"), fixture("sample.mdb"), db});
    EXPECT_EQ(shortOption.exitCode, 2) << show(shortOption);
    EXPECT_TRUE(shortOption.err.contains(QStringLiteral("unknown option -k"))) << show(shortOption);

    const CliResult closedOut = runConvert({fixture("sample.mdb"), db}, [] { ::close(STDOUT_FILENO); });
    EXPECT_EQ(closedOut.exitCode, 2) << show(closedOut);
    EXPECT_TRUE(closedOut.err.contains(QStringLiteral("standard output is closed"))) << show(closedOut);
    EXPECT_FALSE(QFileInfo::exists(db));

    const QString script = path(QStringLiteral("edge.sql"));
    const CliResult direct = runConvert({fixture("edge.mdb"), db});
    const CliResult scripted = runConvert({QStringLiteral("--sql"), script, fixture("edge.mdb"), path("unused.db")});
    EXPECT_EQ(direct.exitCode, 1) << show(direct);
    EXPECT_EQ(scripted.exitCode, 1) << show(scripted);
    EXPECT_TRUE(direct.out.contains(QStringLiteral("OnlyOle: failed"))) << show(direct);
    EXPECT_TRUE(scripted.out.contains(QStringLiteral("OnlyOle: failed"))) << show(scripted);
    QFile written(script);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_FALSE(written.readAll().contains("\"OnlyOle\""));
}

QByteArray runShell(const QStringList& arguments, const QString& input = QString()) {
    QProcess shell;
    if (!input.isEmpty()) shell.setStandardInputFile(input);
    shell.start(QStringLiteral("sqlite3"), arguments);
    if (!shell.waitForFinished(60000) || shell.exitCode() != 0)
        ADD_FAILURE() << "sqlite3 " << arguments.join(' ').toStdString() << ": " << shell.readAllStandardError().toStdString();
    return shell.readAllStandardOutput();
}

// The sqlite3 shell drops a carriage return before a line's end; the
// script keeps every one of them all the same.
TEST_F(ScriptTarget, TheShellRunsTheScriptToTheSameFile) {
    const QString direct = path(QStringLiteral("direct.db")), viaShell = path(QStringLiteral("shell.db"));
    const QString script = path(QStringLiteral("types.sql"));
    ASSERT_EQ(runConvert({fixture("types.mdb"), direct}).exitCode, 0);
    ASSERT_EQ(runConvert({QStringLiteral("--sql"), script, fixture("types.mdb"), viaShell}).exitCode, 0);
    runShell({QStringLiteral("-bail"), viaShell}, script);
    const QByteArray expected = runShell({direct, QStringLiteral(".dump")});
    ASSERT_TRUE(expected.contains("char(13)")) << "the fixture has no carriage return to keep";
    EXPECT_EQ(runShell({viaShell, QStringLiteral(".dump")}).toStdString(), expected.toStdString());
}

}  // namespace
}  // namespace qb::test
