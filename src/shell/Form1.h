#pragma once
// Folder src/shell: the window program's ground floor: this main window, the
// settings store, appearance and controls, and the Qt side of the interaction
// seam. It may use src/conversion, src/dbaccess and src/core, never
// src/preview, src/cli or src/app.
//
// The main window: the Access file, its password, the SQLite file and the
// SQL preview options, each remembered in the settings store as soon as it
// changes; the browse, sample, help and test buttons; and "Start Converting",
// which hands over to the conversion run. Closing it ends the program.

#include "Appearance.h"
#include "Controls.h"
#include "FileChooser.h"
#include "core/Interaction.h"
#include "conversion/RunState.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SourceFields.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace qb {

class Form1 : public QWidget {
public:
    Form1(Interaction& ui, FileChooser& files, QWidget* parent = nullptr);
    ~Form1() override;

    // Form_Load: skin, pointer, caption, settings, provider check. Returns
    // false when the provider check failed and the program must end.
    bool formLoad();

    // The conversion run behind "Start Converting"; until one is installed
    // the button does nothing.
    std::function<void()> onStartConverting;
    // The startup provider check (replaceable for tests).
    std::function<bool(Interaction&)> checkProvider;
    // What closing the window does; by default it ends the program.
    std::function<void()> onUnload;

    // State the conversion run keeps on the window (SQLite_conn, SQLFormOK,
    // IsConverting, StopConverting).
    RunState runState;

    Interaction& ui() { return ui_; }

    // Inputs of a run, read at the moment of asking.
    SourceFields sourceFields() const;
    int check1Value() const;  // 0 unchecked, 1 checked, 2 grayed
    bool option1Value() const;
    bool option2Value() const;

    // The progress bar: value 0..100 and the text shown on it.
    void setProgressValue(int percent);
    int progressValue() const;
    void setProgressText(const QString& text);
    QString progressText() const;

    // Busy / default pointer and the hover rule.
    PointerRule& pointerRule() { return *pointer_; }
    void setBusyPointer(bool busy) { pointer_->setBusy(busy); }

    // The two hidden working lists: SQLite tables (List1), Access tables (List2).
    QListWidget* list1() const { return list1_; }
    QListWidget* list2() const { return list2_; }
    static QStringList listItems(const QListWidget* list);
    static void setListItems(QListWidget* list, const QStringList& items);

    // Event procedures.
    void check1Click();
    void option1Click();
    void option2Click();
    void pushButton1Click();  // browse for the Access file
    void pushButton2Click();  // browse for the SQLite file
    void pushButton3Click();  // Test Connection
    void pushButton4Click();  // Access sample
    void pushButton5Click();  // general help
    void pushButton6Click();  // SQLite help
    void pushButton7Click();  // Start Converting
    void pushButton8Click();  // SQLite sample
    void pushButton9Click();  // Options

    // Files named on the command line, as a file manager passes them: the
    // first goes into the Access field, a second into the SQLite field, each
    // made absolute and stored like a browsed file. Call after formLoad so
    // they win over the stored fields.
    void openStartFiles(const QStringList& paths);

    // Assigns a value to Check1 as the settings load does: 0, 1 or 2;
    // anything else throws "Invalid property value".
    void setCheck1Value(int value);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    void setOptionValue(QRadioButton* option, bool value);
    void tabToChosenOption();

    Interaction& ui_;
    FileChooser& files_;
    PointerRule* pointer_ = nullptr;

    QPushButton* pushButton1_ = nullptr;
    QPushButton* pushButton2_ = nullptr;
    QPushButton* pushButton3_ = nullptr;
    QPushButton* pushButton4_ = nullptr;
    QPushButton* pushButton5_ = nullptr;
    QPushButton* pushButton6_ = nullptr;
    QPushButton* pushButton7_ = nullptr;
    QPushButton* pushButton8_ = nullptr;
    QPushButton* pushButton9_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QGroupBox* frame2_ = nullptr;
    QGroupBox* frame3_ = nullptr;
    QLabel* label5_ = nullptr;
    QLabel* label7_ = nullptr;
    QLabel* lblPassword_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* text5_ = nullptr;
    QLineEdit* text6_ = nullptr;
    QCheckBox* check1_ = nullptr;
    QRadioButton* option1_ = nullptr;
    QRadioButton* option2_ = nullptr;
    StatusProgressBar* progressBar1_ = nullptr;
    QListWidget* list1_ = nullptr;
    QListWidget* list2_ = nullptr;
};

}  // namespace qb
