#pragma once
// Running a conversion where something goes wrong around it: in a forked
// child (another user, a file size limit) or as the command-line program
// with a limit applied between fork and exec, always bounded in time.

#include "ConversionTestSupport.h"
#include "ForkedChild.h"
#include "preview/StatementExecution.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qb::test {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// For a child only: gives up root for good. False when that failed.
inline bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNoGroup) == 0 && ::setuid(kNobody) == 0 && ::getuid() == kNobody;
}

// For a child only: writes past `bytes` fail with EFBIG instead of
// killing the process, as on a full disk.
inline bool limitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Runs `prepare` and then `work` in a forked child; the child's result
// comes back through a pipe. A child that does not end within `limit` is
// killed. `prepare` returning false ends the child with status 3, an
// exception from `work` with status 4.
inline ChildResult runForked(const std::function<bool()>& prepare, const std::function<std::string()>& work,
                             std::chrono::seconds limit = std::chrono::seconds(30)) {
    return runForkedChild(
        [&](std::string& out) {
            if (prepare && !prepare()) return 3;
            try {
                out = work();
            } catch (const std::exception& e) {
                out = std::string("exception: ") + e.what();
                return 4;
            }
            return 0;
        },
        limit);
}

// What a run showed, as text that survives the pipe.
inline std::string messagesAsJson(const ScriptedInteraction& ui) {
    QJsonArray all;
    for (const auto& m : ui.messages) all.append(QJsonArray{m.title, m.text});
    return QJsonDocument(all).toJson(QJsonDocument::Compact).toStdString();
}

inline ScriptedInteraction messagesFromJson(const std::string& json) {
    ScriptedInteraction ui;
    for (const auto& v : QJsonDocument::fromJson(QByteArray::fromStdString(json)).array()) {
        const QJsonArray m = v.toArray();
        ui.messages.push_back({m.at(1).toString(), m.at(0).toString(), MsgButtons::Ok,
                               m.at(0).toString() == QStringLiteral("Application Error") ? MsgIcon::Warning
                                                                                          : MsgIcon::None});
    }
    return ui;
}

// A scripted host that stops each table after `limit` rows.
class LimitedHost : public ScriptedHost {
public:
    LimitedHost(const QString& access, const QString& sqlite, long long limit)
        : ScriptedHost(access, sqlite), limit_(limit) {}
    long long rowLimit() const override { return limit_; }

private:
    long long limit_;
};

// The preview window's display for an "Execute SQL" without a window: it
// keeps only the error text.
struct SilentDisplay : ExecutionDisplay {
    void setProgressValue(double) override {}
    void setProgressText(const QString&) override {}
    void setBusy(bool) override {}
    void selectLine(int) override {}
    void scrollToLine(int) override {}
    void setErrorText(const QString& text) override { error = text; }
    QString error;
};

// ---------------------------------------------------------------- files

// A target that already holds something, so that "unchanged" means more
// than "still empty".
inline void putMarkerTable(const QString& path) {
    SqliteReader db(path);
    db.execute("CREATE TABLE Keep(id INTEGER, note TEXT)");
    db.execute("INSERT INTO Keep VALUES(1, 'before')");
}

inline std::string integrityOf(const QString& path) {
    return SqliteReader(path).scalar("PRAGMA integrity_check");
}

inline std::vector<int> sortedLines(std::vector<int> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace qb::test
