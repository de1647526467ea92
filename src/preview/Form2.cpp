#include "Form2.h"

#include "Clipboard.h"
#include "FormKit.h"
#include "PreviewWindows.h"
#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "shell/Appearance.h"
#include "shell/Controls.h"
#include "core/ErrorTrap.h"
#include "core/Interaction.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form2");
}

Form2::Form2(PreviewWindows& windows, RunState& state, QWidget* owner)
    : QDialog(owner), windows_(windows), state_(state), ui_(windows.ui()), list_(windows.statementList()) {
    buildControls();
    formLoad();
}

Form2::~Form2() = default;

void Form2::buildControls() {
    using namespace formkit;
    setObjectName(kForm);
    setFont(arialBold(9));
    resize(twips(0, 0, 14400, 9600).size());

    listView1_ = reportView(this, "ListView1", list_);
    progressBar1_ = makeStatusProgressBar(this, "ProgressBar1");

    pushButton1_ = makePushButton(this, "PushButton1", QStringLiteral("Execute SQL"));
    pushButton2_ = makePushButton(this, "PushButton2", QStringLiteral("Copy SQL To Clipboard"));
    pushButton3_ = makePushButton(this, "PushButton3", QStringLiteral("Find and Replace"));
    pushButton7_ = makePushButton(this, "PushButton7", QStringLiteral("View Datatype Conversion"));
    pushButton5_ = makePushButton(this, "PushButton5", QStringLiteral("< Back"));
    pushButton9_ = makePushButton(this, "PushButton9", QStringLiteral("Skip Table / Do Not Execute SQL"));

    frame2_ = new QGroupBox(QStringLiteral("Error:"), this);
    frame2_->setObjectName(QStringLiteral("Frame2"));
    text1_ = makeControl<QPlainTextEdit>(frame2_, "Text1");
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text1_->setFixedHeight(twipsToPixels(1200));
    pushButton4_ = makePushButton(frame2_, "PushButton4", QStringLiteral("Copy Error Message To Clipboard"));
    pushButton6_ = makePushButton(frame2_, "PushButton6", QStringLiteral("Jump To Error Line"));
    pushButton8_ = makePushButton(frame2_, "PushButton8", QStringLiteral(" Email Error Message To Harrowind"));

    auto* errorButtons = new QHBoxLayout;
    errorButtons->addWidget(pushButton4_);
    errorButtons->addWidget(pushButton6_);
    errorButtons->addWidget(pushButton8_);
    auto* frameLayout = new QVBoxLayout(frame2_);
    frameLayout->addWidget(text1_);
    frameLayout->addLayout(errorButtons);

    auto* mainButtons = new QHBoxLayout;
    mainButtons->addWidget(pushButton1_);
    mainButtons->addWidget(pushButton2_);
    mainButtons->addWidget(pushButton3_);
    mainButtons->addWidget(pushButton7_);
    auto* exitButtons = new QHBoxLayout;
    exitButtons->addWidget(pushButton5_);
    exitButtons->addWidget(pushButton9_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listView1_, 1);
    layout->addWidget(progressBar1_);
    layout->addLayout(mainButtons);
    layout->addLayout(exitButtons);
    layout->addWidget(frame2_);

    connect(pushButton1_, &QPushButton::clicked, this, [this] { pushButton1Click(); });
    connect(pushButton2_, &QPushButton::clicked, this, [this] { pushButton2Click(); });
    connect(pushButton3_, &QPushButton::clicked, this, [this] { pushButton3Click(); });
    connect(pushButton4_, &QPushButton::clicked, this, [this] { pushButton4Click(); });
    connect(pushButton5_, &QPushButton::clicked, this, [this] { pushButton5Click(); });
    connect(pushButton6_, &QPushButton::clicked, this, [this] { pushButton6Click(); });
    connect(pushButton7_, &QPushButton::clicked, this, [this] { pushButton7Click(); });
    connect(pushButton8_, &QPushButton::clicked, this, [this] { pushButton8Click(); });
    connect(pushButton9_, &QPushButton::clicked, this, [this] { pushButton9Click(); });
    // A click on a check box ticks the line and is no line click.
    connect(listView1_, &QTreeView::clicked, this, [this] { listView1Click(); });

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton1_, pushButton2_, pushButton3_, pushButton4_, pushButton5_, pushButton6_,
                            pushButton7_, pushButton8_, pushButton9_});
    pointer_->showDefaultOver({listView1_, listView1_->viewport(), frame2_});
}

void Form2::formLoad() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Form_Load"));
    formkit::loadWindowLook(trap, this, *pointer_, 100, QStringLiteral("SQL Preview"));
    // The column header itself comes with the list; the window sizes it.
    trap.run(114, [&] { formkit::applyColumnWidth(listView1_, list_, 0); });
}

int Form2::selectedLine() const {
    const QModelIndexList rows = listView1_->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void Form2::pushButton1Click() {
    if (ExecuteSQL(list_, runnerOn(state_), state_, windows_.ErrorLine, *this, ui_) == ExecuteResult::Completed) {
        ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton1_Click"));
        trap.run(148, [&] { accept(); });
    }
}

void Form2::pushButton2Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton2_Click"));
    trap.run(106, [&] { CopyCheckedRows(list_, windows_.clipboard(), ui_); });
    trap.run(108, [&] {
        showInfo(ui_, QStringLiteral("Results have been copied to the clipboard.") + QStringLiteral("\r\r") +
                          QStringLiteral("Click a text area where you normally type and press Ctrl+V to paste the "
                                         "clipboard."));
    });
}

void Form2::pushButton3Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton3_Click"));
    trap.run(100, [&] { windows_.showFindReplace(this); });
}

void Form2::pushButton4Click() { CopyErrorMessage(text1_->toPlainText(), windows_.clipboard(), ui_); }

void Form2::pushButton5Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton5_Click"));
    trap.run(100, [&] { reject(); });
}

void Form2::pushButton6Click() { JumpToErrorLine(list_, windows_.ErrorLine, *this, ui_); }

void Form2::pushButton7Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton7_Click"));
    trap.run(100, [&] { windows_.showDatatypes(this); });
}

void Form2::pushButton8Click() { EmailErrorMessage(text1_->toPlainText(), ui_); }

void Form2::pushButton9Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton9_Click"));
    trap.run(100, [&] { state_.StopConverting = false; });
    trap.run(102, [&] { reject(); });
}

void Form2::listView1Click() {
    const int line = selectedLine();
    if (line == 0) return;
    windows_.showEditLine(this, line, list_.text(line));
}

void Form2::setProgressValue(double percent) { progressBar1_->setValue(qBound(0, qRound(percent), 100)); }

void Form2::setProgressText(const QString& text) { progressBar1_->setStatusText(text); }

void Form2::setBusy(bool busy) { pointer_->setBusy(busy); }

void Form2::selectLine(int line) {
    listView1_->selectionModel()->setCurrentIndex(list_.index(line - 1, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Form2::scrollToLine(int line) { listView1_->scrollTo(list_.index(line - 1, 0)); }

void Form2::setErrorText(const QString& text) { text1_->setPlainText(text); }

}  // namespace qb
