// "Start Converting" through the real main window, with the real SQL
// Preview window, on the offscreen platform; message boxes are scripted.

#include "ConversionTestSupport.h"
#include "MainWindowHost.h"
#include "MainWindowTest.h"
#include "preview/PreviewWindows.h"
#include "shell/OptionsWindow.h"
#include "shell/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace qb::test {
namespace {

class MainWindowRun : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(dir.isValid());
        startProgram();
        target = makeEmptyDatabase(dir.path());
    }

    // The main window as the program starts it; again for a restart.
    void startProgram() {
        host.reset();
        previews.reset();
        form = std::make_unique<Form1>(ui, files);
        form->checkProvider = [](Interaction&) { return true; };
        previews = std::make_unique<PreviewWindows>(ui);
        host = std::make_unique<MainWindowHost>(*form, *previews);
        host->install();
        ASSERT_TRUE(form->formLoad());
    }

    void setInputs(const QString& access, const QString& sqlite, bool preview, bool perTable = false) {
        child<QLineEdit>("Text5")->setText(access);
        child<QLineEdit>("Text1")->setText(sqlite);
        child<QCheckBox>("Check1")->setChecked(preview);
        child<QRadioButton>(perTable ? "Option2" : "Option1")->setChecked(true);
    }

    void start() { QTest::mouseClick(child<QPushButton>("PushButton7"), Qt::LeftButton); }

    // Presses one button of the modal SQL Preview window each time it shows,
    // noting how many lines it held.
    void answerPreviews(std::vector<const char*> buttons) {
        answers = std::move(buttons);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() != QStringLiteral("Form2") || previewLines.size() >= answers.size())
                return;
            const char* button = answers[previewLines.size()];
            previewLines.push_back(previews->statementList().count());
            QTest::mouseClick(modal->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
        });
        poll.start(10);
    }

    QTemporaryDir dir;
    std::unique_ptr<PreviewWindows> previews;
    std::unique_ptr<MainWindowHost> host;
    QString target;
    std::vector<int> previewLines;
    std::vector<const char*> answers;
    QTimer poll;
};

TEST_F(MainWindowRun, DirectConversionMatchesTheCommandLine) {
    setInputs(fixture("sample.mdb"), target, false);
    bool busyDuringRun = false;
    QString barText;
    ui.onYield = [&] {
        busyDuringRun = busyDuringRun || form->pointerRule().isBusy();
        if (form->progressText() != QStringLiteral("Progress Bar")) barText = form->progressText();
    };
    start();
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, QStringLiteral("Done."));
    EXPECT_TRUE(reportTexts(ui).isEmpty()) << reportTexts(ui).join("\n").toStdString();
    EXPECT_TRUE(busyDuringRun);
    EXPECT_FALSE(form->pointerRule().isBusy());
    EXPECT_TRUE(barText.startsWith(QStringLiteral("Please wait.. Processing table "))) << barText.toStdString();
    EXPECT_EQ(form->progressValue(), 0);
    EXPECT_EQ(Form1::listItems(form->list2()).size(), 3);

    const QString cliTarget = dir.path() + "/cli.db";
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QB_CONVERT_EXE), {fixture("sample.mdb"), cliTarget});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(dumpDatabase(target), dumpDatabase(cliTarget));

    SqliteReader db(target);
    for (const QJsonObject& table : manifestUserTables("sample.mdb"))
        expectTableMatchesManifest(db, table, cDateText, "sample.mdb");
}

TEST_F(MainWindowRun, OptionsSurviveARestartAndWriteWhatTheCommandLineWrites) {
    auto openOptions = [&] {
        QTest::mouseClick(child<QPushButton>("PushButton9"), Qt::LeftButton);
        return form->findChild<OptionsWindow*>();
    };
    OptionsWindow* options = openOptions();
    ASSERT_NE(options, nullptr);
    ASSERT_EQ(options->checkBoxes().size(), 6u);
    for (QCheckBox* box : options->checkBoxes()) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
        box->click();
    }
    options->pushButton1Click();

    ASSERT_NO_FATAL_FAILURE(startProgram());
    options = openOptions();
    ASSERT_NE(options, nullptr);
    for (QCheckBox* box : options->checkBoxes()) EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
    options->pushButton1Click();

    // Indexes, relationships and saved queries come after the tables.
    const QString source = fixture("public/nwind.mdb");
    setInputs(source, target, false);
    start();
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, QStringLiteral("Done."));
    EXPECT_TRUE(reportTexts(ui).isEmpty()) << reportTexts(ui).join("\n").toStdString();

    const QString cliTarget = dir.path() + "/cli.db";
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QB_CONVERT_EXE), {"--fast", "--keys", "--child-tables", "--blobs", "--iso-dates", "--views", source, cliTarget});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const std::string dump = dumpDatabase(target);
    EXPECT_NE(dump.find("PRIMARY KEY"), std::string::npos);
    EXPECT_EQ(dump, dumpDatabase(cliTarget));
}

