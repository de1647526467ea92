#pragma once
// What the window benchmarks share: message boxes answered at once (Yes to
// every question) and printed instead of shown, and no file dialogs.

#include "shell/FileChooser.h"
#include "shell/GuiInteraction.h"

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

}  // namespace qb::bench
