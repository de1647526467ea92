// The preview windows shown modally as the conversion run shows them, driven
// from timers inside their modal loops.

#include "PreviewWindowsSupport.h"

namespace qb {
namespace {

TEST_F(PreviewWindowsTest, LoadsWithItsControlsCaptionsAndOneColumn) {
    fill({"CREATE TABLE t (a)", "INSERT INTO t VALUES ('1')"});
    show([&](Form2& w) {
        EXPECT_EQ(w.windowTitle(), "SQL Preview - Quellbrook");
        EXPECT_EQ(w.parentWidget(), &owner);
        EXPECT_TRUE(w.isModal());
        EXPECT_FALSE(w.windowIcon().isNull());
        EXPECT_EQ(button(w, "PushButton1")->text(), "Execute SQL");
        EXPECT_EQ(button(w, "PushButton2")->text(), "Copy SQL To Clipboard");
        EXPECT_EQ(button(w, "PushButton3")->text(), "Find and Replace");
        EXPECT_EQ(button(w, "PushButton4")->text(), "Copy Error Message To Clipboard");
        EXPECT_EQ(button(w, "PushButton5")->text(), "< Back");
        EXPECT_EQ(button(w, "PushButton6")->text(), "Jump To Error Line");
        EXPECT_EQ(button(w, "PushButton7")->text(), "View Datatype Conversion");
        EXPECT_EQ(button(w, "PushButton8")->text(), " Email Error Message To Harrowind");
        EXPECT_EQ(button(w, "PushButton9")->text(), "Skip Table / Do Not Execute SQL");
        EXPECT_EQ(w.findChild<QGroupBox*>("Frame2")->title(), "Error:");
        QTreeView* view = w.listView1();
        EXPECT_EQ(view->objectName(), "ListView1");
        EXPECT_TRUE(view->uniformRowHeights());
        EXPECT_EQ(view->toolTip(),
                  "Click item to edit it. Move | line to right and out of window to reveal full names.");
        EXPECT_EQ(view->model()->columnCount(), 1);
        EXPECT_EQ(view->model()->headerData(0, Qt::Horizontal).toString(), "SQL Preview");
        EXPECT_EQ(view->columnWidth(0), 467);
        EXPECT_EQ(view->model()->data(view->model()->index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
        EXPECT_EQ(w.text1()->toPlainText(), "");
        // The hover rule never replaces the busy pointer.
        w.pointerRule().setBusy(true);
        w.pointerRule().pointerMovedOver(button(w, "PushButton5"));
        EXPECT_EQ(w.pointerRule().pointer(), PointerRule::Busy);
        w.pointerRule().setBusy(false);
        w.pointerRule().pointerMovedOver(button(w, "PushButton5"));
        EXPECT_EQ(w.pointerRule().pointer(), PointerRule::Custom);
        w.pointerRule().pointerMovedOver(view->viewport());
        EXPECT_EQ(w.pointerRule().pointer(), PointerRule::Default);
        w.close();
    });
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PreviewWindowsTest, ExitsAnswerTheRunThroughTheFlagsAndDiscardTheLines) {
    struct Exit {
        const char* button;  // null: the close box
        bool stopAfter;
    };
    for (const Exit exit : {Exit{"PushButton9", false}, Exit{"PushButton5", true}, Exit{nullptr, true}}) {
        fill({"DROP TABLE \"t\""});
        windows.statementList().setChecked(1, true);
        state.StopConverting = true;
        state.SQLFormOK = false;
        show([&](Form2& w) {
            if (exit.button)
                button(w, exit.button)->click();
            else
                w.close();
        });
        EXPECT_EQ(state.StopConverting, exit.stopAfter) << (exit.button ? exit.button : "close box");
        EXPECT_FALSE(state.SQLFormOK);
        EXPECT_EQ(windows.preview(), nullptr);
        // The next touch finds an empty list with a single header.
        EXPECT_EQ(windows.statementList().count(), 0);
        EXPECT_EQ(windows.statementList().columns().size(), 1u);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PreviewWindowsTest, EmptyListStaysOpenWithNoSqlToRun) {
    state.StopConverting = true;
    show([&](Form2& w) {
        button(w, "PushButton1")->click();
        EXPECT_TRUE(w.isVisible());
        w.close();
    });
    EXPECT_EQ(ui.texts(), QStringList{"No SQL to run."});
    EXPECT_TRUE(state.StopConverting);
    EXPECT_FALSE(state.SQLFormOK);
}

// then must not start a second execution, open a window, copy, or tick.
TEST_F(SqliteFile, DuringAnExecutionOnlyTheExitsAct) {
    QStringList lines;
    for (int i = 1; i <= 30; ++i) lines << QStringLiteral("INSERT INTO t VALUES ('%1')").arg(i);
    fill(lines);
    ChildWindows children;
    bool sampled = false;
    show([&](Form2& w) {
        QTreeView* view = w.listView1();
        ui.onYield = [&] {
            if (sampled || ui.yields != 10) return;
            sampled = true;
            EXPECT_TRUE(w.pointerRule().isBusy());
            for (const char* name : {"PushButton1", "PushButton2", "PushButton3", "PushButton4", "PushButton6",
                                     "PushButton7", "PushButton8"}) {
                EXPECT_FALSE(button(w, name)->isEnabled()) << name;
                QTest::mouseClick(button(w, name), Qt::LeftButton);
            }
            EXPECT_TRUE(button(w, "PushButton5")->isEnabled());
            EXPECT_TRUE(button(w, "PushButton9")->isEnabled());
            click(view, checkBoxOf(view, 2));
            click(view, textOf(view, 4));
            view->setCurrentIndex(view->model()->index(5, 0));
            QTest::keyClick(view, Qt::Key_Space);
            EXPECT_FALSE(windows.statementList().checked(2));
            EXPECT_FALSE(windows.statementList().checked(6));
        };
        QTest::mouseClick(button(w, "PushButton1"), Qt::LeftButton);
        ui.onYield = nullptr;
        if (w.isVisible()) w.close();
    });
    EXPECT_TRUE(sampled);
    EXPECT_EQ(rows(), 30);
    EXPECT_TRUE(children.seen.isEmpty()) << children.seen.join(", ").toStdString();
    EXPECT_TRUE(ui.messages.empty()) << ui.texts().join(" | ").toStdString();
    EXPECT_TRUE(state.SQLFormOK);
}

// "< Back", "Skip Table" and the close box end a running execution before
// its next statement, with the flags as the exit alone sets them.
TEST_F(SqliteFile, LeavingDuringAnExecutionEndsItBeforeTheNextStatement) {
    struct Exit {
        const char* button;  // null: the close box
        bool stopAfter;
    };
    QStringList lines;
    for (int i = 1; i <= 20; ++i) lines << QStringLiteral("INSERT INTO t VALUES ('%1')").arg(i);
    for (const Exit exit : {Exit{"PushButton5", true}, Exit{"PushButton9", false}, Exit{nullptr, true}}) {
        const char* name = exit.button ? exit.button : "close box";
        state.SQLite_conn->execute("DELETE FROM t");
        fill(lines);
        state.StopConverting = true;
        state.SQLFormOK = false;
        ui.messages.clear();
        ui.yields = 0;
        show([&](Form2& w) {
            ui.onYield = [&] {
                if (ui.yields != 8) return;
                if (exit.button)
                    QTest::mouseClick(button(w, exit.button), Qt::LeftButton);
                else
                    w.close();
            };
            QTest::mouseClick(button(w, "PushButton1"), Qt::LeftButton);
            ui.onYield = nullptr;
        });
        EXPECT_EQ(rows(), 7) << name;
        EXPECT_EQ(state.StopConverting, exit.stopAfter) << name;
        EXPECT_FALSE(state.SQLFormOK) << name;
        EXPECT_EQ(ui.texts(), QStringList{"Execution stopped before line 8 of 20.\r\rLines 1 to 7 have been "
                                          "executed and stay in the database."})
            << name;
    }
}

// After a stop the lines before it are in the database: executing again
// goes on from the stopped line, so a new table's CREATE does not fail
// ("already exists") and no row is inserted twice.
TEST_F(SqliteFile, ExecutingAgainAfterAStopResumesAtTheStoppedLine) {
    QStringList lines{"CREATE TABLE n (a TEXT)"};
    for (int i = 1; i <= 10; ++i) lines << QStringLiteral("INSERT INTO n VALUES ('%1')").arg(i);
    lines[3] = QStringLiteral("   ");  // passed over
    lines[6] = QStringLiteral("INSERT INTO n VALUES ('6'");
    fill(lines);
    state.StopConverting = true;
    bool stoppedOpen = false;
    QString firstProgress;

    show([&](Form2& w) {
        button(w, "PushButton1")->click();
        stoppedOpen = w.isVisible();
        EXPECT_EQ(rows("n"), 4);  // lines 2, 3, 5 and 6
        EXPECT_EQ(windows.ErrorLine, 7);
        EXPECT_EQ(w.selectedLine(), 7);
        EXPECT_TRUE(w.text1()->toPlainText().contains("SQLException"));
        EXPECT_EQ(w.progressBar1()->value(), 0);
        EXPECT_EQ(w.progressBar1()->statusText(), "");
        EXPECT_EQ(w.pointerRule().pointer(), PointerRule::Default);
        EXPECT_EQ(ui.texts(), QStringList{"Error found."});
        // What ran is shown as done; the stopped line is not.
        for (int line = 1; line <= 11; ++line) EXPECT_EQ(w.lineShownDone(line), line < 7) << line;

        // The user corrects line 7 in Edit Line and executes again.
        whenShown<Form4>([&](Form4& edit) {
            EXPECT_EQ(edit.ListLine, 7);
            EXPECT_EQ(edit.text1()->textCursor().selectedText(), "INSERT INTO n VALUES ('6'");
            QTest::keyClicks(edit.text1(), "INSERT INTO n VALUES ('6')");
            QTest::mouseClick(button(edit, "PushButton2"), Qt::LeftButton);
        });
        click(w.listView1(), textOf(w.listView1(), 7));
        EXPECT_EQ(windows.statementList().text(7), "INSERT INTO n VALUES ('6')");
        ui.onYield = [&] {
            if (firstProgress.isEmpty()) firstProgress = w.progressBar1()->statusText();
        };
        QTest::mouseClick(button(w, "PushButton1"), Qt::LeftButton);  // closes the window when all lines ran
        ui.onYield = nullptr;
        if (w.isVisible()) w.close();
    });
    EXPECT_TRUE(stoppedOpen);
    EXPECT_EQ(firstProgress, "Please wait.. Processing row: 7 of 11");
    EXPECT_EQ(rows("n"), 9);
    EXPECT_EQ(ui.texts(), QStringList{"Error found."});
    EXPECT_TRUE(state.SQLFormOK);
    EXPECT_FALSE(state.StopConverting);

    // A new list starts at its first line, whatever ErrorLine says.
    fill({"INSERT INTO n VALUES ('x')"});
    show([&](Form2& w) {
        QTest::mouseClick(button(w, "PushButton1"), Qt::LeftButton);
        if (w.isVisible()) w.close();
    });
    EXPECT_EQ(rows("n"), 10);
    EXPECT_EQ(windows.ErrorLine, 7);
}

// Values carry CR LF, lone CRs and other characters a text document
// normalises. Edit Line's OK writes back exactly what the box holds: the
// original text when untouched, and the untouched characters around an
// edit. The error box hands its text on as the database worded it.
TEST_F(SqliteFile, EditLineAndTheErrorBoxGiveBackEveryCharacter) {
    const QString value = QString::fromUtf16(u"a\r\nb\rc\nd\u00A0e\u2028f\u2029g\th\x01i\x1Fj\r\n");
    const QString insert = QStringLiteral("INSERT INTO t VALUES ('") + value + QStringLiteral("')");
    const QString unterminated = QStringLiteral("INSERT INTO t VALUES ('") + value;
    fill({insert, unterminated});
    QClipboard* clipboard = QGuiApplication::clipboard();
    show([&](Form2& w) {
        QTreeView* view = w.listView1();
        whenShown<Form4>([&](Form4& edit) { QTest::mouseClick(button(edit, "PushButton2"), Qt::LeftButton); });
        click(view, textOf(view, 1));
        EXPECT_EQ(windows.statementList().text(1), insert);

        // A character typed before the closing "')" leaves the rest as it was.
        whenShown<Form4>([&](Form4& edit) {
            QTest::keyClick(edit.text1(), Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(edit.text1(), Qt::Key_Left);
            QTest::keyClick(edit.text1(), Qt::Key_Left);
            QTest::keyClicks(edit.text1(), "Z");
            QTest::mouseClick(button(edit, "PushButton2"), Qt::LeftButton);
        });
        click(view, textOf(view, 1));
        EXPECT_EQ(windows.statementList().text(1), QStringLiteral("INSERT INTO t VALUES ('") + value + "Z')");

        // Line 2 is rejected; SQLite quotes the unterminated text in its error.
        QTest::mouseClick(button(w, "PushButton1"), Qt::LeftButton);
        EXPECT_EQ(windows.ErrorLine, 2);
        clipboard->clear();
        QTest::mouseClick(button(w, "PushButton4"), Qt::LeftButton);
        EXPECT_TRUE(clipboard->text().contains(QStringLiteral("'") + value)) << clipboard->text().toStdString();
        w.close();
    });
    Recordset stored;
    stored.open("SELECT a FROM t", *state.SQLite_conn);
    ASSERT_EQ(stored.recordcount(), 1);
    EXPECT_EQ(std::get<std::string>(stored.values().at(0)), (value + "Z").toStdString());
}

TEST_F(PreviewWindowsTest, EditLineCancelKeepsTheLineAndAStaleLineIsReported) {
    fill({"a", "b"});
    show([&](Form2& w) {
        const auto cancelled = whenShown<Form4>([&](Form4& edit) {
            edit.setText1("changed");
            button(edit, "PushButton1")->click();
        });
        w.listView1()->setCurrentIndex(w.listView1()->model()->index(1, 0));
        w.listView1Click();
        EXPECT_TRUE(*cancelled) << "a line click did not show Edit Line";
        EXPECT_EQ(windows.statementList().text(2), "b");

        whenShown<Form4>([&](Form4& edit) {
            edit.ListLine = 9;
            button(edit, "PushButton2")->click();
        });
        windows.showEditLine(&w, 2, "b2");
        EXPECT_EQ(windows.statementList().text(2), "b");
        w.close();
    });
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains("Form4.PushButton2_Click at line 100\r\r"));
}

// The view reports a click on a check box as a click on its line too: it
// must tick that line only, and never open Edit Line on the selected one.
TEST_F(PreviewWindowsTest, ACheckBoxClickOnlyTicksAndATextClickEditsThatLine) {
    fill({"a", "b", "c", "d", "e"});
    ChildWindows children;
    show([&](Form2& w) {
        QTreeView* view = w.listView1();
        click(view, textOf(view, 5));
        click(view, checkBoxOf(view, 2));
        EXPECT_TRUE(windows.statementList().checked(2));
        click(view, checkBoxOf(view, 2));
        EXPECT_FALSE(windows.statementList().checked(2));
        click(view, textOf(view, 3));
        EXPECT_EQ(w.selectedLine(), 3);
        w.close();
    });
    EXPECT_EQ(children.seen, (QStringList{"Form4:5:e", "Form4:3:c"}));
}

TEST_F(PreviewWindowsTest, CopySqlTakesTheCheckedLinesAndAlwaysSaysSo) {
    const QString copied = QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where you "
                                          "normally type and press Ctrl+V to paste the clipboard.");
    QClipboard* clipboard = QGuiApplication::clipboard();
    fill({"  INSERT INTO t VALUES ('1')   ", "CREATE TABLE t (a)", "INSERT INTO t VALUES ('2')"});
    windows.statementList().setChecked(1, true);
    windows.statementList().setChecked(3, true);
    show([&](Form2& w) {
        button(w, "PushButton2")->click();
        EXPECT_EQ(clipboard->text(), "  INSERT INTO t VALUES ('1')\r\nINSERT INTO t VALUES ('2')\r\n");
        windows.statementList().setChecked(1, false);
        windows.statementList().setChecked(3, false);
        button(w, "PushButton2")->click();
        EXPECT_EQ(clipboard->text(), "");

        // Too long to lay out: reported, the clipboard keeps what it had,
        // and the message follows all the same.
        clipboard->setText("kept");
        windows.statementList().add(QString(40000, 'x'));
        button(w, "PushButton2")->click();
        EXPECT_EQ(clipboard->text(), "kept");
        w.close();
    });
    ASSERT_EQ(ui.messages.size(), 4u);
    EXPECT_EQ(ui.messages[0].text, copied);
    EXPECT_EQ(ui.messages[1].text, copied);
    EXPECT_TRUE(ui.messages[2].text.startsWith("Overflow\r\nin Quellbrook2021/08/31.Form2.PushButton2_Click at line 106"));
    EXPECT_EQ(ui.messages[3].text, copied);
}

TEST_F(PreviewWindowsTest, ErrorLineOutlivesTheWindowAndJumpsIntoTheNextList) {
    state.SQLite_conn = nullptr;
    fill({"a", "b", "c", "d"});
    show([&](Form2& w) {
        button(w, "PushButton6")->click();  // no stop yet
        EXPECT_EQ(w.selectedLine(), 0);
        windows.ErrorLine = 4;
        w.text1()->setPlainText("SQLException: x");
        button(w, "PushButton4")->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "SQLException: x");
        button(w, "PushButton6")->click();
        EXPECT_EQ(w.selectedLine(), 4);
        button(w, "PushButton8")->click();
        w.close();
    });
    ASSERT_EQ(ui.urls.size(), 1);
    EXPECT_TRUE(ui.urls[0].startsWith("mailto:support@harrowind.example?subject=Quellbrook&body="));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.startsWith("Error message have been copied to the clipboard.\r\r"));

    ui.messages.clear();
    fill({"x", "y"});
    show([&](Form2& w) {
        EXPECT_EQ(w.text1()->toPlainText(), "");
        button(w, "PushButton6")->click();
        EXPECT_EQ(w.selectedLine(), 0);
        w.close();
    });
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[0].text.contains("PushButton6_Click at line 104"));
    EXPECT_TRUE(ui.messages[1].text.contains("PushButton6_Click at line 106"));
}

TEST_F(PreviewWindowsTest, FindAndReplaceWindowChangesTheListAndCloses) {
    fill({"insert into t VALUES ('a')", "INSERT INTO t VALUES ('b')"});
    show([&](Form2& w) {
        whenShown<Form3>([&](Form3& f) {
            EXPECT_EQ(f.windowTitle(), "Find and Replace - Quellbrook");
            EXPECT_EQ(f.text1()->text(), "");
            EXPECT_EQ(f.text2()->text(), "");
            f.text1()->setText("INSERT into");
            f.text2()->setText("INSERT OR REPLACE INTO");
            button(f, "PushButton2")->click();
            EXPECT_FALSE(f.isVisible());
        });
        button(w, "PushButton3")->click();
        EXPECT_EQ(windows.statementList().text(1), "INSERT OR REPLACE INTO t VALUES ('a')");
        EXPECT_EQ(windows.statementList().text(2), "INSERT OR REPLACE INTO t VALUES ('b')");

        whenShown<Form3>([&](Form3& f) {
            f.text1()->setText("t");
            button(f, "PushButton1")->click();
        });
        button(w, "PushButton3")->click();
        EXPECT_EQ(windows.statementList().text(1), "INSERT OR REPLACE INTO t VALUES ('a')");
        w.close();
    });
    EXPECT_EQ(ui.texts(), QStringList{"Done."});
}

// The rows stay for a second look after "< Back"; the headings show whole
// from the 1700-twips start.
TEST_F(PreviewWindowsTest, DatatypeWindowShowsItsRowsAgainWithWholeHeadings) {
    ListViewModel& types = windows.datatypeList();
    for (const char* field : {"id", "name"}) {
        const int row = types.add("Customers");
        types.setSubItem(row, 1, field);
        types.setSubItem(row, 2, "varwchar");
        types.setSubItem(row, 3, "TEXT");
    }
    types.add("Pictures");
    types.setSubItem(3, 1, "photo");  // long binary: type columns empty
    int looks = 0;
    show([&](Form2& w) {
        for (int look = 1; look <= 2; ++look) {
            whenShown<Form5>([&](Form5& f) {
                ++looks;
                EXPECT_EQ(f.windowTitle(), "Datatypes Conversion - Quellbrook");
                QAbstractItemModel* m = f.listView1()->model();
                ASSERT_EQ(m->columnCount(), 4);
                EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString(), "New SQLite Datatype");
                QHeaderView* header = f.listView1()->header();
                for (int c = 0; c < 4; ++c) {
                    EXPECT_GE(header->sectionSize(c), 113) << c;
                    EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;
                }
                EXPECT_LE(header->length(), f.listView1()->viewport()->width());
                ASSERT_EQ(m->rowCount(), 3) << "look " << look;
                EXPECT_EQ(m->index(1, 1).data().toString(), "name");
                EXPECT_EQ(m->index(1, 3).data().toString(), "TEXT");
                EXPECT_EQ(m->index(2, 0).data().toString(), "Pictures");
                EXPECT_EQ(m->index(2, 2).data().toString(), "");
                EXPECT_EQ(button(f, "PushButton5")->text(), "< Back");
                QTest::mouseClick(button(f, "PushButton5"), Qt::LeftButton);
            });
            QTest::mouseClick(button(w, "PushButton7"), Qt::LeftButton);
        }
        w.close();
    });
    EXPECT_EQ(looks, 2);
    EXPECT_EQ(windows.datatypeList().count(), 3);
    EXPECT_TRUE(ui.messages.empty());
}

