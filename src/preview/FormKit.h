#pragma once
// Building blocks the preview's windows share: the load steps every
// secondary window starts with, and the report-style list view over a list
// model.

#include "shell/Appearance.h"

#include <QDialog>
#include <QString>
#include <QTreeView>

namespace qb {

class ErrorTrap;
class ListViewModel;
class PointerRule;

namespace formkit {

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

}  // namespace qb
