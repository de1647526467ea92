// The preview's window-free logic: execution with its stop and reports,
// find and replace, copying checked lines, the clipboard retry rule, and the
// e-mail link.

#include "ScriptedInteraction.h"
#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "core/DbError.h"
#include "preview/Clipboard.h"
#include "preview/FindReplace.h"
#include "preview/StatementExecution.h"
#include "preview/TableTransactions.h"
#include "dbaccess/SQLite.h"

#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <stdexcept>

namespace qb {
namespace {

using test::ScriptedInteraction;

std::unique_ptr<ListViewModel> listOf(const QStringList& lines) {
    auto list = createStatementList();
    list->append(lines);
    return list;
}

struct RecordingDisplay : ExecutionDisplay {
    void setProgressValue(double p) override { values.push_back(p); }
    void setProgressText(const QString& t) override { texts << t; }
    void setBusy(bool b) override { busy = b; }
    void selectLine(int l) override { selected = l; }
    void scrollToLine(int l) override { scrolled = l; }
    void setErrorText(const QString& t) override { errorText = t; }
    std::vector<double> values;
    QStringList texts;
    bool busy = false;
    int selected = 0;
    int scrolled = 0;
    QString errorText;
};

struct Execution : ::testing::Test {
    ScriptedInteraction ui;
    RecordingDisplay display;
    RunState state;
    int errorLine = 0;
    QStringList ran;
    StatementRunner runner = [this](const QString& s) {
        if (s.contains(QStringLiteral("bad"))) throw DbError(1, "SQLException: near \"bad\": syntax error");
        if (s.contains(QStringLiteral("odd"))) throw DbError(2, "driver lost its way");
        ran << s;
    };
    ExecuteResult execute(ListViewModel& list) { return ExecuteSQL(list, runner, state, errorLine, display, ui); }
};

// One transaction per table, on a real file: a rejected line takes its
// whole table back with it, the table before stays, and a second execution
// from the first line not kept completes the file without duplicates.
TEST_F(Execution, ByTableRollsBackTheFailingTableWholeAndResumesAtIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    state.SQLite_conn = Connection::create();
    state.SQLite_conn->open(SQLiteConnectionString(dir.filePath("t.db")).toStdString());
    auto list = listOf({"CREATE TABLE a (x)", "INSERT INTO a VALUES ('1')", "CREATE TABLE b (x)",
                        "INSERT INTO b VALUES ('1')", "", "INSERT INTO b VALUES bad", "INSERT INTO b VALUES ('3')"});
    const std::vector<int> starts{1, 3};
    auto scalar = [&](const std::string& sql) {
        auto r = state.SQLite_conn->backend()->openRowset(sql);
        std::vector<Variant> row;
        return r->next(row) ? std::get<std::string>(row.at(0)) : std::string("?");
    };
    auto rows = [&] {
        const std::string tables = scalar("SELECT group_concat(name) FROM sqlite_master");
        std::string out = scalar("SELECT '' || count(*) FROM a");
        return out + "/" + (tables == "a,b" ? scalar("SELECT '' || count(*) FROM b") : tables);
    };

    int kept = -1;
    EXPECT_EQ(ExecuteSQLByTable(*list, starts, runnerOn(state), state, errorLine, display, ui, 1, kept),
              ExecuteResult::Stopped);
    EXPECT_EQ(errorLine, 6);
    EXPECT_EQ(kept, 2);
    EXPECT_EQ(rows(), "1/a");
    EXPECT_TRUE(ui.texts().last().startsWith("Nothing of this table was kept: lines 3 to 6")) << ui.texts().last().toStdString();

    list->setText(6, QStringLiteral("INSERT INTO b VALUES ('2')"));
    EXPECT_EQ(ExecuteSQLByTable(*list, starts, runnerOn(state), state, errorLine, display, ui, kept + 1, kept),
              ExecuteResult::Completed);
    EXPECT_EQ(rows(), "1/3");
    EXPECT_TRUE(state.SQLFormOK);
}

TEST_F(Execution, EmptyListSaysSoAndChangesNothing) {
    auto list = listOf({});
    state.StopConverting = true;
    EXPECT_EQ(execute(*list), ExecuteResult::NothingToRun);
    EXPECT_EQ(ui.texts(), QStringList{"No SQL to run."});
    EXPECT_TRUE(state.StopConverting);
    EXPECT_FALSE(state.SQLFormOK);
}

TEST_F(Execution, CompletedRunSkipsBlankLinesSetsFlagsAndResetsProgress) {
    auto list = listOf({"CREATE TABLE t (a)", "   ", "", "INSERT INTO t VALUES ('1')"});
    state.StopConverting = true;
    EXPECT_EQ(execute(*list), ExecuteResult::Completed);
    EXPECT_EQ(ran, (QStringList{"CREATE TABLE t (a)", "INSERT INTO t VALUES ('1')"}));
    EXPECT_TRUE(state.SQLFormOK);
    EXPECT_FALSE(state.StopConverting);
    EXPECT_EQ(ui.yields, 4);
    EXPECT_EQ(display.texts.at(2), "Please wait.. Processing row: 3 of 4");
    EXPECT_DOUBLE_EQ(display.values.at(2), 75.0);
    EXPECT_DOUBLE_EQ(display.values.back(), 0.0);
    EXPECT_EQ(display.texts.back(), "");
    EXPECT_FALSE(display.busy);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Execution, RejectedStatementStopsAtItsLineAndANewRunStartsAtLineOne) {
    QStringList lines;
    for (int i = 1; i <= 10; ++i) lines << QStringLiteral("INSERT INTO t VALUES ('%1')").arg(i);
    lines[4] = QStringLiteral("INSERT INTO t VALUES (bad");
    auto list = listOf(lines);
    state.StopConverting = true;

    EXPECT_EQ(execute(*list), ExecuteResult::Stopped);
    EXPECT_EQ(ran.size(), 4);
    EXPECT_EQ(errorLine, 5);
    EXPECT_EQ(display.selected, 5);
    EXPECT_EQ(display.scrolled, 5);
    EXPECT_EQ(display.errorText, "SQLException: near \"bad\": syntax error");
    EXPECT_DOUBLE_EQ(display.values.back(), 0.0);
    EXPECT_EQ(display.texts.back(), "");
    EXPECT_FALSE(display.busy);
    EXPECT_EQ(ui.texts(), QStringList{"Error found."});
    EXPECT_TRUE(state.StopConverting);
    EXPECT_FALSE(state.SQLFormOK);

    list->setText(5, QStringLiteral("INSERT INTO t VALUES ('5')"));
    ran.clear();
    EXPECT_EQ(execute(*list), ExecuteResult::Completed);
    EXPECT_EQ(ran.size(), 10);
    EXPECT_EQ(ran.first(), "INSERT INTO t VALUES ('1')");
    EXPECT_EQ(errorLine, 5);  // kept until the next stop
}

TEST_F(Execution, OtherFailuresAreReportedWithTheirLabelAndPassedOver) {
    auto list = listOf({"INSERT INTO t odd", "insert into t VALUES ('2')", "UPDATE odd", "DELETE FROM t"});
    EXPECT_EQ(execute(*list), ExecuteResult::Completed);
    EXPECT_EQ(ran, (QStringList{"insert into t VALUES ('2')", "DELETE FROM t"}));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].title, "Application Error");
    EXPECT_TRUE(ui.messages[0].text.startsWith("driver lost its way\r\nin Quellbrook2021/08/31.Form2.PushButton1_Click at line 132\r\r"));
    EXPECT_TRUE(ui.messages[1].text.contains("PushButton1_Click at line 134\r\r"));
    EXPECT_TRUE(state.SQLFormOK);
}

