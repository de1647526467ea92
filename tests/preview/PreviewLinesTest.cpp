// The lines of a preview that already ran, and the preview by keyboard.

#include "PreviewWindowsSupport.h"

namespace qb {
namespace {

struct ExecutedLines : SqliteFile {};
struct PreviewKeys : PreviewWindowsTest {};

// After a stop the grey lines are in the database. Edit Line refuses them
// and Find and Replace passes them over, so once the rest has run every
// line of the list says what its row holds.
TEST_F(ExecutedLines, CannotBeChangedByEditLineOrFindAndReplace) {
    const QString row = QStringLiteral("INSERT INTO t VALUES ('False')");
    fill({row, row, QStringLiteral("INSERT INTO t VALUES ('False'"), row});
    QStringList listed;
    show([&](Form2& w) {
        button(w, "PushButton1")->click();  // stops at line 3
        {
            ChildWindows children;
            click(w.listView1(), textOf(w.listView1(), 2));
            EXPECT_TRUE(children.seen.isEmpty()) << children.seen.join(", ").toStdString();
        }
        whenShown<Form3>([&](Form3& f) {
            f.text1()->setText("'False'");
            f.text2()->setText("'0'");
            button(f, "PushButton2")->click();
        });
        button(w, "PushButton3")->click();
        whenShown<Form4>([&](Form4& edit) {
            QTest::keyClicks(edit.text1(), "INSERT INTO t VALUES ('0')");
            button(edit, "PushButton2")->click();
        });
        click(w.listView1(), textOf(w.listView1(), 3));
        for (int line = 1; line <= 4; ++line) listed << windows.statementList().text(line);
        button(w, "PushButton1")->click();
        if (w.isVisible()) w.close();
    });
    const QString zero = QStringLiteral("INSERT INTO t VALUES ('0')");
    EXPECT_EQ(listed, (QStringList{row, row, zero, zero}));
    EXPECT_EQ(ui.texts(), (QStringList{"Error found.",
                                       "Line 2 has already been executed and is in the database; it cannot be "
                                       "changed here.",
                                       "Done.\r\rExecuted lines left unchanged (they are in the database already): 2"}));
    ASSERT_TRUE(state.SQLFormOK);
    Recordset rs;
    rs.open("SELECT a FROM t", *state.SQLite_conn);
    QStringList stored;
    for (; !rs.eof(); rs.moveNext()) stored << QString::fromStdString(std::get<std::string>(rs.values().at(0)));
    EXPECT_EQ(stored, (QStringList{"False", "False", "0", "0"}));
}

// Without a mouse: Enter on the selected line opens Edit Line for it, and
// Enter in Find and Replace replaces.
TEST_F(PreviewKeys, EnterEditsTheSelectedLineAndReplaces) {
    fill({"INSERT INTO t VALUES ('a')", "INSERT INTO t VALUES ('b')"});
    QStringList edited;
    show([&](Form2& w) {
        w.listView1()->setFocus();
        w.listView1()->setCurrentIndex(windows.statementList().index(1, 0));
        const auto editShown = whenShown<Form4>([&](Form4& edit) {
            edited << QString::number(edit.ListLine) << edit.text1()->toPlainText();
            edit.close();
        });
        QTest::keyClick(w.listView1(), Qt::Key_Return);
        EXPECT_TRUE(*editShown);
        whenShown<Form3>([&](Form3& f) {
            QTest::keyClicks(f.text1(), "('");
            QTest::keyClick(f.text1(), Qt::Key_Tab);
            QTest::keyClicks(f.text2(), "('x");
            QTest::keyClick(f.text2(), Qt::Key_Return);
            EXPECT_FALSE(f.isVisible());
        });
        button(w, "PushButton3")->click();
        edited << windows.statementList().text(1);
        w.close();
    });
    EXPECT_EQ(edited, (QStringList{"2", "INSERT INTO t VALUES ('b')", "INSERT INTO t VALUES ('xa')"}));
    EXPECT_EQ(ui.texts(), QStringList{"Done."});
}

// Skipping a table after a stop leaves part of it in the database: the
// window says so before it closes.
TEST_F(ExecutedLines, SkipAfterAStopSaysWhichLinesStay) {
    fill({"INSERT INTO t VALUES ('1')", "INSERT INTO t VALUES ('2'", "INSERT INTO t VALUES ('3')"});
    state.StopConverting = true;
    show([&](Form2& w) {
        button(w, "PushButton1")->click();
        button(w, "PushButton9")->click();
    });
    EXPECT_EQ(ui.texts().join("|").toStdString(),
              "Error found.|Execution stopped before line 2 of 3.\r\rLine 1 has been executed and stays in the "
              "database.");
    EXPECT_FALSE(state.StopConverting);
    EXPECT_EQ(rows(), 1);
}

}  // namespace
}  // namespace qb
