#pragma once
// The Find and Replace window: replaces the first occurrence of a text in
// every line of the statement list, ignoring letter case.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qb {

class Interaction;
class ListViewModel;
class PointerRule;

class Form3 : public QDialog {
public:
    // Lines 1 to `executedLines` are in the database already: the pass
    // leaves them as they are.
    Form3(ListViewModel& statements, Interaction& ui, QWidget* owner, int executedLines = 0);

    QLineEdit* text1() const { return text1_; }  // Find what
    QLineEdit* text2() const { return text2_; }  // Replace with
    PointerRule& pointerRule() { return *pointer_; }

    void pushButton1Click();  // Cancel
    void pushButton2Click();  // Replace

private:
    void formLoad();

    ListViewModel& statements_;
    Interaction& ui_;
    int executedLines_ = 0;
    PointerRule* pointer_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label6_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    QPushButton* pushButton1_ = nullptr;
    QPushButton* pushButton2_ = nullptr;
};

}  // namespace qb
