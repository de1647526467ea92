#pragma once
// The open-file dialog behind the browse buttons, as a seam: the GUI shows a
// real dialog, tests answer from a script.

#include <QString>

namespace qb {

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Shows a modal open-file dialog with `title` and a Qt name filter
    // ("Description (*.a *.b);;..."), the first filter selected. A name that
    // does not exist yet is accepted. Returns the chosen path, or an empty
    // text when the dialog was cancelled.
    virtual QString openFileName(const QString& title, const QString& filter) = 0;
};

}  // namespace qb
