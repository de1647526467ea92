#pragma once
// The SQL Preview window and the windows it opens, as the program sees them:
// one object for the whole program run that holds the statement list, the
// datatype list and ErrorLine. A list comes into being (with its column
// headers) the first time it is touched. Closing the SQL Preview window
// discards its controls and the statement list, so the next touch starts
// with an empty list; the datatype rows stay until the run clears them, so
// the user can look at them again. Every window is shown modally over its
// opener.

#include "Clipboard.h"

#include <QString>
#include <memory>
#include <vector>

class QWidget;

namespace qb {

class Form2;
class Interaction;
class ListViewModel;
struct RunState;

class PreviewWindows {
public:
    // `clipboard` defaults to the application's clipboard.
    explicit PreviewWindows(Interaction& ui, ClipboardPort* clipboard = nullptr);
    ~PreviewWindows();
    PreviewWindows(const PreviewWindows&) = delete;
    PreviewWindows& operator=(const PreviewWindows&) = delete;

    Interaction& ui() { return ui_; }
    ClipboardPort& clipboard() { return *clipboard_; }

    // The statement list of the SQL Preview window (Form2) and the datatype
    // list of the Datatypes Conversion window (Form5).
    ListViewModel& statementList();
    ListViewModel& datatypeList();
    bool statementListLoaded() const { return statements_ != nullptr; }
    bool datatypeListLoaded() const { return datatypes_ != nullptr; }

    // Shows the SQL Preview window modally over `owner` and returns when it
    // has closed. It executes on state.SQLite_conn and answers through
    // state.SQLFormOK and state.StopConverting.
    void showPreview(QWidget* owner, RunState& state);

    // The windows the preview opens, each modal over `owner`.
    // Lines 1 to `executedLines` are in the database: the pass leaves them.
    void showFindReplace(QWidget* owner, int executedLines = 0);
    void showEditLine(QWidget* owner, int line, const QString& text);
    void showDatatypes(QWidget* owner);

    // The preview window while it is shown, else null.
    Form2* preview() const { return preview_; }

    // Line at which the last execution stopped; 0 before the first stop.
    // Survives the closing of the window.
    int ErrorLine = 0;

    // With one transaction per table: the first line of each table's
    // statements in the list, so "Execute SQL" runs a table as one change.
    // Empty otherwise, and then every line stands by itself.
    std::vector<int> tableStarts;

private:
    Interaction& ui_;
    std::unique_ptr<QtClipboard> ownClipboard_;
    ClipboardPort* clipboard_;
    std::unique_ptr<ListViewModel> statements_;
    std::unique_ptr<ListViewModel> datatypes_;
    Form2* preview_ = nullptr;
};

}  // namespace qb
