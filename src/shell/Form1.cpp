#include "Form1.h"

#include "core/AppConfig.h"
#include "Controls.h"
#include "core/ErrorTrap.h"
#include "Form1Texts.h"
#include "OptionsWindow.h"
#include "core/Main.h"
#include "Settings.h"
#include "conversion/TargetCheck.h"
#include "dbaccess/ODBCProvider.h"
#include "dbaccess/SQLite.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>
#include <iterator>
#include <stdexcept>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form1");
}

Form1::Form1(Interaction& ui, FileChooser& files, QWidget* parent) : QWidget(parent), ui_(ui), files_(files) {
    checkProvider = [](Interaction& i) { return CheckProvider(i); };
    onUnload = [this] {
        QCoreApplication::exit(0);
        // A run in progress would carry on behind a closed window: end at once.
        if (runState.IsConverting) std::_Exit(0);
    };
    buildControls();
    connectHandlers();
}

Form1::~Form1() = default;

void Form1::buildControls() {
    setObjectName(kForm);
    setFont(arialBold(9));
    // The Options button adds a row below the progress bar; everything
    // above it stays where it always was.
    setFixedSize(twips(0, 0, 8040, 7380).size());

    pushButton5_ = makePushButton(this, "PushButton5", QStringLiteral("Help"), twips(120, 120, 7800, 405));

    frame1_ = makeControl<QGroupBox>(this, "Frame1", twips(120, 630, 7800, 1845));
    frame1_->setTitle(QStringLiteral("Access Database"));
    label5_ = makeLabel(frame1_, "Label5", QStringLiteral("MDB or ACCDB File:"), twips(240, 345, 1935, 255));
    text5_ = makeControl<QLineEdit>(frame1_, "Text5", twips(2280, 300, 4455, 345));
    pushButton1_ = makePushButton(frame1_, "PushButton1", QStringLiteral("..."), twips(6840, 300, 690, 345));
    lblPassword_ =
        makeLabel(frame1_, "lblPassword", QStringLiteral("Password (if required):"), twips(240, 840, 1950, 225));
    text6_ = makeControl<QLineEdit>(frame1_, "Text6", twips(2280, 800, 5265, 345));
    text6_->setEchoMode(QLineEdit::Password);
    // Every character of the password shows as "*", whatever the style's own mask.
    text6_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    pushButton4_ = makePushButton(frame1_, "PushButton4", QStringLiteral("Load Sample/Example Database"),
                                  twips(240, 1260, 7275, 405));

    frame3_ = makeControl<QGroupBox>(this, "Frame3", twips(120, 2580, 7800, 1935));
    frame3_->setTitle(QStringLiteral("SQLite File"));
    label7_ = makeLabel(frame3_, "Label7", QStringLiteral("Database:"), twips(240, 405, 975, 255));
    text1_ = makeControl<QLineEdit>(frame3_, "Text1", twips(1320, 360, 5415, 345));
    pushButton2_ = makePushButton(frame3_, "PushButton2", QStringLiteral("..."), twips(6840, 360, 700, 345));
    pushButton3_ =
        makePushButton(frame3_, "PushButton3", QStringLiteral("Test Connection"), twips(255, 840, 7305, 405));
    pushButton6_ = makePushButton(frame3_, "PushButton6", QStringLiteral("Help"), twips(240, 1350, 3600, 405));
    pushButton8_ = makePushButton(frame3_, "PushButton8", QStringLiteral("Load Sample/Example Database"),
                                  twips(3960, 1350, 3600, 405));

    frame2_ = makeControl<QGroupBox>(this, "Frame2", twips(120, 4620, 7800, 1065));
    frame2_->setTitle(QStringLiteral("SQL Preview"));
    check1_ = makeControl<QCheckBox>(frame2_, "Check1", twips(240, 300, 6735, 255));
    check1_->setText(QStringLiteral("Enable SQL Preview mode to see SQL commands or check for errors"));
    option1_ = makeControl<QRadioButton>(frame2_, "Option1", twips(240, 630, 3135, 255));
    option1_->setText(QStringLiteral("Show SQL Preview For Each File"));
    option2_ = makeControl<QRadioButton>(frame2_, "Option2", twips(3600, 630, 3375, 255));
    option2_->setText(QStringLiteral("Show SQL Preview For Each Table"));
    option1_->setChecked(true);
    tabToChosenOption();

    pushButton7_ = makePushButton(this, "PushButton7", QStringLiteral("Start Converting"), twips(120, 5805, 7800, 405));

    progressBar1_ = makeStatusProgressBar(this, "ProgressBar1");
    progressBar1_->setGeometry(twips(120, 6330, 7800, 405));
    progressBar1_->setStatusText(QStringLiteral("Progress Bar"));
    pushButton9_ = makePushButton(this, "PushButton9", QStringLiteral("Options..."), twips(120, 6855, 7800, 405));

    // Working storage of the conversion run, below the client area.
    list1_ = makeControl<QListWidget>(this, "List1", twips(240, 8820, 3330, 1635));
    list2_ = makeControl<QListWidget>(this, "List2", twips(3840, 8820, 3330, 1635));
    list1_->hide();
    list2_->hide();

    QWidget* order[] = {check1_,      option1_, option2_,     pushButton7_, pushButton5_, text5_,       text6_,
                        pushButton1_, pushButton4_, text1_, pushButton2_, pushButton3_, pushButton6_, pushButton8_,
                        pushButton9_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    check1_->setFocus();

    SetDesignColors(this);

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton1_, pushButton2_, pushButton3_, pushButton4_, pushButton5_, pushButton6_,
                            pushButton7_, pushButton8_, pushButton9_});
    pointer_->showDefaultOver({frame1_, frame2_, frame3_, text1_, text5_, text6_});
}

