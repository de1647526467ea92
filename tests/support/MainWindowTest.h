#pragma once
// The main window under test: message boxes and file dialogs answered from
// a script, settings and application folder of the test's own.

#include "IsolatedShell.h"
#include "ScriptedInteraction.h"
#include "shell/FileChooser.h"
#include "shell/Form1.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <stdexcept>

namespace qb::test {

// Answers open-file dialogs from a queue (cancelled when it is empty;
// "<throw>" makes the dialog fail) and records what each dialog showed.
class ScriptedFileChooser : public FileChooser {
public:
    QString openFileName(const QString& title, const QString& filter) override {
        titles << title;
        filters << filter;
        if (answers.empty()) return QString();
        const QString a = answers.front();
        answers.pop_front();
        if (a == "<throw>") throw std::runtime_error("Dialog failed");
        return a;
    }
    std::deque<QString> answers;
    QStringList titles, filters;
};

class MainWindowTest : public IsolatedShell {
protected:
    // The control of `form` with that object name; a missing one fails the test.
    template <class W>
    W* child(const char* name) {
        W* w = form->findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    ScriptedInteraction ui;
    ScriptedFileChooser files;
    std::unique_ptr<Form1> form;
};

}  // namespace qb::test