// One transaction per table in the preview: a line of the middle table
// fails, the table before it stays, and nothing of the failing table does.
TEST_F(MainWindowRun, ExecuteSqlByTableKeepsWholeTablesOnly) {
    settings::save(QStringLiteral("OneTransactionPerTable"), QStringLiteral("True"));
    setInputs(fixture("sample.mdb"), target, true, false);
    // Per file: Products (lines 1-13), Orders (14-44), Customers (45-63).
    bool executed = false, left = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != QStringLiteral("Form2")) return;
        QPushButton* button = nullptr;
        if (!executed) {
            executed = true;
            previews->statementList().setText(20, QStringLiteral("INSERT INTO nowhere VALUES(1)"));
            button = modal->findChild<QPushButton*>(QStringLiteral("PushButton1"));
        } else if (previews->ErrorLine != 0 && !left) {
            left = true;
            button = modal->findChild<QPushButton*>(QStringLiteral("PushButton5"));
        }
        if (button) QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    });
    poll.start(10);
    start();
    poll.stop();

    EXPECT_EQ(previews->tableStarts, (std::vector<int>{1, 14, 45}));
    EXPECT_EQ(previews->ErrorLine, 20);
    EXPECT_TRUE(ui.texts().join('\n').contains(QStringLiteral("Nothing of this table was kept: lines 14 to 20")))
        << ui.texts().join('\n').toStdString();
    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"Products"});
    EXPECT_EQ(db.rowCount("Products"), 12);
}

TEST_F(MainWindowRun, SecondClickDuringARunDoesNothing) {
    setInputs(fixture("sample.mdb"), target, false);
    int clicks = 0;
    ui.onYield = [&] {
        if (clicks++ == 5) start();
    };
    start();
    EXPECT_EQ(ui.texts().count(QStringLiteral("Done.")), 1);
    SqliteReader db(target);
    EXPECT_EQ(db.rowCount("Customers"), 18);
}

TEST_F(MainWindowRun, PerTablePreviewSkipExecuteAndBack) {
    setInputs(fixture("sample.mdb"), target, true, true);
    // Tables come last to first (Products, Orders, Customers): Products is
    // skipped, Orders executed, Customers left with "< Back".
    answerPreviews({"PushButton9", "PushButton1", "PushButton5"});
    start();
    poll.stop();

    ASSERT_EQ(previewLines.size(), 3u);
    EXPECT_EQ(previewLines[0], 1 + 12);  // CREATE + the rows of Products
    EXPECT_EQ(previewLines[1], 1 + 30);
    EXPECT_EQ(previewLines[2], 1 + 18);
    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"Orders"});
    EXPECT_EQ(db.rowCount("Orders"), 30);
    EXPECT_EQ(ui.messages.back().text.toStdString(),
              "Done.\r\rThese tables did not arrive whole:\r\n"
              "Products: skipped, 12 rows read, no SQLite table\r\n"
              "Customers: not executed, 18 rows read, no SQLite table");
    EXPECT_FALSE(form->runState.SQLite_conn->isOpen());
}

