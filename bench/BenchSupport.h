#pragma once
// What the window benchmarks share: message boxes answered at once (Yes to
// every question) and printed instead of shown, no file dialogs, and
// screenshots of the X display they run on.

#include "shell/FileChooser.h"
#include "shell/GuiInteraction.h"

#include <QApplication>
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
