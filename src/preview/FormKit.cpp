#include "FormKit.h"

#include "conversion/ListViewModel.h"
#include "core/AppConfig.h"
#include "shell/Appearance.h"
#include "core/ErrorTrap.h"
#include "core/Main.h"

#include <QHeaderView>

namespace qb::formkit {

void loadWindowLook(ErrorTrap& trap, QDialog* window, PointerRule& pointer, int colorsLabel, const QString& title) {
    trap.run(colorsLabel, [&] { SetPlainColors(window); });
    trap.run(104, [&] { window->setWindowIcon(appIcon()); });
    trap.run(106, [&] { window->setWindowTitle(title + QStringLiteral(" - ") + config::kProductName); });
    const QString cursorFile = appFolder() + config::kCursorFile;
    if (trap.test(108, [&] { return FileExists(cursorFile); }))
        trap.run(110, [&] { pointer.loadHandCursorIfPresent(cursorFile); });
}

QTreeView* reportView(QWidget* parent, const char* name, ListViewModel& model) {
    auto* view = new QTreeView(parent);
    view->setObjectName(QLatin1String(name));
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    // Rows are measured once, not per item: lists hold whole tables.
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    view->setToolTip(kListTip);
    view->setModel(&model);
    return view;
}

void applyColumnWidth(QTreeView* view, const ListViewModel& model, int column) {
    view->setColumnWidth(column, twipsToPixels(model.columnWidthTwips(column)));
}

}  // namespace qb::formkit