TEST_F(Execution, TheStopWordCountsInAnyCaseAnywhere) {
    runner = [](const QString&) { throw std::runtime_error("driver: java.sql.sqlexception raised"); };
    auto list = listOf({"x", "y"});
    EXPECT_EQ(execute(*list), ExecuteResult::Stopped);
    EXPECT_EQ(errorLine, 1);
}

TEST_F(Execution, JumpToErrorLine) {
    auto list = listOf({"a", "b", "c"});
    JumpToErrorLine(*list, 0, display, ui);
    JumpToErrorLine(*listOf({}), 2, display, ui);
    EXPECT_EQ(display.selected, 0);
    EXPECT_TRUE(ui.messages.empty());

    JumpToErrorLine(*list, 3, display, ui);
    EXPECT_EQ(display.selected, 3);
    EXPECT_EQ(display.scrolled, 3);

    // A line number left from a longer list: both steps fail and are reported.
    display.selected = display.scrolled = 0;
    JumpToErrorLine(*list, 7, display, ui);
    EXPECT_EQ(display.selected, 0);
    EXPECT_EQ(display.scrolled, 0);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[0].text.contains("Form2.PushButton6_Click at line 104\r\r"));
    EXPECT_TRUE(ui.messages[1].text.contains("Form2.PushButton6_Click at line 106\r\r"));
}

