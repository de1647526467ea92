#include "MainWindowTest.h"

#include "core/AppConfig.h"
#include "shell/Form1Texts.h"
#include "shell/GuiInteraction.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextBoundaryFinder>

namespace qb::test {
namespace {

class MainWindow : public MainWindowTest {
protected:
    // A fresh window, as at a program start; loaded unless told otherwise.
    Form1& start(bool load = true) {
        form = std::make_unique<Form1>(ui, files);
        form->checkProvider = [this](Interaction&) { return providerFound; };
        form->onUnload = [this] { ++unloads; };
        if (load) loaded = form->formLoad();
        return *form;
    }
    QLineEdit* text(const char* name) { return child<QLineEdit>(name); }
    void click(const char* name) { child<QPushButton>(name)->click(); }

    bool providerFound = true;
    bool loaded = false;
    int unloads = 0;
};

TEST_F(MainWindow, FirstStartChecksPreviewSelectsOption1AndStoresOnlyCheck1) {
    start();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(form->windowTitle(), "Quellbrook");
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->check1Value(), 1);
    EXPECT_TRUE(form->option1Value());
    EXPECT_FALSE(form->option2Value());
    EXPECT_TRUE(child<QRadioButton>("Option1")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("Option2")->isEnabled());
    const SourceFields f = form->sourceFields();
    EXPECT_TRUE(f.accessPath.isEmpty() && f.accessPassword.isEmpty() && f.sqlitePath.isEmpty());
    EXPECT_EQ(storedKeys(), QStringList{"Check1"});
    EXPECT_EQ(settings::read("Check1"), "1");
    EXPECT_EQ(form->progressText(), "Progress Bar");
}

TEST_F(MainWindow, StoredValuesAreRestored) {
    settings::save("SQLiteDatabase", "/tmp/out.db3");
    settings::save("AccessMDBFile", "/tmp/in.mdb");
    settings::save("AccessPassword", "pw;1");
    settings::save("Check1", "1");
    settings::save("Option1", "False");
    settings::save("Option2", "True");
    start();
    EXPECT_EQ(form->sourceFields().sqlitePath, "/tmp/out.db3");
    EXPECT_EQ(form->sourceFields().accessPath, "/tmp/in.mdb");
    EXPECT_EQ(form->sourceFields().accessPassword, "pw;1");
    EXPECT_EQ(text("Text6")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(form->option1Value());
    EXPECT_TRUE(form->option2Value());
    EXPECT_EQ(settings::read("Option1"), "False");
    EXPECT_EQ(settings::read("Option2"), "True");
}

TEST_F(MainWindow, StoredCheck1ZeroDisablesTheOptions) {
    settings::save("Check1", "0");
    start();
    EXPECT_EQ(form->check1Value(), 0);
    EXPECT_FALSE(child<QRadioButton>("Option1")->isEnabled());
    EXPECT_FALSE(child<QRadioButton>("Option2")->isEnabled());
    EXPECT_EQ(settings::read("Check1"), "0");
    child<QCheckBox>("Check1")->click();
    EXPECT_TRUE(child<QRadioButton>("Option1")->isEnabled());
    EXPECT_EQ(settings::read("Check1"), "1");
}

TEST_F(MainWindow, UnreadableStoredOptionIsReportedAtLine130) {
    settings::save("Option1", "maybe");
    start();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Application Error");
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.messages[0].text, "Type mismatch\r\nin Quellbrook2021/08/31.Form1.Form_Load at line 130\r\r"
                                   "Please email screenshot of this message to " +
                                       config::kSupportEmail);
    // The option keeps its design state and loading went on.
    EXPECT_TRUE(form->option1Value());
    EXPECT_TRUE(loaded);
}

TEST_F(MainWindow, UnreadableCheck1AndOption2AreReportedWithTheirLines) {
    settings::save("Check1", "yes");
    settings::save("Option2", "");
    settings::save("SQLiteDatabase", "/kept.db3");
    start();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[0].text.contains("Form_Load at line 128\r\r"));
    EXPECT_TRUE(ui.messages[1].text.contains("Form_Load at line 132\r\r"));
    EXPECT_EQ(form->check1Value(), 0);  // design state: unchecked
    EXPECT_FALSE(child<QRadioButton>("Option1")->isEnabled());
    EXPECT_EQ(form->sourceFields().sqlitePath, "/kept.db3");
}