void Form1::connectHandlers() {
    connect(text1_, &QLineEdit::textChanged, this,
            [](const QString& text) { settings::save(QStringLiteral("SQLiteDatabase"), text); });
    connect(text5_, &QLineEdit::textChanged, this,
            [](const QString& text) { settings::save(QStringLiteral("AccessMDBFile"), text); });
    connect(text6_, &QLineEdit::textChanged, this,
            [](const QString& text) { settings::save(QStringLiteral("AccessPassword"), text); });
    for (QLineEdit* box : {text1_, text5_, text6_}) box->installEventFilter(this);

    connect(check1_, &QCheckBox::stateChanged, this, [this](int state) {
        if (state != Qt::PartiallyChecked) check1_->setTristate(false);
        check1Click();
    });
    connect(option1_, &QRadioButton::toggled, this, [this](bool on) {
        tabToChosenOption();
        if (on) option1Click();
    });
    connect(option2_, &QRadioButton::toggled, this, [this](bool on) {
        tabToChosenOption();
        if (on) option2Click();
    });

    connect(pushButton1_, &QPushButton::clicked, this, [this] { pushButton1Click(); });
    connect(pushButton2_, &QPushButton::clicked, this, [this] { pushButton2Click(); });
    connect(pushButton3_, &QPushButton::clicked, this, [this] { pushButton3Click(); });
    connect(pushButton4_, &QPushButton::clicked, this, [this] { pushButton4Click(); });
    connect(pushButton5_, &QPushButton::clicked, this, [this] { pushButton5Click(); });
    connect(pushButton6_, &QPushButton::clicked, this, [this] { pushButton6Click(); });
    connect(pushButton7_, &QPushButton::clicked, this, [this] { pushButton7Click(); });
    connect(pushButton8_, &QPushButton::clicked, this, [this] { pushButton8Click(); });
    connect(pushButton9_, &QPushButton::clicked, this, [this] { pushButton9Click(); });
}

bool Form1::formLoad() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Form_Load"));
    trap.run(100, [&] { ApplyMainSkin(this); });
    if (trap.test(104, [&] { return FileExists(appFolder() + config::kCursorFile); }))
        trap.run(106, [&] { pointer_->loadHandCursorIfPresent(appFolder() + config::kCursorFile); });
    trap.run(108, [&] {
        // One start in a hundred shows the maker's home page.
        if (ui_.drawPercent() == 7) ui_.openUrl(config::kHomePage);
    });
    trap.run(126, [&] {
        setWindowTitle(config::kProductName);
        setWindowIcon(appIcon());
        SetAppTitle();
    });
    trap.run(128, [&] { setCheck1Value(settings::toInteger(settings::read(QStringLiteral("Check1"), QStringLiteral("1")))); });
    trap.run(130, [&] {
        setOptionValue(option1_, settings::toBoolean(settings::read(QStringLiteral("Option1"), QStringLiteral("1"))));
    });
    trap.run(132, [&] {
        setOptionValue(option2_, settings::toBoolean(settings::read(QStringLiteral("Option2"), QStringLiteral("0"))));
    });
    trap.run(134, [&] { text1_->setText(settings::read(QStringLiteral("SQLiteDatabase"))); });
    trap.run(136, [&] { text5_->setText(settings::read(QStringLiteral("AccessMDBFile"))); });
    trap.run(138, [&] { text6_->setText(settings::read(QStringLiteral("AccessPassword"))); });
    trap.run(140, [&] { check1Click(); });
    bool providerFound = true;
    trap.run(142, [&] { providerFound = checkProvider(ui_); });
    return providerFound;
}

