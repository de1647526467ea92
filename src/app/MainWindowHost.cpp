#include "MainWindowHost.h"

#include "conversion/ConversionRun.h"
#include "conversion/TargetCheck.h"
#include "preview/PreviewWindows.h"
#include "shell/Form1.h"

#include <cmath>

namespace qb {

MainWindowHost::MainWindowHost(Form1& form, PreviewWindows& previews) : form_(form), previews_(previews) {}

void MainWindowHost::install() {
    form_.onStartConverting = [this] { ConversionRun(*this, form_.runState).run(); };
}

Interaction& MainWindowHost::ui() { return form_.ui(); }
SourceFields MainWindowHost::fields() { return form_.sourceFields(); }
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
