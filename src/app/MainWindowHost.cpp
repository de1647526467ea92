#include "MainWindowHost.h"

#include "conversion/ConversionRun.h"
#include "conversion/ListViewModel.h"
#include "conversion/TargetCheck.h"
#include "preview/PreviewWindows.h"
#include "shell/Form1.h"

#include <cmath>

namespace qb {

MainWindowHost::MainWindowHost(Form1& form, PreviewWindows& previews)
    : form_(form), previews_(previews), ui_(form.ui()), fast_(ui_) {}

MsgResult CountingInteraction::message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) {
    if (title == QStringLiteral("Application Error")) ++reports;
    return inner_.message(text, title, buttons, icon);
}

void MainWindowHost::install() {
    form_.onStartConverting = [this] {
        runOptions_ = loadWindowOptions();
        previews_.tableStarts.clear();
        ConversionRun(*this, form_.runState).run();
    };
}

bool MainWindowHost::wantsInsertValues() const {
    return runOptions_.oneTransactionPerTable && form_.check1Value() != 1;
}

void MainWindowHost::execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) {
    // Indexes, views and the query list come after a table's transaction
    // has ended, each on its own: inside the writer they would wait for a
    // commit that no later table may bring.
    if (runOptions_.oneTransactionPerTable && kind != StatementKind::Index) fast_.execute(state, kind, statement, values);
    else ConversionHost::execute(state, kind, statement, values);
}

void MainWindowHost::tableStarted(const QString& name) {
    table_ = name;
    reportsAtStart_ = ui_.reports;
    lostAtStart_ = fast_.unreportedLostRows();
    if (!runOptions_.oneTransactionPerTable || !previewEnabled()) return;
    // The list starts afresh for each table in that mode, and after the
    // window has closed.
    ListViewModel& list = statementList();
    if (list.count() == 0) previews_.tableStarts.clear();
    previews_.tableStarts.push_back(list.count() + 1);
}

bool MainWindowHost::tableWhole() {
    return ui_.reports == reportsAtStart_ && fast_.unreportedLostRows() == lostAtStart_ &&
           !(runOptions_.oneTransactionPerTable && fast_.lastTableRolledBack());
}

void MainWindowHost::tableFinished(RunState&) {
    if (!runOptions_.oneTransactionPerTable) return;
    fast_.tableFinished();
    if (fast_.lastTableRolledBack())
        ui().message(QStringLiteral("Nothing of the table ") + table_ +
                         QStringLiteral(" was kept: it was rolled back whole, and the SQLite file has what it had before."),
                     QStringLiteral("Table rolled back"), MsgButtons::Ok, MsgIcon::Warning);
}

Interaction& MainWindowHost::ui() { return ui_; }
SourceFields MainWindowHost::fields() {
    SourceFields fields = form_.sourceFields();
    fields.salvage = fields.salvage || form_.runState.salvaging;
    return fields;
}
bool MainWindowHost::previewEnabled() { return form_.check1Value() == 1; }
bool MainWindowHost::perFile() { return form_.option1Value(); }
bool MainWindowHost::perTable() { return form_.option2Value(); }

void MainWindowHost::setProgressValue(double percent) {
    form_.setProgressValue(static_cast<int>(std::lround(percent)));
}

void MainWindowHost::setProgressText(const QString& text) { form_.setProgressText(text); }

void MainWindowHost::setBusy(bool busy) {
    mirrorLists();
    form_.setBusyPointer(busy);
}

ListViewModel& MainWindowHost::statementList() { return previews_.statementList(); }
ListViewModel& MainWindowHost::datatypeList() { return previews_.datatypeList(); }

void MainWindowHost::showPreview() {
    mirrorLists();
    previews_.showPreview(&form_, form_.runState);
}

bool MainWindowHost::targetRefused(const QString& path) { return offerSqliteTarget(form_.ui(), path); }

void MainWindowHost::mirrorLists() {
    Form1::setListItems(form_.list1(), list1_);
    Form1::setListItems(form_.list2(), list2_);
}

}  // namespace qb
