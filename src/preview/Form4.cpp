#include "Form4.h"

#include "FormKit.h"
#include "conversion/ListViewModel.h"
#include "shell/Appearance.h"
#include "shell/Controls.h"
#include "core/ErrorTrap.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form4");
}

Form4::Form4(ListViewModel& statements, Interaction& ui, QWidget* owner)
    : QDialog(owner), statements_(statements), ui_(ui) {
    setObjectName(kForm);
    setFont(arialBold(9));
    setFixedSize(twips(0, 0, 8040, 2820).size());

    text1_ = makeControl<QPlainTextEdit>(this, "Text1", twips(120, 120, 7800, 1905));
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text1_->installEventFilter(this);
    pushButton2_ = makePushButton(this, "PushButton2", QStringLiteral("OK"), twips(3600, 2160, 2100, 525));
    pushButton1_ = makePushButton(this, "PushButton1", QStringLiteral("Cancel"), twips(5820, 2160, 2100, 525));

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