void Form1::setCheck1Value(int value) {
    if (value < 0 || value > 2) throw std::runtime_error("Invalid property value");
    check1_->setTristate(value == 2);
    check1_->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void Form1::setOptionValue(QRadioButton* option, bool value) {
    if (option->isChecked() == value) return;
    if (value) {
        option->setChecked(true);
        return;
    }
    // An exclusive option refuses to be cleared directly; a stored "False"
    // still leaves it cleared.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

int Form1::check1Value() const {
    switch (check1_->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

bool Form1::option1Value() const { return option1_->isChecked(); }
bool Form1::option2Value() const { return option2_->isChecked(); }

SourceFields Form1::sourceFields() const { return {text5_->text(), text6_->text(), text1_->text()}; }

void Form1::setProgressValue(int percent) { progressBar1_->setValue(qBound(0, percent, 100)); }
int Form1::progressValue() const { return progressBar1_->value(); }
void Form1::setProgressText(const QString& text) { progressBar1_->setStatusText(text); }
QString Form1::progressText() const { return progressBar1_->text(); }

QStringList Form1::listItems(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

void Form1::setListItems(QListWidget* list, const QStringList& items) {
    list->clear();
    list->addItems(items);
}

void Form1::tabToChosenOption() {
    // As in any option group, Tab stops at the chosen option only and the
    // arrow keys choose among them; with none chosen, Tab stops at each.
    const bool chosen = option1_->isChecked() || option2_->isChecked();
    for (QRadioButton* option : {option1_, option2_})
        option->setFocusPolicy(option->isChecked() || !chosen ? Qt::StrongFocus : Qt::ClickFocus);
}

void Form1::check1Click() {
    const int value = check1Value();
    option1_->setEnabled(value == 1);
    option2_->setEnabled(value == 1);
    settings::save(QStringLiteral("Check1"), QString::number(value));
}

void Form1::option1Click() {
    settings::save(QStringLiteral("Option1"), settings::booleanText(option1_->isChecked()));
    settings::save(QStringLiteral("Option2"), settings::booleanText(option2_->isChecked()));
}

void Form1::option2Click() { option1Click(); }

void Form1::pushButton1Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton1_Click"));
    QString fileName, title, filter;
    trap.run(100, [&] { fileName.clear(); });
    trap.run(102, [] { /* read-only box ticked, long names: nothing in the chooser requires the file */ });
    trap.run(104, [&] { title = form1::kAccessDialogTitle; });
    trap.run(106, [&] { filter = form1::qtFileFilter(form1::kAccessDialogFilter); });
    trap.run(108, [&] { fileName = files_.openFileName(title, filter); });
    if (trap.test(110, [&] { return !fileName.isEmpty(); })) trap.run(112, [&] { text5_->setText(fileName); });
}

void Form1::openStartFiles(const QStringList& paths) {
    // The window starts from the current directory of whoever started it;
    // a relative name would mean something else on the next start.
    if (paths.size() > 0) text5_->setText(QFileInfo(paths[0]).absoluteFilePath());
    if (paths.size() > 1) text1_->setText(QFileInfo(paths[1]).absoluteFilePath());
}

void Form1::pushButton2Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton2_Click"));
    QString fileName, title, filter;
    trap.run(100, [&] { fileName.clear(); });
    trap.run(102, [] {});
    trap.run(104, [&] { title = form1::kSqliteDialogTitle; });
    trap.run(106, [&] { filter = form1::qtFileFilter(form1::kSqliteDialogFilter); });
    trap.run(108, [&] { fileName = files_.openFileName(title, filter); });
    if (trap.test(110, [&] { return !fileName.isEmpty(); })) trap.run(112, [&] { text1_->setText(fileName); });
}

void Form1::pushButton3Click() {
    // Its own trap: every failure is "Could not connect.", followed by which
    // file and why in the words of the conversion's own refusal.
    const QString path = text1_->text();
    auto refuse = [&] { showInfo(ui_, form1::kCouldNotConnect + QStringLiteral("\r\n") + sqliteTargetRefusal(path).text); };
    if (path.isEmpty() || !isNormalFile(path)) {
        refuse();
        return;
    }
    pointer_->setBusy(true);
    try {
        std::unique_ptr<Connection> connection = Connection::create();
        connection->cursorLocation = adUseServer;
        connection->open(SQLiteConnectionString(path).toStdString());
        showInfo(ui_, form1::kConnectionSuccessful);
        pointer_->setPointer(PointerRule::Default);
    } catch (...) {
        refuse();
        pointer_->setPointer(PointerRule::Default);
    }
}

void Form1::pushButton4Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton4_Click"));
    trap.run(100, [&] { text5_->setText(form1::sampleAccessPath()); });
}

void Form1::pushButton5Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton5_Click"));
    trap.run(100, [&] { showInfo(ui_, form1::generalHelpText()); });
}

void Form1::pushButton6Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton6_Click"));
    trap.run(100, [&] { showInfo(ui_, form1::sqliteHelpText()); });
}

void Form1::pushButton7Click() {
    // The run carries its own trap (PushButton7_Click).
    if (onStartConverting) onStartConverting();
}

void Form1::pushButton8Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton8_Click"));
    trap.run(100, [&] { text1_->setText(form1::sampleSqlitePath()); });
}

void Form1::pushButton9Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton9_Click"));
    trap.run(100, [&] {
        auto* window = new OptionsWindow(ui_, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->open();
    });
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched)) box->selectAll();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onUnload) onUnload();
}

}  // namespace qb
