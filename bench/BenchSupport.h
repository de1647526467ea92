#pragma once
// What the window benchmarks share: message boxes answered at once (Yes to
// every question) and printed instead of shown, no file dialogs, and
// screenshots of the X display they run on.

#include "shell/FileChooser.h"
#include "shell/Form1.h"
#include "shell/GuiInteraction.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QProcess>
#include <QTest>

#include <cstdio>

namespace qb::bench {

struct QuietInteraction : GuiInteraction {
    // With `everything` false only error reports are printed.
    explicit QuietInteraction(bool everything) : everything_(everything) {}
    MsgResult message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon) override {
        if (title == QStringLiteral("Application Error")) std::printf("report: %s\n", qPrintable(text));
        else if (everything_) std::printf("message: %s\n", qPrintable(text));
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
    bool openUrl(const QString&) override { return false; }

private:
    bool everything_;
};

struct NoFiles : FileChooser {
    QString openFileName(const QString&, const QString&) override { return {}; }
};

// An empty file in `dir` as the SQLite target (the window does not create one).
inline QString emptyTarget(const QTemporaryDir& dir) {
    const QString target = dir.path() + QStringLiteral("/target.db3");
    if (!QFile(target).open(QIODevice::WriteOnly)) std::fprintf(stderr, "cannot create %s\n", qPrintable(target));
    return target;
}

// The main window's fields for a converting run with the SQL Preview, per
// file or per table.
inline void fillPreviewRun(Form1& form, const QString& access, const QString& target, bool perTable) {
    form.findChild<QLineEdit*>(QStringLiteral("Text5"))->setText(access);
    form.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(target);
    form.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
    form.findChild<QRadioButton*>(perTable ? QStringLiteral("Option2") : QStringLiteral("Option1"))->setChecked(true);
}

// Saves the whole screen as DIR/NAME.png (ImageMagick's `import`) once the
// windows have settled.
inline void shoot(const QString& dir, const QString& name) {
    QApplication::processEvents();
    QTest::qWait(400);
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("shot %s\n", qPrintable(file));
}

}  // namespace qb::bench