// Leaving the preview while it executes stops the execution; the run then
// goes on as the exit says: after "Skip Table" with the next table, after
// the close box no further table is taken.
TEST_F(MainWindowRun, LeavingThePreviewDuringAnExecutionStopsItAndTheRunFollowsTheExit) {
    setInputs(fixture("sample.mdb"), target, true, true);
    struct Leave {
        const char* button;  // null: the close box
        int atYield;
    };
    const std::vector<Leave> script{{"PushButton9", 5}, {nullptr, 10}};
    std::vector<int> lines;
    const Leave* leave = nullptr;
    int yields = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != QStringLiteral("Form2") || leave) return;
        lines.push_back(previews->statementList().count());
        if (lines.size() > script.size()) {  // a table the run should not have taken
            modal->close();
            return;
        }
        leave = &script[lines.size() - 1];
        yields = 0;
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("PushButton1")), Qt::LeftButton);
        leave = nullptr;
    });
    ui.onYield = [&] {
        if (!leave || ++yields != leave->atYield) return;
        QWidget* preview = QApplication::activeModalWidget();
        if (leave->button)
            QTest::mouseClick(preview->findChild<QPushButton*>(QString::fromLatin1(leave->button)), Qt::LeftButton);
        else
            preview->close();
    };
    poll.start(10);
    start();
    poll.stop();

    EXPECT_EQ(lines, (std::vector<int>{1 + 12, 1 + 30}));  // Products, Orders; never Customers
    SqliteReader db(target);
    EXPECT_EQ(db.tableNames(), (std::vector<std::string>{"Orders", "Products"}));
    EXPECT_EQ(db.rowCount("Products"), 3);  // CREATE and three rows ran before the fifth turn
    EXPECT_EQ(db.rowCount("Orders"), 8);
    EXPECT_TRUE(reportTexts(ui).isEmpty()) << reportTexts(ui).join("\n").toStdString();
    EXPECT_EQ(ui.texts(), (QStringList{"Execution stopped before line 5 of 13.\r\rLines 1 to 4 have been executed and "
                                       "stay in the database.",
                                       "Execution stopped before line 10 of 31.\r\rLines 1 to 9 have been executed "
                                       "and stay in the database.",
                                       "Done.\r\rThese tables did not arrive whole:\r\n"
                                       "Products: stopped after line 4, 12 rows read, 3 in the SQLite table\r\n"
                                       "Orders: stopped after line 9, 30 rows read, 8 in the SQLite table\r\n"
                                       "Customers: not converted (the run ended before it), 0 rows read, no SQLite "
                                       "table"}))
        << ui.texts().join("|").toStdString();
    EXPECT_FALSE(form->runState.SQLite_conn->isOpen());
}

// "Start Converting" and "Test Connection" name the SQLite file they will
// not use and why, in the command line's words; a missing file is offered.
TEST_F(MainWindowRun, RefusedSqliteFileIsNamedWithItsReasonAndAMissingOneOffered) {
    const QString hidden = dir.path() + "/.hidden.db";
    ASSERT_TRUE(QFile::copy(target, hidden));
    const QString text = dir.path() + "/text.db";
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("this is not a database\n") > 0);
    file.close();
    const std::vector<std::pair<QString, QString>> cases{
        {hidden, "hidden (its name starts with a dot)"},
        {dir.path() + "/a;b.db", "must not contain \";\""},
        {dir.path(), "not a regular file"},
        {text, "not a database"},
    };
    for (const auto& [path, reason] : cases) {
        ui.messages.clear();
        setInputs(fixture("sample.mdb"), path, false);
        start();
        QTest::mouseClick(child<QPushButton>("PushButton3"), Qt::LeftButton);
        const QStringList shown = ui.texts();
        ASSERT_EQ(shown.size(), 2) << shown.join("\n").toStdString();
        EXPECT_TRUE(shown[0].startsWith(path + ": cannot be used as the SQLite file: ") && shown[0].contains(reason))
            << shown[0].toStdString();
        EXPECT_EQ(shown[1], "Could not connect.\r\n" + shown[0]);
        if (path == hidden) {
            const CliResult cli = runConvert({fixture("sample.mdb"), hidden});
            EXPECT_TRUE(cli.err.contains(shown[0])) << show(cli);
        }
    }

    const QString fresh = dir.path() + "/new.db";
    const QString question = "The SQLite file '" + fresh + "' does not exist. Create it?";
    setInputs(fixture("sample.mdb"), fresh, false);
    for (const MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        ui.messages.clear();
        ui.answers = {answer};
        start();
        EXPECT_EQ(ui.texts(), (answer == MsgResult::No ? QStringList{question} : QStringList{question, "Done."}));
    }
    SqliteReader db(fresh);
    EXPECT_EQ(db.rowCount("Customers"), 18);
}

