#pragma once
// The file --sql writes: a regular file (or a name still free) is written
// under a temporary name beside it and renamed when complete, so the name
// never holds half a script; anything else (standard output for "-", a
// device, a FIFO, a socket) is written to as it is, in order, as the
// statements come.

#include <QByteArray>
#include <QString>

namespace qb::cli {

class ScriptFile {
public:
    ScriptFile() = default;
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    ~ScriptFile();

    // False with error() set when the path cannot be written.
    bool open(const QString& path);
    // False from the first write that fails on; error() names its cause.
    bool write(const QByteArray& bytes);
    // Everything written reaches the path: the rename, or the close of a
    // stream. False with error() set otherwise.
    bool commit();
    // Removes the temporary file; a stream keeps what it was sent.
    void discard();

    bool toStandardOutput() const { return standardOutput_; }
    bool streamed() const { return tempPath_.isEmpty(); }
    const QString& error() const { return error_; }

private:
    bool fail(int error);
    bool openStream(const QByteArray& path, bool socket);
    bool openTemporary(const QByteArray& path, bool exists, unsigned mode);
    void closeFd();

    QByteArray path_;
    QByteArray tempPath_;
    int fd_ = -1;
    bool standardOutput_ = false;
    QString error_;
};

// One statement as a line of the script, ended by ";". A carriage return
// inside a text value is written as char(13): the sqlite3 shell drops a
// carriage return before a line's end, so the value would lose it.
QByteArray scriptLine(const QString& statement);

}  // namespace qb::cli
