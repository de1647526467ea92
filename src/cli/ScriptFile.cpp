#include "ScriptFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace qb::cli {

ScriptFile::~ScriptFile() { discard(); }

bool ScriptFile::fail(int error) {
    if (error_.isEmpty()) error_ = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

bool ScriptFile::open(const QString& path) {
    if (path == QStringLiteral("-")) {
        standardOutput_ = true;
        fd_ = STDOUT_FILENO;
        return true;
    }
    path_ = QFile::encodeName(path);
    struct stat st {};
    if (::stat(path_.constData(), &st) != 0) {
        if (errno != ENOENT) return fail(errno);
        return openTemporary(path_, false, 0);
    }
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (S_ISREG(st.st_mode)) {
        // Written beside the file the name leads to, so that a link keeps
        // pointing at the new script.
        const QByteArray target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
        return openTemporary(target.isEmpty() ? path_ : target, true, st.st_mode & 07777);
    }
    return openStream(path_, S_ISSOCK(st.st_mode));
}

bool ScriptFile::openStream(const QByteArray& path, bool socket) {
    if (!socket) {
        fd_ = ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        return fd_ >= 0 || fail(errno);
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) return fail(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return fail(errno);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        closeFd();
        return fail(error);
    }
    return true;
}

bool ScriptFile::openTemporary(const QByteArray& path, bool exists, unsigned mode) {
    QByteArray name = path + ".XXXXXX";
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) return fail(errno);
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    tempPath_ = name;
    path_ = path;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd_, mode) != 0) {
        const int error = errno;
        discard();
        return fail(error);
    }
    return true;
}

bool ScriptFile::write(const QByteArray& bytes) {
    if (fd_ < 0 || !error_.isEmpty()) return false;
    const char* p = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ScriptFile::commit() {
    if (!error_.isEmpty() || fd_ < 0) return false;
    if (standardOutput_) {
        fd_ = -1;
        return true;
    }
    // A full disk can show only now, when the data reaches it.
    if (!streamed() && ::fsync(fd_) != 0) return fail(errno);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) return fail(errno);
    if (streamed()) return true;
    if (::rename(tempPath_.constData(), path_.constData()) != 0) return fail(errno);
    tempPath_.clear();
    return true;
}

void ScriptFile::discard() {
    closeFd();
    if (!tempPath_.isEmpty()) ::unlink(tempPath_.constData());
    tempPath_.clear();
}

void ScriptFile::closeFd() {
    if (fd_ >= 0 && !standardOutput_) ::close(fd_);
    fd_ = -1;
}

QByteArray scriptLine(const QString& statement) {
    const QByteArray text = statement.toUtf8();
    QByteArray line;
    line.reserve(text.size() + 2);
    char quote = 0;  // the quote that opened the current name or value
    for (const char c : text) {
        if (quote == 0) {
            if (c == '\'' || c == '"' || c == '`') quote = c;
            else if (c == '[') quote = ']';
        } else if (c == quote) {
            // A doubled quote closes and opens again: same state after both.
            quote = 0;
        } else if (c == '\r' && quote == '\'') {
            line += "'||char(13)||'";
            continue;
        }
        line += c;
    }
    line += line.endsWith(';') ? "\n" : ";\n";
    return line;
}

}  // namespace qb::cli