// A whole file's statements: the pass over 200,000 lines with the real
// message loop must not hold the window for long.
TEST(PreviewLargeList, FindAndReplaceOverTwoHundredThousandLines) {
    GuiInteraction ui;
    PreviewWindows windows(ui);
    RunState state;
    QWidget owner;
    std::vector<QString> lines;
    lines.reserve(200000);
    for (int i = 0; i < 200000; ++i) lines.push_back(QStringLiteral("INSERT INTO \"t\" VALUES ('%1','x')").arg(i));
    windows.statementList().append(std::move(lines));
    qint64 elapsed = -1;
    whenShown<Form2>([&](Form2& w) {
        w.listView1()->scrollToBottom();
        whenShown<Form3>([&](Form3& f) {
            f.text1()->setText("insert into");
            f.text2()->setText("INSERT OR IGNORE INTO");
            // "Done." is a real message box here: answer it when it appears.
            QTimer answer;
            QObject::connect(&answer, &QTimer::timeout, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
            });
            answer.start(20);
            QElapsedTimer clock;
            clock.start();
            // The pass gives the loop a turn per line; the box appears after it.
            f.pushButton2Click();
            elapsed = clock.elapsed();
        });
        w.pushButton3Click();
        w.close();
    });
    windows.showPreview(&owner, state);
    EXPECT_GE(elapsed, 0);
    EXPECT_LT(elapsed, 8000) << "replace pass took " << elapsed << " ms";
    std::printf("[ info ] replace pass over 200000 lines: %lld ms\n", static_cast<long long>(elapsed));
}

}  // namespace
}  // namespace qb
