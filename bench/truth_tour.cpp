// Screenshots of what the window says when it will not do what was asked
// (run under xvfb-run; ImageMagick's `import` takes the pictures): Edit Line
// on a line already executed, Find and Replace that left executed lines
// alone, the question before creating a missing SQLite file, the refusal of
// a file whose name starts with a dot, and "Done." with the account of two
// tables that did not arrive whole; the question after a damaged file and
// "Done." after reading it again, salvaging. Real message boxes, answered
// by a timer.
// Usage: truth_tour FIXTURES_DIR SHOT_DIR

#include "MainWindowHost.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "preview/Form2.h"
#include "preview/Form3.h"
#include "preview/PreviewWindows.h"
#include "shell/Form1.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

using namespace qb;

namespace {

QString shotDir;

// Answers every message box as it appears: a text that starts with one of
// `shots` is photographed first; questions get `answer`.
struct MessageAnswers {
    std::vector<std::pair<QString, QString>> shots;  // text start, shot name
    QMessageBox::StandardButton answer = QMessageBox::No;
    QTimer poll;
    bool busy = false;

    MessageAnswers() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || busy) return;
            busy = true;
            QTimer::singleShot(0, [this, box] {
                const QString text = box->text();
                for (const auto& [start, name] : shots)
                    if (text.startsWith(start)) bench::shoot(shotDir, name);
                std::printf("message: %s\n", qPrintable(text));
                QAbstractButton* button = box->button(answer);
                if (!button) button = box->button(QMessageBox::Ok);
                button->click();
                busy = false;
            });
        });
        poll.start(50);
    }
};

void later(std::function<void()> step) { QTimer::singleShot(300, step); }

// Per-table preview of four lines that stops at line 3, then Edit Line on
// line 2 and Find and Replace over all of them.
void previewScenes(GuiInteraction& ui, const QString& dir, MessageAnswers& answers) {
    PreviewWindows windows(ui);
    RunState state;
    state.SQLite_conn = Connection::create();
    state.SQLite_conn->open(SQLiteConnectionString(dir + QStringLiteral("/orders.db3")).toStdString());
    state.SQLite_conn->execute("CREATE TABLE \"Orders\" (\"Paid\" TEXT)");
    const QString row = QStringLiteral("INSERT INTO \"Orders\" VALUES('False')");
    windows.statementList().append(QStringList{row, row, QStringLiteral("INSERT INTO \"Orders\" VALUES('False'"), row});
    answers.shots = {{QStringLiteral("Line 2 has already"), QStringLiteral("edit-line-refused")},
                     {QStringLiteral("Done."), QStringLiteral("find-replace-partial")}};
    QWidget owner;
    QTimer::singleShot(300, [&] {
        Form2* w = windows.preview();
        w->move(0, 0);
        w->pushButton1Click();  // stops at line 3 ("Error found." answered)
        later([&, w] {
            w->listView1()->setCurrentIndex(windows.statementList().index(1, 0));
            w->listView1Click();
            later([&, w] {
                QTimer::singleShot(300, [] {
                    if (auto* f = dynamic_cast<Form3*>(QApplication::activeModalWidget())) {
                        f->text1()->setText(QStringLiteral("'False'"));
                        f->text2()->setText(QStringLiteral("'0'"));
                        f->pushButton2Click();
                    }
                });
                w->pushButton3Click();
                later([w] { w->close(); });
            });
        });
    });
    windows.showPreview(&owner, state);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: truth_tour FIXTURES_DIR SHOT_DIR\n");
        return 2;
    }
    const QString fixtures = QString::fromLocal8Bit(argv[1]);
    shotDir = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir dir;
    GuiInteraction ui;
    MessageAnswers answers;

    previewScenes(ui, dir.path(), answers);

    bench::NoFiles files;
    Form1 form(ui, files);
    PreviewWindows previews(ui);
    MainWindowHost host(form, previews);
    host.install();
    if (!form.formLoad()) return 1;
    form.move(0, 0);
    form.show();
    form.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(false);  // statements run at once
    auto* sqlite = form.findChild<QLineEdit*>(QStringLiteral("Text1"));
    form.findChild<QLineEdit*>(QStringLiteral("Text5"))->setText(fixtures + QStringLiteral("/edge.mdb"));
    auto* start = form.findChild<QPushButton*>(QStringLiteral("PushButton7"));

    // A file that does not exist yet: the question, answered No.
    sqlite->setText(dir.path() + QStringLiteral("/new.db3"));
    answers.shots = {{QStringLiteral("The SQLite file"), QStringLiteral("create-question")}};
    start->click();

    // A file whose name starts with a dot.
    const QString hidden = dir.path() + QStringLiteral("/.hidden.db3");
    QFile(hidden).open(QIODevice::WriteOnly);
    sqlite->setText(hidden);
    answers.shots = {{hidden, QStringLiteral("dot-name-refused")}};
    start->click();

    // Two tables whose CREATE TABLE is refused: one of only OLE Object
    // fields, one hidden from the table list by the "$" rule that exists
    // in the SQLite file already.
    const QString target = dir.path() + QStringLiteral("/edge.db3");
    {
        auto c = Connection::create();
        c->open(SQLiteConnectionString(target).toStdString());
        c->execute("CREATE TABLE \"abc$def\" (x TEXT)");
        c->execute("INSERT INTO \"abc$def\" VALUES ('kept')");
        c->close();
    }
    sqlite->setText(target);
    answers.shots = {{QStringLiteral("Done."), QStringLiteral("done-account")}};
    start->click();

    // A copy of nwind.mdb with a data page zeroed: the question,
    // answered Yes, and the account of the second reading.
    QFile original(fixtures + QStringLiteral("/public/nwind.mdb"));
    if (!original.open(QIODevice::ReadOnly)) return 1;
    QByteArray bytes = original.readAll();
    bytes.replace(521 * 2048, 2048, QByteArray(2048, '\0'));  // a data page of Orders
    const QString damaged = dir.path() + QStringLiteral("/damaged.mdb");
    QFile copy(damaged);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) return 1;
    copy.close();
    form.findChild<QLineEdit*>(QStringLiteral("Text5"))->setText(damaged);
    const QString salvaged = dir.path() + QStringLiteral("/salvaged.db3");
    QFile(salvaged).open(QIODevice::WriteOnly);
    sqlite->setText(salvaged);
    answers.answer = QMessageBox::Yes;
    answers.shots = {{QStringLiteral("The database is damaged."), QStringLiteral("salvage-question")},
                     {QStringLiteral("Done."), QStringLiteral("salvage-done")}};
    start->click();
    return 0;
}
