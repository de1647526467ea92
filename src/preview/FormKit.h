#pragma once
// Building blocks the preview's windows share: twips, fonts, named push
// buttons, the load steps every secondary window starts with, and the
// report-style list view over a list model.

#include "shell/Appearance.h"

#include <QDialog>
#include <QFont>
#include <QProgressBar>
#include <QString>
#include <QTreeView>

class QPushButton;

namespace qb {

class ErrorTrap;
class ListViewModel;
class PointerRule;

namespace formkit {

// Controls are measured in twips, 15 to a pixel.
inline int px(int twips) { return twipsToPixels(twips); }
using qb::arialBold;
QPushButton* pushButton(QWidget* parent, const char* name, const QString& caption);

// The load steps every secondary window starts with: plain colours
// [colorsLabel], the icon [104], "<title> - Quellbrook" [106], and the hand
// pointer from the cursor file when it exists [108], [110].
void loadWindowLook(ErrorTrap& trap, QDialog* window, PointerRule& pointer, int colorsLabel, const QString& title);

// A report view over `model`: uniform rows, no tree decoration, columns
// sized from the model's twips, the list's tooltip.
QTreeView* reportView(QWidget* parent, const char* name, ListViewModel& model);
// Sizes column `column` (zero-based) from the model's twips.
void applyColumnWidth(QTreeView* view, const ListViewModel& model, int column);

inline const QString kListTip =
    QStringLiteral("Click item to edit it. Move | line to right and out of window to reveal full names.");

}  // namespace formkit

// A progress bar that shows the status text it was given as it is.
class TextProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    QString text() const override { return status_; }
    void setStatusText(const QString& text) {
        if (text == status_) return;
        status_ = text;
        update();
    }
    const QString& statusText() const { return status_; }

private:
    QString status_;
};

}  // namespace qb