TEST(ErrorMail, SubjectAndBodyArriveWholeWhateverTheErrorTextHolds) {
    const QString error = QStringLiteral("SQLException: near \"&\": 100% wrong #1?\r\nsecond line é");
    const QString link = errorMailLink(error);
    EXPECT_TRUE(link.startsWith("mailto:support@harrowind.example?subject=Quellbrook&body=Here%20is%20the%20error"));
    EXPECT_FALSE(link.contains('\n'));
    EXPECT_FALSE(link.contains('#'));
    const QUrl url(link);
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), "support@harrowind.example");
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "Quellbrook");
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
              QStringLiteral("Here is the error message that I get: \n") + error);
}

TEST(ErrorMail, BlankTextOpensNothing) {
    ScriptedInteraction ui;
    EmailErrorMessage(QStringLiteral("   "), ui);
    EXPECT_TRUE(ui.urls.isEmpty());
    EmailErrorMessage(QStringLiteral("SQLException: x"), ui);
    ASSERT_EQ(ui.urls.size(), 1);
    EXPECT_EQ(ui.urls[0], errorMailLink("SQLException: x"));
}

// ---- Find and Replace ----

struct Replace : ::testing::Test {
    ScriptedInteraction ui;
    bool busy = false;
    ReplaceResult replace(ListViewModel& list, const QString& find, const QString& with) {
        return FindAndReplace(list, find, with, ui, [this](bool b) { busy = b; });
    }
};

TEST_F(Replace, FirstOccurrencePerLineIgnoringCase) {
    auto list = listOf({"INSERT INTO t VALUES ('Insert into')", "CREATE TABLE x", "a,a", "xabababy", ""});
    EXPECT_EQ(replace(*list, "insert into", "REPLACE INTO"), ReplaceResult::Done);
    EXPECT_EQ(list->text(1), "REPLACE INTO t VALUES ('Insert into')");
    EXPECT_EQ(list->text(2), "CREATE TABLE x");
    EXPECT_EQ(ui.texts(), QStringList{"Done."});
    EXPECT_TRUE(busy);
    EXPECT_EQ(ui.yields, 5);

    replace(*list, "insert into", "REPLACE INTO");  // a second pass takes the next one
    EXPECT_EQ(list->text(1), "REPLACE INTO t VALUES ('REPLACE INTO')");

    replace(*list, "a", "aa");
    EXPECT_EQ(list->text(3), "aa,a");  // the replacement is not searched again
    replace(*list, "aba", "-");
    EXPECT_EQ(list->text(4), "xa-baby");  // after a -> aa made it "xaabababy"
}

TEST_F(Replace, EmptyReplacementRemovesAndEmptySearchChangesNothing) {
    const QStringList lines{"DROP TABLE \"t\"", "drop table x", "other", ""};
    auto list = listOf(lines);
    replace(*list, "", "zz");
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(list->text(i), lines[i - 1]);
    EXPECT_EQ(ui.texts(), QStringList{"Done."});

    replace(*list, "DROP ", "");
    EXPECT_EQ(list->text(1), "TABLE \"t\"");
    EXPECT_EQ(list->text(2), "table x");
    EXPECT_EQ(list->text(3), "other");
    EXPECT_EQ(replaceFirst("abc", "", "x"), "abc");
}

