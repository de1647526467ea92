#include "Form3.h"

#include "FindReplace.h"
#include "FormKit.h"
#include "shell/Appearance.h"
#include "shell/Controls.h"
#include "core/ErrorTrap.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form3");
}

Form3::Form3(ListViewModel& statements, Interaction& ui, QWidget* owner, int executedLines)
    : QDialog(owner), statements_(statements), ui_(ui), executedLines_(executedLines) {
    setObjectName(kForm);
    setFont(arialBold(9));
    setFixedSize(twips(0, 0, 6360, 2280).size());

    // Created in tab order: the search text first.
    label2_ = makeLabel(this, "Label2", QStringLiteral("Find what:"), twips(120, 180, 1455, 255));
    text1_ = makeControl<QLineEdit>(this, "Text1", twips(1680, 120, 4455, 345));
    label6_ = makeLabel(this, "Label6", QStringLiteral("Replace with:"), twips(120, 660, 1455, 255));
    text2_ = makeControl<QLineEdit>(this, "Text2", twips(1680, 600, 4455, 345));
    pushButton2_ = makePushButton(this, "PushButton2", QStringLiteral("Replace"), twips(1680, 1200, 2160, 525));
    pushButton1_ = makePushButton(this, "PushButton1", QStringLiteral("Cancel"), twips(3975, 1200, 2160, 525));

    // Enter in either field replaces.
    pushButton2_->setDefault(true);
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
    const ReplaceResult result = FindAndReplace(statements_, text1_->text(), text2_->text(), ui_,
                                                [this](bool busy) { pointer_->setBusy(busy); }, executedLines_);
    if (result == ReplaceResult::Done) {
        ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton2_Click"));
        trap.run(126, [&] { accept(); });
    }
}

}  // namespace qb
