#include "Form5.h"

#include "FormKit.h"
#include "conversion/ListViewModel.h"
#include "shell/Appearance.h"
#include "shell/Controls.h"
#include "core/ErrorTrap.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace qb {

namespace {
const QString kForm = QStringLiteral("Form5");
}

Form5::Form5(ListViewModel& datatypes, Interaction& ui, QWidget* owner)
    : QDialog(owner), datatypes_(datatypes), ui_(ui) {
    setObjectName(kForm);
    setFont(arialBold(9));
    resize(twips(0, 0, 7400, 6000).size());

    listView1_ = formkit::reportView(this, "ListView1", datatypes_);
    pushButton5_ = makePushButton(this, "PushButton5", QStringLiteral("< Back"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(pushButton5_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listView1_, 1);
    layout->addLayout(buttons);

    connect(pushButton5_, &QPushButton::clicked, this, [this] { pushButton5Click(); });

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton5_});
    pointer_->showDefaultOver({listView1_, listView1_->viewport()});
    formLoad();
}

void Form5::formLoad() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Form_Load"));
    formkit::loadWindowLook(trap, this, *pointer_, 100, QStringLiteral("Datatypes Conversion"));
    // The headings come with the list; the window sizes the columns.
    for (int c = 0; c < 4; ++c)
        trap.run(120 + 2 * c, [&] { formkit::applyColumnWidth(listView1_, datatypes_, c); });
}

void Form5::pushButton5Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton5_Click"));
    trap.run(100, [&] { reject(); });
}

}  // namespace qb