// "Done." stays plain only when every table arrived whole; otherwise it
// accounts for each table that did not, as the command line's summary does:
// here a table of only OLE Object fields, and one hidden from the table
// list by the "$" rule whose CREATE TABLE meets the existing table.
TEST_F(MainWindowRun, DoneAccountsForEveryTableThatDidNotArriveWhole) {
    {
        SqliteReader db(target);
        db.execute("CREATE TABLE \"abc$def\" (x TEXT)");
        db.execute("INSERT INTO \"abc$def\" VALUES ('kept')");
    }
    setInputs(fixture("edge.mdb"), target, false);
    start();
    ASSERT_FALSE(ui.messages.empty());
    const QString refused = ": failed (its CREATE TABLE was refused, so its rows were not inserted), 2 rows read, ";
    EXPECT_EQ(ui.messages.back().text.toStdString(),
              ("Done.\r\rThese tables did not arrive whole:\r\n"
               "OnlyOle" + refused + "no SQLite table\r\n"
               "abc$def" + refused + "1 in the SQLite table").toStdString());
}

// A file found damaged halfway is offered to be read again, salvaging; the
// second reading replaces what the first wrote, so every row in the SQLite
// file is a row of the intact file and none arrives twice, and "Done."
// names the table with what was passed over.
TEST_F(MainWindowRun, DamagedFileIsConvertedAgainSalvagingWithoutDuplicates) {
    QFile original(fixture("public/nwind.mdb"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    // Page 521 (2 KB pages) is a data page of Orders halfway through its
    // rows: those of its earlier pages are written before the damage shows.
    constexpr qsizetype page = 521 * 2048;
    ASSERT_EQ(bytes.at(page), 0x01);
    bytes.replace(page, 2048, QByteArray(2048, '\0'));
    const QString damaged = dir.path() + "/damaged.mdb";
    ASSERT_TRUE(writeFile(damaged, bytes));
    const QString intact = dir.path() + "/intact.db";
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QB_CONVERT_EXE), {fixture("public/nwind.mdb"), intact});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();

    setInputs(damaged, target, false);
    ui.answers = {MsgResult::Yes};
    start();
    const QString question = QStringLiteral("The database is damaged. Recover what can be read?");
    QStringList questions;
    for (const ShownMessage& m : ui.messages)
        if (m.buttons == MsgButtons::YesNo) questions << m.text;
    EXPECT_EQ(questions, QStringList{question});
    ASSERT_FALSE(reportTexts(ui).isEmpty());
    EXPECT_TRUE(reportTexts(ui).front().contains(QStringLiteral("is damaged and cannot be read completely.")));
    ASSERT_FALSE(ui.messages.empty());
    const QString done = ui.messages.back().text;
    const QRegularExpression line(QStringLiteral("\r\n(.+): salvaged, (\\d+) rows read, (\\d+) in the SQLite table; "
                                                 "passed over: [1-9]\\d* pages, \\d+ rows; may be incomplete"));
    const QRegularExpressionMatch m = line.match(done);
    ASSERT_TRUE(done.startsWith(QStringLiteral("Done.\r\r")) && m.hasMatch()) << done.toStdString();
    EXPECT_EQ(m.captured(2), m.captured(3));

    SqliteReader got(target), whole(intact);
    long long rows = 0;
    for (const std::string& table : got.tableNames()) {
        SCOPED_TRACE(table);
        const std::string select = "SELECT * FROM \"" + table + "\"";
        ResultRows left = whole.query(select);
        for (const auto& row : got.query(select)) {
            const auto it = std::find(left.begin(), left.end(), row);
            ASSERT_NE(it, left.end()) << "a row the intact file does not hold, or one taken twice";
            left.erase(it);
            ++rows;
        }
        if (QString::fromStdString(table) == m.captured(1)) {
            EXPECT_EQ(got.rowCount(table), m.captured(3).toLongLong());
            EXPECT_FALSE(left.empty());
        }
    }
    EXPECT_GT(rows, 0);
}

}  // namespace
}  // namespace qb::test