TEST_F(MainWindow, OptionClicksStoreBothKeys) {
    start();
    child<QRadioButton>("Option2")->click();
    EXPECT_EQ(settings::read("Option1"), "False");
    EXPECT_EQ(settings::read("Option2"), "True");
    child<QRadioButton>("Option1")->click();
    EXPECT_EQ(settings::read("Option1"), "True");
    EXPECT_EQ(settings::read("Option2"), "False");
}

TEST_F(MainWindow, TypedPasswordIsStoredAtOnceInAnOwnerOnlyFileAndComesBack) {
    start();
    QTest::keyClicks(text("Text6"), "s");
    EXPECT_EQ(settings::read("AccessPassword"), "s");
    QTest::keyClicks(text("Text6"), "3;c=r");
    EXPECT_EQ(settings::read("AccessPassword"), "s3;c=r");
    EXPECT_EQ(fileMode(settings::storeFileName()), 0600);
    start();
    EXPECT_EQ(form->sourceFields().accessPassword, "s3;c=r");
}

TEST_F(MainWindow, FocusSelectsTheWholeText) {
    start();
    text("Text5")->setText("/some/file.mdb");
    // Focus given by the program (not by Tab, which selects all by itself).
    QFocusEvent focusIn(QEvent::FocusIn, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(text("Text5"), &focusIn);
    EXPECT_EQ(text("Text5")->selectedText(), "/some/file.mdb");
}

TEST_F(MainWindow, HelpTextsAreExact) {
    start();
    click("PushButton5");
    click("PushButton6");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              "This software transfers text-based and numeric fields but does not handle binary / pictures fields."
              "\r\n\r\nUse SQL Preview if your tables contains less than 32767 rows.\r\n\r\n"
              "Questions? Please contact Team Harrowind at " +
                  config::kContactPage);
    EXPECT_EQ(ui.messages[1].text, "I use\r\r" + config::kSqliteBrowserPage + "\r\rto interface with my SQLite database.");
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.title, "Quellbrook");
        EXPECT_EQ(m.icon, MsgIcon::None);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
    }
}

TEST_F(MainWindow, SampleButtonsFillThePathsEvenWithoutTheFiles) {
    start();
    text("Text6")->setText("keep");
    click("PushButton4");
    click("PushButton8");
    EXPECT_EQ(form->sourceFields().accessPath, appDir.path() + "/Samples/sample.mdb");
    EXPECT_EQ(form->sourceFields().sqlitePath, appDir.path() + "/Samples/sample1.db3");
    EXPECT_EQ(form->sourceFields().accessPassword, "keep");
    EXPECT_EQ(settings::read("AccessMDBFile"), appDir.path() + "/Samples/sample.mdb");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MainWindow, BrowseTakesTheChosenFileAndCancelLeavesTheField) {
    start();
    text("Text5")->setText("/before.mdb");
    files.answers = {"", "/chosen/db.accdb"};
    click("PushButton1");
    EXPECT_EQ(form->sourceFields().accessPath, "/before.mdb");
    click("PushButton1");
    EXPECT_EQ(form->sourceFields().accessPath, "/chosen/db.accdb");
    EXPECT_EQ(settings::read("AccessMDBFile"), "/chosen/db.accdb");
    EXPECT_EQ(files.titles.first(), "Select Access Database");
    EXPECT_TRUE(files.filters.first().startsWith("All Microsoft Databases (*.mdb,*.accdb) (*.*db);;"));

    files.answers = {"/new/not-yet.db3"};
    click("PushButton2");
    EXPECT_EQ(files.titles.last(), "Select SQLite Database");
    EXPECT_EQ(form->sourceFields().sqlitePath, "/new/not-yet.db3");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MainWindow, StartFilesReplaceTheStoredFieldsAsAbsolutePathsAndAreKept) {
    settings::save("AccessMDBFile", "/stored/in.mdb");
    settings::save("SQLiteDatabase", "/stored/out.db3");
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const QString cwd = QDir::currentPath();

    // One name, as a file manager passes it: the SQLite field keeps its value.
    start().openStartFiles({"picked.mdb"});
    EXPECT_EQ(form->sourceFields().accessPath, cwd + "/picked.mdb");
    EXPECT_EQ(form->sourceFields().sqlitePath, "/stored/out.db3");
    form->openStartFiles({"../a b/x.accdb", "sub/new.db3"});
    QDir::setCurrent(before);
    const QString parent = QFileInfo(cwd).absolutePath();
    EXPECT_EQ(settings::read("AccessMDBFile"), parent + "/a b/x.accdb");
    EXPECT_EQ(settings::read("SQLiteDatabase"), cwd + "/sub/new.db3");

    start();  // the next start shows them from the store
    EXPECT_EQ(form->sourceFields().accessPath, parent + "/a b/x.accdb");
    EXPECT_EQ(form->sourceFields().sqlitePath, cwd + "/sub/new.db3");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MainWindow, FailingDialogIsReportedWithTheBrowseHandlersLine) {
    start();
    files.answers = {"<throw>"};
    click("PushButton2");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.startsWith(
        "Dialog failed\r\nin Quellbrook2021/08/31.Form1.PushButton2_Click at line 108\r\r"));
}

