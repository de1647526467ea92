#pragma once
// The desktop side of the Interaction and FileChooser seams: real message
// boxes, the default browser and mail client, the message loop, the random
// draw, and the open-file dialog.

#include "FileChooser.h"
#include "core/Interaction.h"

class QWidget;

namespace qb {

class GuiInteraction : public Interaction {
public:
    MsgResult message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) override;
    bool openUrl(const QString& url) override;
    void yield() override;
    int drawPercent() override;
};

class QtFileChooser : public FileChooser {
public:
    explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    QString openFileName(const QString& title, const QString& filter) override;

private:
    QWidget* parent_;
};

// Message texts separate lines with "\r\n" or a lone "\r"; a Qt label needs "\n".
QString displayLineBreaks(const QString& text);

// The text with a word joiner after each character of every web or mail
// address in it, so that a wrapping message box breaks the line before an
// address rather than inside it.
QString keepAddressesWhole(const QString& text);

}  // namespace qb
