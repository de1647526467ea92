// "Start Converting" through the real main window, with the real SQL
// Preview window, on the offscreen platform; message boxes are scripted.

#include "ConversionTestSupport.h"
#include "MainWindowHost.h"
#include "MainWindowTest.h"
#include "preview/PreviewWindows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
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
        form = std::make_unique<Form1>(ui, files);
        form->checkProvider = [](Interaction&) { return true; };
        previews = std::make_unique<PreviewWindows>(ui);
        host = std::make_unique<MainWindowHost>(*form, *previews);
        host->install();
        ASSERT_TRUE(form->formLoad());
        target = makeEmptyDatabase(dir.path());
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
    EXPECT_EQ(ui.messages.back().text, QStringLiteral("Done."));
    EXPECT_FALSE(form->runState.SQLite_conn->isOpen());
}

}  // namespace
}  // namespace qb::test
