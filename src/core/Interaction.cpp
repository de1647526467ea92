#include "Interaction.h"

#include "Main.h"

namespace qb {

void showInfo(Interaction& ui, const QString& text) {
    ui.message(text, appTitle(), MsgButtons::Ok, MsgIcon::None);
}

MsgResult askYesNo(Interaction& ui, const QString& text, const QString& title) {
    return ui.message(text, title.isEmpty() ? appTitle() : title, MsgButtons::YesNo, MsgIcon::None);
}

}  // namespace qb
