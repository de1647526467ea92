#pragma once
// Runs qb_odbc_probe in an environment of the test's choosing and reads
// back what it printed: one item per line, "TAG base64-text" for texts.

#include "CoreApplication.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace qb::test {

struct ProbeOutput {
    bool finished = false;  // within the time limit, without a crash
    int exitCode = -1;
    QString text;    // all of stdout
    QString errors;  // all of stderr
    QStringList lines;

    // The decoded texts of the lines tagged `tag`, in order.
    QStringList values(const QString& tag) const {
        QStringList out;
        for (const QString& line : lines)
            if (line.startsWith(tag + ' '))
                out << QString::fromUtf8(QByteArray::fromBase64(line.mid(tag.size() + 1).toLatin1()));
        return out;
    }
};

inline ProbeOutput runProbe(const QStringList& arguments, const QProcessEnvironment& environment) {
    ensureCoreApplication();
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.start(QStringLiteral(QB_ODBC_PROBE), arguments);
    ProbeOutput out;
    if (!probe.waitForFinished(30000)) {
        probe.kill();
        probe.waitForFinished();
        return out;
    }
    out.finished = probe.exitStatus() == QProcess::NormalExit;
    if (out.finished) out.exitCode = probe.exitCode();
    out.text = QString::fromUtf8(probe.readAllStandardOutput());
    out.errors = QString::fromUtf8(probe.readAllStandardError());
    out.lines = out.text.split('\n', Qt::SkipEmptyParts);
    return out;
}

}  // namespace qb::test
