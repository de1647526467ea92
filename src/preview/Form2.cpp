#include "Form2.h"

#include "Clipboard.h"
#include "ExactTextEdit.h"
#include "FormKit.h"
#include "PreviewWindows.h"
#include "TableTransactions.h"
#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "shell/Appearance.h"
#include "shell/Controls.h"
#include "core/ErrorTrap.h"
#include "core/Interaction.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form2");
}

// Draws the lines that already ran in the disabled text colour, and tells
// whether the last mouse release over the list fell on a check box (the
// view reports that release as a click on the line all the same).
class Form2::LineDelegate : public QStyledItemDelegate {
public:
    LineDelegate(const int& linesDone, QObject* parent) : QStyledItemDelegate(parent), linesDone_(linesDone) {}

    bool releaseOnCheck = false;

    QStyleOptionViewItem optionFor(const QStyleOptionViewItem& base, const QModelIndex& index) const {
        QStyleOptionViewItem option(base);
        initStyleOption(&option, index);
        return option;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.row() >= linesDone_) return;
        const QColor grey = option->palette.color(QPalette::Disabled, QPalette::Text);
        option->palette.setColor(QPalette::Text, grey);
        option->palette.setColor(QPalette::HighlightedText, grey);
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            // The same rectangle the base class toggles the check in.
            const QStyleOptionViewItem item = optionFor(option, index);
            const QWidget* widget = option.widget;
            const QStyle* style = widget ? widget->style() : QApplication::style();
            const QRect check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, widget);
            releaseOnCheck = check.contains(static_cast<QMouseEvent*>(event)->position().toPoint());
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

private:
    const int& linesDone_;
};

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
    // Its text is copied and mailed as the database worded it.
    text1_ = makeControl<ExactTextEdit>(frame2_, "Text1");
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
    delegate_ = new LineDelegate(linesDone_, this);
    listView1_->setItemDelegate(delegate_);
    listView1_->installEventFilter(this);
    listView1_->viewport()->installEventFilter(this);
    connect(listView1_, &QTreeView::clicked, this, [this](const QModelIndex& index) { lineClicked(index); });

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton1_, pushButton2_, pushButton3_, pushButton4_, pushButton5_, pushButton6_,
                            pushButton7_, pushButton8_, pushButton9_});
    qApp->installEventFilter(this);
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

bool Form2::lineShownDone(int line) const {
    QStyleOptionViewItem base;
    base.initFrom(listView1_);
    const QStyleOptionViewItem option = delegate_->optionFor(base, list_.index(line - 1, 0));
    return option.palette.color(QPalette::Text) == option.palette.color(QPalette::Disabled, QPalette::Text);
}

void Form2::pushButton1Click() {
    // A second click (the second half of a double click, a click queued
    // while the statements ran) finds the execution under way.
    if (executing_) return;
    executing_ = true;
    leaving_ = false;
    setInert(true);
    // After a stop the lines before the stopped one are in the database:
    // running them again would duplicate their rows.
    // With one transaction per table a stop keeps only whole tables: the
    // lines of a table rolled back are not in the database.
    int linesRun = linesDone_;
    int kept = -1;
    const ExecuteResult result =
        windows_.tableStarts.empty()
            ? ExecuteSQL(list_, runnerOn(state_), state_, windows_.ErrorLine, *this, ui_, linesDone_ + 1, &linesRun)
            : ExecuteSQLByTable(list_, windows_.tableStarts, runnerOn(state_), state_, windows_.ErrorLine, *this, ui_,
                                linesDone_ + 1, kept);
    if (!windows_.tableStarts.empty()) linesRun = kept;
    executing_ = false;
    setInert(false);
    if (result == ExecuteResult::Stopped && linesRun > linesDone_) {
        linesDone_ = linesRun;
        listView1_->viewport()->update();
    }
    end_.linesRun = std::max(end_.linesRun, linesRun);
    end_.completed = result == ExecuteResult::Completed;
    if (result == ExecuteResult::Completed && !leaving_) {
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
    trap.run(100, [&] { windows_.showFindReplace(this, linesDone_); });
}

void Form2::pushButton4Click() { CopyErrorMessage(text1_->text(), windows_.clipboard(), ui_); }

void Form2::pushButton5Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton5_Click"));
    trap.run(100, [&] { reject(); });
}

void Form2::pushButton6Click() { JumpToErrorLine(list_, windows_.ErrorLine, *this, ui_); }

void Form2::pushButton7Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton7_Click"));
    trap.run(100, [&] { windows_.showDatatypes(this); });
}

