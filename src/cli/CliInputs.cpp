#include "CliInputs.h"

#include "conversion/TargetCheck.h"

#include "dbaccess/Access.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "core/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <iostream>
#include <string>
#include <sys/stat.h>

namespace qb::cli {

void printError(const QString& text) { std::cerr << "quellbrook-convert: " << text.toStdString() << std::endl; }

void refuseTarget(const QString& path) {
    printError(sqliteTargetRefusal(path).text);
}

// Opens the inputs once before the run, so that a file that cannot be read
// is named with its reason and ends the program before anything is written.
// `created` tells whether the SQLite file was made here.
bool checkInputs(const Options& options, bool& created) {
    created = false;
    const SourceFields form = options.form();
    try {
        auto connection = Connection::create();
        connection->open(AccessConnectionString(QString(), QString(), form).toStdString());
        connection->close();
    } catch (const DbError& e) {
        if (e.number() == errnum::ProviderNotFound) {
            refuseTarget(options.sqliteFile);
            return false;
        }
        printError(options.accessFile + QStringLiteral(": ") + QString::fromStdString(e.description()));
        return false;
    }
    try {
        // A path the connection string refuses must not leave a file behind.
        SQLiteConnectionString(options.sqliteFile);
        if (!QFileInfo::exists(options.sqliteFile) && !QFileInfo(options.sqliteFile).isSymLink()) {
            QFile create(options.sqliteFile);
            if (!create.open(QIODevice::WriteOnly)) throw DbError(errnum::Generic, create.errorString().toStdString());
            created = true;
        }
    } catch (const DbError& e) {
        printError(options.sqliteFile + QStringLiteral(": ") + QString::fromStdString(e.description()));
        return false;
    }
    // The test the run makes before anything else.
    if (!TestSQLiteDatabase(options.sqliteFile)) {
        refuseTarget(options.sqliteFile);
        if (created) QFile::remove(options.sqliteFile);
        created = false;
        return false;
    }
    return true;
}

// The file a path names, whether it exists yet or not: the device and inode
// of the file, or of its folder together with the name of a file still to
// be made. Links and other spellings of one file give the same key.
struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    QString name;
    bool operator==(const FileKey&) const = default;
};

namespace {

std::optional<FileKey> fileKey(QString path) {
    for (int links = 0; links < 40; ++links) {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0) return FileKey{st.st_dev, st.st_ino, {}};
        const QFileInfo info(path);
        if (info.isSymLink()) {
            // A link to a file not made yet: writing through it makes that file.
            path = info.symLinkTarget();
            continue;
        }
        if (::stat(QFile::encodeName(info.absolutePath()).constData(), &st) == 0)
            return FileKey{st.st_dev, st.st_ino, info.fileName()};
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

bool sameFile(const QString& a, const QString& b) {
    const auto ka = fileKey(a);
    return ka && ka == fileKey(b);
}

// The first line of a file, or of standard input for "-", without its line
// break.
std::optional<QString> readPasswordFile(const QString& name) {
    QByteArray line;
    if (name == QStringLiteral("-")) {
        std::string text;
        if (!std::getline(std::cin, text) && text.empty() && !std::cin.eof()) return std::nullopt;
        line = QByteArray::fromStdString(text);
    } else {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read the password file %1: %2").arg(name, file.errorString()));
            return std::nullopt;
        }
        line = file.readLine();
    }
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    return QString::fromUtf8(line);
}

}  // namespace qb::cli