TEST_F(Replace, EmptyListSaysSo) {
    auto list = listOf({});
    EXPECT_EQ(replace(*list, "a", "b"), ReplaceResult::NothingToRun);
    EXPECT_EQ(ui.texts(), QStringList{"No SQL to run."});
    EXPECT_FALSE(busy);
}

// ---- Clipboard ----

struct FakeClipboard : ClipboardPort {
    bool clear() override {
        ++clears;
        text.clear();
        return true;
    }
    bool setText(const QString& t) override {
        ++sets;
        if (failuresLeft > 0) {
            --failuresLeft;
            return false;
        }
        text = t;
        return true;
    }
    QString text = QStringLiteral("untouched");
    int clears = 0;
    int sets = 0;
    int failuresLeft = 0;
};

TEST(CopyChecked, TakesCheckedRowsPaddedTrimmedAndEndedByCrLf) {
    ScriptedInteraction ui;
    FakeClipboard clip;
    auto list = listOf({"  lead", "longest line here", "mid\tline   ", "x"});
    list->setChecked(1, true);
    list->setChecked(3, true);
    CopyCheckedRows(*list, clip, ui);
    EXPECT_EQ(clip.text, QStringLiteral("  lead\r\nmid\tline\r\n"));

    // Several columns: padded to the widest cell, TAB-joined.
    auto types = createDatatypeList();
    types->add("t");
    types->setSubItem(1, 1, "id");
    types->setSubItem(1, 2, "int");
    types->setSubItem(1, 3, "INTEGER");
    types->add("table2");
    types->setSubItem(2, 1, "name");
    types->setSubItem(2, 2, "varwchar");
    types->setChecked(1, true);
    CopyCheckedRows(*types, clip, ui);
    EXPECT_EQ(clip.text, QStringLiteral("t     \tid  \tint     \tINTEGER\r\n"));
}

TEST(CopyChecked, NoCheckedRowGivesEmptyTextAndAnEmptyListTouchesNothing) {
    ScriptedInteraction ui;
    FakeClipboard clip;
    CopyCheckedRows(*listOf({}), clip, ui);
    EXPECT_EQ(clip.clears + clip.sets, 0);
    EXPECT_EQ(clip.text, "untouched");

    CopyCheckedRows(*listOf({"a", "b"}), clip, ui);
    EXPECT_EQ(clip.text, "");
    EXPECT_EQ(clip.sets, 1);
}

TEST(CopyChecked, OverlongTextOverflowsBeforeTheClipboardIsTouched) {
    ScriptedInteraction ui;
    FakeClipboard clip;
    auto list = listOf({QString(32767, 'x')});
    list->setChecked(1, true);
    CopyCheckedRows(*list, clip, ui);
    EXPECT_EQ(clip.text.size(), 32767 + 2);

    clip.text = "untouched";
    list->add(QString(32768, 'y'));
    EXPECT_THROW(CopyCheckedRows(*list, clip, ui), std::overflow_error);
    EXPECT_EQ(clip.text, "untouched");
}

TEST(ClipboardRetry, RepeatsAFailingCallUpToAThousandCalls) {
    FakeClipboard clip;
    clip.failuresLeft = 999;
    EXPECT_TRUE(SetClipboardText(clip, "x"));
    EXPECT_EQ(clip.sets, 1000);
    EXPECT_EQ(clip.text, "x");

    clip.sets = 0;
    clip.failuresLeft = 5000;
    EXPECT_FALSE(SetClipboardText(clip, "y"));
    EXPECT_EQ(clip.sets, 1000);

    int calls = 0;
    EXPECT_FALSE(retryClipboardCall([&]() -> bool {
        ++calls;
        throw std::runtime_error("busy");
    }));
    EXPECT_EQ(calls, 1000);
}

}  // namespace
}  // namespace qb
