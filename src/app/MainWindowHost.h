#pragma once
// Connects the conversion run to the main window and the SQL Preview
// windows: "Start Converting" runs it with the window's fields, options,
// progress bar and pointer, and the preview windows' lists.

#include "conversion/ConversionHost.h"
#include "conversion/FastWriter.h"
#include "shell/OptionsWindow.h"

namespace qb {

class Form1;
class PreviewWindows;

// The window's interaction, counting the error reports that pass through
// it: a table with a rejected row must not get child tables that find
// their rows by number.
class CountingInteraction : public Interaction {
public:
    explicit CountingInteraction(Interaction& inner) : inner_(inner) {}
    MsgResult message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) override;
    bool openUrl(const QString& url) override { return inner_.openUrl(url); }
    void yield() override { inner_.yield(); }
    int drawPercent() override { return inner_.drawPercent(); }
    long long reports = 0;

private:
    Interaction& inner_;
};

class MainWindowHost : public ConversionHost {
public:
    MainWindowHost(Form1& form, PreviewWindows& previews);

    // Installs the run as the handler of "Start Converting".
    void install();

    Interaction& ui() override;
    SourceFields fields() override;
    bool previewEnabled() override;
    bool perFile() override;
    bool perTable() override;
    void setProgressValue(double percent) override;
    void setProgressText(const QString& text) override;
    void setBusy(bool busy) override;
    QStringList& List1() override { return list1_; }
    QStringList& List2() override { return list2_; }
    ListViewModel& statementList() override;
    ListViewModel& datatypeList() override;
    void showPreview() override;
    bool targetRefused(const QString& path) override;
    bool accountsAtDone() const override { return true; }
    bool offersSalvage() const override { return true; }

    // The Options window's choices, taken when the run starts.
    ConversionOptions options() const override { return runOptions_.conversion; }
    // One transaction per table: the rows go through the command line's
    // fast writer. The preview's list needs whole statements, so not there.
    bool wantsInsertValues() const override;
    void binaryValues(const std::vector<char>& binary) override { fast_.setBinaryValues(binary); }
    void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) override;
    void tableStarted(const QString& name) override;
    void tableFinished(RunState& state) override;
    bool tableWhole() override;

private:
    void mirrorLists();

    Form1& form_;
    PreviewWindows& previews_;
    // The run works on these; the window's hidden list boxes mirror them.
    QStringList list1_, list2_;
    CountingInteraction ui_;
    WindowOptions runOptions_;
    FastWriter fast_;
    QString table_;
    long long reportsAtStart_ = 0;
    long long lostAtStart_ = 0;
};

}  // namespace qb