void Form2::pushButton8Click() { EmailErrorMessage(text1_->text(), ui_); }

void Form2::pushButton9Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton9_Click"));
    trap.run(100, [&] {
        state_.StopConverting = false;
        end_.skipped = true;
    });
    trap.run(102, [&] { reject(); });
}

void Form2::listView1Click() {
    const int line = selectedLine();
    if (line == 0) return;
    // A changed executed line would never reach the database: the next
    // execution begins after it.
    if (line <= linesDone_) {
        showInfo(ui_, QStringLiteral("Line %1 has already been executed and is in the database; it cannot be "
                                     "changed here.")
                          .arg(line));
        return;
    }
    windows_.showEditLine(this, line, list_.text(line));
}

void Form2::lineClicked(const QModelIndex& index) {
    // A click on a check box only ticks the line.
    if (executing_ || delegate_->releaseOnCheck || !index.isValid()) return;
    selectLine(index.row() + 1);
    listView1Click();
}

void Form2::reject() {
    // Leaving ends a running execution before its next statement; the flags
    // are what the exit itself set.
    if (executing_) leaving_ = true;
    // After a stop, part of the list is in the database and the rest will
    // not be: say so before the window goes (during an execution the
    // execution says it).
    else if (linesDone_ > 0 && !end_.completed && isVisible())
        showInfo(ui_, partlyExecutedText(linesDone_, list_.count()));
    QDialog::reject();
}

namespace {

// The last mouse press anywhere in the program, kept from before any
// preview window exists so that the first one can tell a click on "Start
// Converting" from one meant for itself.
struct LastPress : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress && event->spontaneous()) {
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                window = widget->window();
                timestamp = static_cast<QMouseEvent*>(event)->timestamp();
                seen = true;
            }
        }
        return false;
    }
    QPointer<QWidget> window;
    quint64 timestamp = 0;
    bool seen = false;
};

QPointer<LastPress> lastPress;

}  // namespace

void Form2::watchInput() {
    if (lastPress || !qApp) return;
    lastPress = new LastPress;
    lastPress->setParent(qApp);
    qApp->installEventFilter(lastPress);
}

bool Form2::staleInput(QObject* watched, QEvent* event) {
    if (!event->spontaneous()) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            // The second press of a double click whose first press went to
            // another window (the preview before this one, or "Start
            // Converting") was meant for that window.
            const quint64 at = static_cast<QMouseEvent*>(event)->timestamp();
            const bool secondHalf = lastPress && lastPress->seen && lastPress->window != this &&
                                    at >= lastPress->timestamp &&
                                    at - lastPress->timestamp < quint64(QApplication::doubleClickInterval());
            mousePressed_ = !secondHalf;
            return secondHalf;
        }
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
            return !mousePressed_;
        case QEvent::KeyPress:
            // A key held down since before the window appeared repeats into it.
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) keyPressed_ = true;
            return !keyPressed_;
        case QEvent::KeyRelease:
            return !keyPressed_;
        default:
            return false;
    }
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (staleInput(watched, event)) return true;
    const QEvent::Type type = event->type();
    const bool mouseButton = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                             type == QEvent::MouseButtonDblClick;
    if (watched == listView1_->viewport() && mouseButton) {
        if (executing_) return true;
        delegate_->releaseOnCheck = false;
    }
    // Keys tick lines and move the selection.
    if (watched == listView1_ && executing_ && (type == QEvent::KeyPress || type == QEvent::KeyRelease)) return true;
    // Enter edits the selected line, as a click does.
    if (watched == listView1_ && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            listView1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form2::setInert(bool inert) {
    // The exits stay: they end the execution.
    for (QPushButton* b : {pushButton1_, pushButton2_, pushButton3_, pushButton4_, pushButton6_, pushButton7_,
                           pushButton8_})
        b->setEnabled(!inert);
}

void Form2::setProgressValue(double percent) { progressBar1_->setValue(qBound(0, qRound(percent), 100)); }

void Form2::setProgressText(const QString& text) { progressBar1_->setStatusText(text); }

void Form2::setBusy(bool busy) { pointer_->setBusy(busy); }

void Form2::selectLine(int line) {
    listView1_->selectionModel()->setCurrentIndex(list_.index(line - 1, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Form2::scrollToLine(int line) { listView1_->scrollTo(list_.index(line - 1, 0)); }

void Form2::setErrorText(const QString& text) { text1_->setText(text); }

}  // namespace qb