TEST_F(MainWindow, TestConnection) {
    start();
    const QString dir = appDir.path();
    auto testWith = [&](const QString& path) {
        ui.messages.clear();
        text("Text1")->setText(path);
        click("PushButton3");
        EXPECT_EQ(form->pointerRule().pointer(), PointerRule::Default);
        return ui.texts();
    };
    // Every refusal names the file and the reason on a second line.
    EXPECT_EQ(testWith(""), QStringList{"Could not connect.\r\nNo SQLite file is named."});
    EXPECT_EQ(ui.messages[0].title, "Quellbrook");
    EXPECT_EQ(testWith(dir + "/missing.db3"),
              QStringList{"Could not connect.\r\n" + dir + "/missing.db3: cannot be used as the SQLite file: missing"});
    EXPECT_FALSE(QFile::exists(dir + "/missing.db3"));
    EXPECT_EQ(testWith(dir),
              QStringList{"Could not connect.\r\n" + dir + ": cannot be used as the SQLite file: not a regular file"});

    ASSERT_TRUE(writeFile(dir + "/notes.txt", "These are notes, not a database. They are long enough to fill "
                                              "a header of one hundred bytes.\n"));
    const QStringList notes = testWith(dir + "/notes.txt");
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].startsWith("Could not connect.\r\n" + dir + "/notes.txt: cannot be used as the SQLite file: "
                                    "not a database: "))
        << notes[0].toStdString();

    const QString good = dir + "/good.db3";
    {
        auto c = Connection::create();
        c->open(SQLiteConnectionString(good).toStdString());
        c->execute("CREATE TABLE t (a TEXT)");
        c->close();
    }
    EXPECT_EQ(testWith(good), QStringList{"Connection successful."});
}

TEST_F(MainWindow, HomePageOpensOnlyWhenTheDrawIsSeven) {
    ui.nextDraw = 8;
    start();
    EXPECT_TRUE(ui.urls.isEmpty());
    ui.nextDraw = 7;
    start();
    EXPECT_EQ(ui.urls, QStringList{config::kHomePage});
}

TEST_F(MainWindow, MissingProviderEndsTheLoad) {
    providerFound = false;
    start();
    EXPECT_FALSE(loaded);
}

