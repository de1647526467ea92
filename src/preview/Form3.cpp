#include "Form3.h"

#include "FindReplace.h"
#include "FormKit.h"
#include "shell/Appearance.h"
#include "shell/ErrorTrap.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form3");
}

Form3::Form3(ListViewModel& statements, Interaction& ui, QWidget* owner)
    : QDialog(owner), statements_(statements), ui_(ui) {
    using formkit::px;
    setObjectName(kForm);
    setFont(formkit::arialBold(9));
    setFixedSize(px(6360), px(2280));

    // Created in tab order: the search text first.
    label2_ = new QLabel(QStringLiteral("Find what:"), this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(px(120), px(180), px(1455), px(255));
    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(px(1680), px(120), px(4455), px(345));
    label6_ = new QLabel(QStringLiteral("Replace with:"), this);
    label6_->setObjectName(QStringLiteral("Label6"));
    label6_->setGeometry(px(120), px(660), px(1455), px(255));
    text2_ = new QLineEdit(this);
    text2_->setObjectName(QStringLiteral("Text2"));
    text2_->setGeometry(px(1680), px(600), px(4455), px(345));
    pushButton2_ = formkit::pushButton(this, "PushButton2", QStringLiteral("Replace"));
    pushButton2_->setGeometry(px(1680), px(1200), px(2160), px(525));
    pushButton1_ = formkit::pushButton(this, "PushButton1", QStringLiteral("Cancel"));
    pushButton1_->setGeometry(px(3975), px(1200), px(2160), px(525));

    connect(pushButton1_, &QPushButton::clicked, this, [this] { pushButton1Click(); });
    connect(pushButton2_, &QPushButton::clicked, this, [this] { pushButton2Click(); });

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton1_, pushButton2_});
    formLoad();
    text1_->setFocus();
}

void Form3::formLoad() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Form_Load"));
    formkit::loadWindowLook(trap, this, *pointer_, 102, QStringLiteral("Find and Replace"));
}

void Form3::pushButton1Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton1_Click"));
    trap.run(100, [&] { reject(); });
}

void Form3::pushButton2Click() {
    const ReplaceResult result =
        FindAndReplace(statements_, text1_->text(), text2_->text(), ui_, [this](bool busy) { pointer_->setBusy(busy); });
    if (result == ReplaceResult::Done) {
        ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton2_Click"));
        trap.run(126, [&] { accept(); });
    }
}

}  // namespace qb
