#include "PreviewWindows.h"

#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Form5.h"
#include "FormKit.h"
#include "conversion/ListViewModel.h"

namespace qb {

PreviewWindows::PreviewWindows(Interaction& ui, ClipboardPort* clipboard) : ui_(ui), clipboard_(clipboard) {
    Form2::watchInput();
    if (!clipboard_) {
        ownClipboard_ = std::make_unique<QtClipboard>();
        clipboard_ = ownClipboard_.get();
    }
}

PreviewWindows::~PreviewWindows() = default;

ListViewModel& PreviewWindows::statementList() {
    if (!statements_) {
        statements_ = createStatementList();
        statements_->setToolTip(formkit::kListTip);
    }
    return *statements_;
}

ListViewModel& PreviewWindows::datatypeList() {
    if (!datatypes_) {
        datatypes_ = createDatatypeList();
        datatypes_->setToolTip(formkit::kListTip);
    }
    return *datatypes_;
}

void PreviewWindows::showPreview(QWidget* owner, RunState& state) {
    {
        Form2 window(*this, state, owner);
        preview_ = &window;
        window.exec();
        state.lastPreview = window.end();
        preview_ = nullptr;
    }
    // The window is gone; its lines and header go with it.
    statements_.reset();
}

void PreviewWindows::showFindReplace(QWidget* owner, int executedLines) {
    Form3 window(statementList(), ui_, owner, executedLines);
    window.exec();
}

void PreviewWindows::showEditLine(QWidget* owner, int line, const QString& text) {
    Form4 window(statementList(), ui_, owner);
    window.ListLine = line;
    window.setText1(text);
    window.exec();
}

void PreviewWindows::showDatatypes(QWidget* owner) {
    // The rows stay for a second look: the run adds each one only once and
    // clears them itself.
    Form5 window(datatypeList(), ui_, owner);
    window.exec();
}

}  // namespace qb
