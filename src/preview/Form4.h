#pragma once
// The Edit Line window: one statement of the preview list, written back
// into its line on "OK".

#include <QDialog>

class QPushButton;

namespace qb {

class ExactTextEdit;
class Interaction;
class ListViewModel;
class PointerRule;

class Form4 : public QDialog {
public:
    Form4(ListViewModel& statements, Interaction& ui, QWidget* owner);

    // The edited line of the preview list (1-based).
    int ListLine = 0;

    ExactTextEdit* text1() const { return text1_; }
    void setText1(const QString& text);
    PointerRule& pointerRule() { return *pointer_; }

    void pushButton1Click();  // Cancel
    void pushButton2Click();  // OK

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void formLoad();

    ListViewModel& statements_;
    Interaction& ui_;
    PointerRule* pointer_ = nullptr;
    ExactTextEdit* text1_ = nullptr;
    QPushButton* pushButton1_ = nullptr;
    QPushButton* pushButton2_ = nullptr;
};

}  // namespace qb
