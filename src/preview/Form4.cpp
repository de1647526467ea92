#include "Form4.h"

#include "FormKit.h"
#include "conversion/ListViewModel.h"
#include "shell/Appearance.h"
#include "shell/ErrorTrap.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form4");
}

Form4::Form4(ListViewModel& statements, Interaction& ui, QWidget* owner)
    : QDialog(owner), statements_(statements), ui_(ui) {
    using formkit::px;
    setObjectName(kForm);
    setFont(formkit::arialBold(9));
    setFixedSize(px(8040), px(2820));

    text1_ = new QPlainTextEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(px(120), px(120), px(7800), px(1905));
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text1_->installEventFilter(this);
    pushButton2_ = formkit::pushButton(this, "PushButton2", QStringLiteral("OK"));
    pushButton2_->setGeometry(px(3600), px(2160), px(2100), px(525));
    pushButton1_ = formkit::pushButton(this, "PushButton1", QStringLiteral("Cancel"));
    pushButton1_->setGeometry(px(5820), px(2160), px(2100), px(525));

    connect(pushButton1_, &QPushButton::clicked, this, [this] { pushButton1Click(); });
    connect(pushButton2_, &QPushButton::clicked, this, [this] { pushButton2Click(); });

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton1_, pushButton2_});
    formLoad();
    text1_->setFocus();
}

void Form4::formLoad() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Form_Load"));
    formkit::loadWindowLook(trap, this, *pointer_, 102, QStringLiteral("Edit Line"));
}

void Form4::setText1(const QString& text) { text1_->setPlainText(text); }

bool Form4::eventFilter(QObject* watched, QEvent* event) {
    // Typing replaces the whole statement at once.
    if (watched == text1_ && event->type() == QEvent::FocusIn) text1_->selectAll();
    return QDialog::eventFilter(watched, event);
}

void Form4::pushButton1Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton1_Click"));
    trap.run(100, [&] { reject(); });
}

void Form4::pushButton2Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton2_Click"));
    trap.run(100, [&] { statements_.setText(ListLine, text1_->toPlainText()); });
    trap.run(102, [&] { accept(); });
}

}  // namespace qb
