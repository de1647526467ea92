#pragma once
// The Datatypes Conversion window: the SQLite type chosen for every Access
// field, as the conversion run listed them.

#include <QDialog>

class QPushButton;
class QTreeView;

namespace qb {

class Interaction;
class ListViewModel;
class PointerRule;

class Form5 : public QDialog {
public:
    Form5(ListViewModel& datatypes, Interaction& ui, QWidget* owner);

    QTreeView* listView1() const { return listView1_; }
    PointerRule& pointerRule() { return *pointer_; }

    void pushButton5Click();  // < Back

protected:
    void showEvent(QShowEvent* event) override;

private:
    void formLoad();

    ListViewModel& datatypes_;
    Interaction& ui_;
    PointerRule* pointer_ = nullptr;
    QTreeView* listView1_ = nullptr;
    QPushButton* pushButton5_ = nullptr;
};

}  // namespace qb
