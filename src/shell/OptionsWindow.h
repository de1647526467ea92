#pragma once
// The Options window: the command line's additions to a conversion, for the
// window's user. Each choice is remembered in the settings store the moment
// it changes, and every one is off until chosen; with all of them off a run
// is exactly what it was before the window existed.

#include "conversion/ConversionHost.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QPushButton;

namespace qb {

class Interaction;
class PointerRule;

struct WindowOptions {
    // The command line's --fast: each table in one transaction, a table
    // that fails rolled back whole and the file left as it was.
    bool oneTransactionPerTable = false;
    ConversionOptions conversion;
};

// The choices as stored; a missing or unreadable value is off.
WindowOptions loadWindowOptions();

class OptionsWindow : public QDialog {
public:
    OptionsWindow(Interaction& ui, QWidget* owner);

    // The check boxes in the order shown (tests drive them).
    const std::vector<QCheckBox*>& checkBoxes() const { return boxes_; }
    PointerRule& pointerRule() { return *pointer_; }

    void pushButton1Click();  // OK

private:
    void formLoad();
    void checkClick(std::size_t index);

    Interaction& ui_;
    PointerRule* pointer_ = nullptr;
    std::vector<QCheckBox*> boxes_;
    QPushButton* pushButton1_ = nullptr;
};

}  // namespace qb