TEST_F(MainWindow, CursorFileBecomesTheHandAndABrokenOneIsReportedAtLine106) {
    QFile shipped(QStringLiteral(QB_SHELL_RESOURCES "/HAND-M.CUR"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    writeAppFile("/HAND-M.CUR", shipped.readAll());
    start();
    EXPECT_TRUE(form->pointerRule().hasHandCursor());
    EXPECT_TRUE(ui.messages.empty());

    writeAppFile("/HAND-M.CUR", "garbage");
    start();
    EXPECT_FALSE(form->pointerRule().hasHandCursor());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.startsWith("Invalid picture\r\nin Quellbrook2021/08/31.Form1.Form_Load at line 106"));
}

TEST_F(MainWindow, BusyPointerStaysWhileThePointerCrossesButtonsAndFrames) {
    start();
    form->setBusyPointer(true);
    for (const char* name : {"PushButton7", "Frame2", "Text1", "PushButton3"})
        form->pointerRule().pointerMovedOver(form->findChild<QWidget*>(name));
    EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
    form->setBusyPointer(false);
    form->pointerRule().pointerMovedOver(form->findChild<QWidget*>("PushButton7"));
    EXPECT_EQ(form->pointerRule().pointer(), PointerRule::Custom);
}

TEST_F(MainWindow, LayoutNamesCaptionsAndTabOrder) {
    start();
    EXPECT_EQ(form->size(), QSize(536, 492));
    EXPECT_EQ(child<QPushButton>("PushButton5")->geometry(), QRect(8, 8, 520, 27));
    EXPECT_EQ(child<QGroupBox>("Frame3")->geometry(), QRect(8, 172, 520, 129));
    EXPECT_EQ(child<QGroupBox>("Frame3")->title(), "SQLite File");
    EXPECT_EQ(text("Text6")->parentWidget()->objectName(), "Frame1");
    EXPECT_EQ(text("Text6")->geometry(), QRect(152, 53, 351, 23));
    EXPECT_EQ(child<QPushButton>("PushButton2")->geometry(), QRect(456, 24, 47, 23));
    EXPECT_EQ(child<QLabel>("lblPassword")->text(), "Password (if required):");
    EXPECT_EQ(child<QPushButton>("PushButton7")->text(), "Start Converting");
    EXPECT_EQ(child<QCheckBox>("Check1")->text(), "Enable SQL Preview mode to see SQL commands or check for errors");
    EXPECT_DOUBLE_EQ(child<QPushButton>("PushButton7")->font().pointSizeF(), 11.25);
    EXPECT_TRUE(form->font().bold());
    EXPECT_EQ(child<QListWidget>("List1")->geometry().top(), 588);
    EXPECT_TRUE(child<QListWidget>("List1")->isHidden());

    QStringList order;
    QWidget* w = child<QCheckBox>("Check1");
    for (int step = 0; step < 200 && order.size() < 13; ++step, w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !w->isHidden()) order << w->objectName();
    // Tab stops at the chosen option only.
    EXPECT_EQ(order, (QStringList{"Check1", "Option1", "PushButton7", "PushButton5", "Text5", "Text6",
                                  "PushButton1", "PushButton4", "Text1", "PushButton2", "PushButton3", "PushButton6",
                                  "PushButton8"}));
}

// Without a mouse: the skin shows which disabled option is chosen, Tab
// reaches the chosen one, and the help's address is never split over lines.
TEST_F(MainWindow, KeyboardUserSeesAndReachesTheChosenOptionAndTheWholeAddress) {
    QFile shipped(QStringLiteral(QB_SHELL_RESOURCES "/o.cjs"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    writeAppFile(config::kSkinFile, shipped.readAll());
    settings::save("Check1", "0");
    settings::save("Option1", "False");
    settings::save("Option2", "True");
    start();
    // The middle of each option's indicator, where the chosen one has its dot.
    auto dot = [&](const char* name) {
        auto* option = child<QRadioButton>(name);
        EXPECT_FALSE(option->isEnabled()) << name;
        QStyleOptionButton look;
        look.initFrom(option);
        const QRect box = option->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &look, option);
        return option->grab().toImage().pixelColor(box.center());
    };
    EXPECT_NE(dot("Option1"), dot("Option2"));

    child<QCheckBox>("Check1")->setChecked(true);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    child<QCheckBox>("Check1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), child<QRadioButton>("Option2"));

    const QString help = keepAddressesWhole(form1::generalHelpText());
    const qsizetype start = help.lastIndexOf(" at ") + 4;
    ASSERT_GE(start, 4);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, help);
    for (qsizetype at = start + 1; at < help.size(); ++at) {
        breaks.setPosition(at);
        EXPECT_FALSE(breaks.isAtBoundary()) << "a line may break at " << at << " inside the address";
    }
}

TEST_F(MainWindow, StartConvertingRunsTheInstalledRunAndClosingUnloads) {
    start();
    click("PushButton7");  // nothing installed yet: nothing happens
    int runs = 0;
    form->onStartConverting = [&] { ++runs; };
    click("PushButton7");
    EXPECT_EQ(runs, 1);
    form->show();
    form->close();
    EXPECT_EQ(unloads, 1);
}

}  // namespace
}  // namespace qb::test
