#include "OptionsWindow.h"

#include "Appearance.h"
#include "Controls.h"
#include "Settings.h"
#include "core/AppConfig.h"
#include "core/ErrorTrap.h"
#include "core/Main.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>


namespace qb {

namespace {

const QString kForm = QStringLiteral("Options");

// Every choice the window offers, in the order shown: its settings key, its
// text and where it lands. A new choice is one more line here.
struct OptionBox {
    const char* key;
    const char* text;
    bool& (*field)(WindowOptions&);
};

const OptionBox kOptionBoxes[] = {
    {"OneTransactionPerTable", "One transaction per table (a table that fails is rolled back whole)",
     [](WindowOptions& o) -> bool& { return o.oneTransactionPerTable; }},
    {"KeysAndIndexes", "Primary keys, required fields, relationships and indexes",
     [](WindowOptions& o) -> bool& { return o.conversion.keys; }},
    {"ChildTables", "Attachments and multi-value fields as tables of their own",
     [](WindowOptions& o) -> bool& { return o.conversion.childTables; }},
    {"OleAsBlobs", "OLE Object fields as BLOB columns",
     [](WindowOptions& o) -> bool& { return o.conversion.blobs; }},
    {"IsoDates", "Dates as ISO 8601 text (YYYY-MM-DD hh:mm:ss), whatever the regional settings",
     [](WindowOptions& o) -> bool& { return o.conversion.isoDates; }},
    {"SavedQueriesAsViews", "Saved queries as views (with ISO dates, and Yes/No as -1 and 0)",
     [](WindowOptions& o) -> bool& { return o.conversion.views; }},
};

bool storedChoice(const char* key) {
    try {
        return settings::toBoolean(settings::read(QLatin1String(key), QStringLiteral("False")));
    } catch (const std::exception&) {
        return false;  // a damaged store must not switch anything on
    }
}

}  // namespace

WindowOptions loadWindowOptions() {
    WindowOptions options;
    for (const OptionBox& box : kOptionBoxes) box.field(options) = storedChoice(box.key);
    return options;
}

OptionsWindow::OptionsWindow(Interaction& ui, QWidget* owner) : QDialog(owner), ui_(ui) {
    setObjectName(kForm);
    setFont(arialBold(9));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* label = makeControl<QLabel>(this, "Label1");
    label->setText(QStringLiteral("Additions to the converted SQLite file (none are made unless chosen):"));
    layout->addWidget(label);
    int number = 1;
    for (const OptionBox& box : kOptionBoxes) {
        const QByteArray name = "Check" + QByteArray::number(number++);
        auto* check = makeControl<QCheckBox>(this, name.constData());
        check->setText(QLatin1String(box.text));
        layout->addWidget(check);
        boxes_.push_back(check);
    }
    pushButton1_ = makePushButton(this, "PushButton1", QStringLiteral("OK"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(pushButton1_);
    layout->addSpacing(twipsToPixels(120));
    layout->addLayout(buttons);

    pointer_ = new PointerRule(this);
    pointer_->showHandOver({pushButton1_});
    formLoad();
    // Connected after the load: showing the stored choice is not a change.
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        connect(boxes_[i], &QCheckBox::toggled, this, [this, i] { checkClick(i); });
    connect(pushButton1_, &QPushButton::clicked, this, [this] { pushButton1Click(); });
}

void OptionsWindow::formLoad() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Form_Load"));
    trap.run(100, [&] { SetPlainColors(this); });
    trap.run(104, [&] { setWindowIcon(appIcon()); });
    trap.run(106, [&] { setWindowTitle(QStringLiteral("Options - ") + config::kProductName); });
    const QString cursorFile = appFolder() + config::kCursorFile;
    if (trap.test(108, [&] { return FileExists(cursorFile); }))
        trap.run(110, [&] { pointer_->loadHandCursorIfPresent(cursorFile); });
    WindowOptions stored;
    trap.run(112, [&] { stored = loadWindowOptions(); });
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        trap.run(114, [&] { boxes_[i]->setChecked(kOptionBoxes[i].field(stored)); });
}

void OptionsWindow::checkClick(std::size_t index) {
    ErrorTrap trap(ui_, kForm, QStringLiteral("Check") + QString::number(index + 1) + QStringLiteral("_Click"));
    trap.run(100, [&] {
        settings::save(QLatin1String(kOptionBoxes[index].key), settings::booleanText(boxes_[index]->isChecked()));
    });
}

void OptionsWindow::pushButton1Click() {
    ErrorTrap trap(ui_, kForm, QStringLiteral("PushButton1_Click"));
    trap.run(100, [&] { accept(); });
}

}  // namespace qb
