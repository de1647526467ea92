#pragma once
// Folder src/preview: the SQL Preview window and the windows it opens, over
// window-free execution, find-and-replace and clipboard logic. It may use
// src/shell and everything below it, never src/cli or src/app.
//
// The SQL Preview window: the statement list, "Execute SQL" with progress
// and error location, copying, Find and Replace, Edit Line on a line click,
// the datatype view, and the exits that answer the waiting conversion run.

#include "StatementExecution.h"
#include "conversion/RunState.h"
#include "shell/Controls.h"

#include <QDialog>

class QGroupBox;
class QPushButton;
class QTreeView;

namespace qb {

class ExactTextEdit;
class Interaction;
class ListViewModel;
class PointerRule;
class PreviewWindows;
struct RunState;

class Form2 : public QDialog, private ExecutionDisplay {
public:
    Form2(PreviewWindows& windows, RunState& state, QWidget* owner);
    ~Form2() override;

    QTreeView* listView1() const { return listView1_; }
    ExactTextEdit* text1() const { return text1_; }
    StatusProgressBar* progressBar1() const { return progressBar1_; }
    PointerRule& pointerRule() { return *pointer_; }
    // The selected line (1-based), 0 when none.
    int selectedLine() const;
    // While "Execute SQL" runs, only the exits act: they end it.
    bool executing() const { return executing_; }
    // Lines 1 to linesDone() ran before the last stop; they are shown
    // greyed, and the next "Execute SQL" begins after them.
    int linesDone() const { return linesDone_; }
    // Whether line `line` (1-based) is drawn as done.
    bool lineShownDone(int line) const;
    // Starts noting mouse presses, so that every preview window shown later
    // can tell a double click begun elsewhere; called once at startup.
    static void watchInput();
    // How the window ended, for the run's account.
    const PreviewEnd& end() const { return end_; }

    // Event procedures.
    void pushButton1Click();  // Execute SQL
    void pushButton2Click();  // Copy SQL To Clipboard
    void pushButton3Click();  // Find and Replace
    void pushButton4Click();  // Copy Error Message To Clipboard
    void pushButton5Click();  // < Back
    void pushButton6Click();  // Jump To Error Line
    void pushButton7Click();  // View Datatype Conversion
    void pushButton8Click();  // Email Error Message
    void pushButton9Click();  // Skip Table / Do Not Execute SQL
    // Edit Line for the selected line.
    void listView1Click();
    // "< Back", "Skip Table" and the close box end here.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class LineDelegate;

    void buildControls();
    void formLoad();
    void lineClicked(const QModelIndex& index);
    void setInert(bool inert);
    // Input meant for what was there before the window appeared (the second
    // half of a double click, a key held down) is dropped, and so are the
    // releases that belong to it.
    bool staleInput(QObject* watched, QEvent* event);

    // ExecutionDisplay
    void setProgressValue(double percent) override;
    void setProgressText(const QString& text) override;
    void setBusy(bool busy) override;
    void selectLine(int line) override;
    void scrollToLine(int line) override;
    void setErrorText(const QString& text) override;
    bool leaving() const override { return leaving_; }

    PreviewWindows& windows_;
    RunState& state_;
    Interaction& ui_;
    ListViewModel& list_;
    PointerRule* pointer_ = nullptr;

    QTreeView* listView1_ = nullptr;
    QPushButton* pushButton1_ = nullptr;
    QPushButton* pushButton2_ = nullptr;
    QPushButton* pushButton3_ = nullptr;
    QPushButton* pushButton4_ = nullptr;
    QPushButton* pushButton5_ = nullptr;
    QPushButton* pushButton6_ = nullptr;
    QPushButton* pushButton7_ = nullptr;
    QPushButton* pushButton8_ = nullptr;
    QPushButton* pushButton9_ = nullptr;
    QGroupBox* frame2_ = nullptr;
    ExactTextEdit* text1_ = nullptr;
    StatusProgressBar* progressBar1_ = nullptr;
    LineDelegate* delegate_ = nullptr;

    bool executing_ = false;
    bool leaving_ = false;
    int linesDone_ = 0;
    PreviewEnd end_;
    bool mousePressed_ = false;
    bool keyPressed_ = false;
};

}  // namespace qb
