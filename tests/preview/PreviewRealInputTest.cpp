// The SQL Preview window under real mouse input: xdotool clicks through an
// X server (run by with-xvfb.sh). A synthetic QTest double click hands its
// second half to the window only after the first click's handler returned;
// from the X server it arrives while the statements run, as a user's does.

#include "ScriptedInteraction.h"
#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "preview/Form2.h"
#include "preview/PreviewWindows.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace qb {
namespace {

using test::ScriptedInteraction;

// Notes, for each press on `target`, how many turns the message loop had
// been given by then.
struct PressLog : QObject {
    PressLog(QObject* target, const ScriptedInteraction& ui) : target_(target), ui_(ui) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (watched == target_ && (t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick))
            yieldsAtPress.push_back(ui_.yields);
        return false;
    }
    std::vector<int> yieldsAtPress;

private:
    QObject* target_;
    const ScriptedInteraction& ui_;
};

TEST(RealInput, DoubleClickOnExecuteSqlRunsTheListOnce) {
    if (const QByteArray missing = qgetenv("QB_REAL_INPUT_MISSING"); !missing.isEmpty())
        GTEST_SKIP() << "no X server for real input: " << missing.constData();
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScriptedInteraction ui;
    ui.onYield = [] { QCoreApplication::processEvents(); };
    PreviewWindows windows(ui);
    RunState state;
    const QString target = dir.filePath("target.db3");
    state.SQLite_conn = Connection::create();
    state.SQLite_conn->open(SQLiteConnectionString(target).toStdString());
    state.SQLite_conn->execute("CREATE TABLE t (a TEXT)");
    const int rows = 400;
    QStringList lines;
    for (int i = 1; i <= rows; ++i) lines << QStringLiteral("INSERT INTO t VALUES ('%1')").arg(i);
    windows.statementList().append(lines);

    QWidget owner;
    QProcess xdotool;
    std::unique_ptr<PressLog> presses;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* w = dynamic_cast<Form2*>(QApplication::activeModalWidget());
        if (!w) {
            ADD_FAILURE() << "the preview is not the modal window";
            return;
        }
        shown = QTest::qWaitForWindowExposed(w);
        auto* execute = w->findChild<QPushButton*>(QStringLiteral("PushButton1"));
        presses = std::make_unique<PressLog>(execute, ui);
        qApp->installEventFilter(presses.get());
        const QPoint at = execute->mapToGlobal(execute->rect().center());
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                                  QString::number(at.x()), QString::number(at.y()),
                                                  QStringLiteral("click"), QStringLiteral("--repeat"),
                                                  QStringLiteral("2"), QStringLiteral("--delay"),
                                                  QStringLiteral("80"), QStringLiteral("1")});
        // Should no click arrive, the window must not wait forever.
        QTimer::singleShot(60000, w, [w] {
            ADD_FAILURE() << "the preview was still open after a minute";
            w->close();
        });
    });
    windows.showPreview(&owner, state);
    if (presses) qApp->removeEventFilter(presses.get());
    ASSERT_TRUE(shown);
    if (xdotool.state() != QProcess::NotRunning) xdotool.waitForFinished(10000);
    ASSERT_EQ(xdotool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();

    // The second click came while the statements ran, not after.
    ASSERT_GE(presses->yieldsAtPress.size(), 2u);
    EXPECT_EQ(presses->yieldsAtPress.front(), 0);
    EXPECT_GT(presses->yieldsAtPress.back(), 0);
    EXPECT_LT(presses->yieldsAtPress.back(), rows) << "the execution ended before the second click";
    Recordset inserted;
    inserted.open("SELECT * FROM t", *state.SQLite_conn);
    EXPECT_EQ(inserted.recordcount(), rows);
    EXPECT_TRUE(state.SQLFormOK);
    EXPECT_TRUE(ui.messages.empty());
}

// The run shows the next table's preview as soon as the last one closes:
// the second half of a double click on "Execute SQL" (or "Skip Table") must
// not act on a window the user has not seen yet.
TEST(RealInput, DoubleClickNeverActsOnTheNextPreview) {
    if (const QByteArray missing = qgetenv("QB_REAL_INPUT_MISSING"); !missing.isEmpty())
        GTEST_SKIP() << "no X server for real input: " << missing.constData();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScriptedInteraction ui;
    ui.onYield = [] { QCoreApplication::processEvents(); };
    PreviewWindows windows(ui);
    RunState state;
    state.SQLite_conn = Connection::create();
    state.SQLite_conn->open(SQLiteConnectionString(dir.filePath("target.db3")).toStdString());
    state.SQLite_conn->execute("CREATE TABLE t (a TEXT)");

    QWidget owner;
    for (const char* buttonName : {"PushButton1", "PushButton9"}) {
        QProcess xdotool;
        bool secondShown = false, secondStillOpen = false;
        QTimer::singleShot(0, [&] {
            auto* w = dynamic_cast<Form2*>(QApplication::activeModalWidget());
            if (!w || !QTest::qWaitForWindowExposed(w)) return;
            auto* button = w->findChild<QPushButton*>(QString::fromLatin1(buttonName));
            const QPoint at = button->mapToGlobal(button->rect().center());
            xdotool.start(QStringLiteral("xdotool"),
                          {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                           QString::number(at.y()), QStringLiteral("click"), QStringLiteral("--repeat"),
                           QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("150"), QStringLiteral("1")});
            QTimer::singleShot(60000, w, [w] { w->close(); });
        });
        windows.statementList().append(QStringList{QStringLiteral("INSERT INTO t VALUES ('first')")});
        windows.showPreview(&owner, state);
        // What the run does next: the next table's preview, at once.
        QTimer::singleShot(0, [&] {
            auto* w = dynamic_cast<Form2*>(QApplication::activeModalWidget());
            if (!w) return;
            secondShown = true;
            xdotool.waitForFinished(10000);
            QTest::qWait(300);  // a late second click would have acted by now
            secondStillOpen = w->isVisible();
            w->close();
        });
        windows.statementList().append(QStringList{QStringLiteral("INSERT INTO t VALUES ('second')")});
        windows.showPreview(&owner, state);
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
        EXPECT_TRUE(secondShown) << buttonName;
        EXPECT_TRUE(secondStillOpen) << buttonName << ": the second click acted on the next preview";
    }
    Recordset rows;
    rows.open("SELECT a FROM t", *state.SQLite_conn);
    EXPECT_EQ(rows.recordcount(), 1);  // "first", executed once; "second" never
}

}  // namespace
}  // namespace qb
