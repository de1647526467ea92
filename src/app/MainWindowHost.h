#pragma once
// Connects the conversion run to the main window and the SQL Preview
// windows: "Start Converting" runs it with the window's fields, options,
// progress bar and pointer, and the preview windows' lists.

#include "conversion/ConversionHost.h"

namespace qb {

class Form1;
class PreviewWindows;

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

private:
    void mirrorLists();

    Form1& form_;
    PreviewWindows& previews_;
    // The run works on these; the window's hidden list boxes mirror them.
    QStringList list1_, list2_;
};

}  // namespace qb
