#pragma once
// Everything the program's logic needs from its surroundings that a test must
// be able to script: message boxes, opening links, giving the message loop a
// turn, and the random draw at startup. The GUI, the command line and the
// tests each supply their own implementation.

#include <QString>

namespace qb {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Warning };
// The values are those of the platform's message box results.
enum class MsgResult { Ok = 1, Yes = 6, No = 7 };

class Interaction {
public:
    virtual ~Interaction() = default;
    // A modal message box; returns the button pressed.
    virtual MsgResult message(const QString& text, const QString& title, MsgButtons buttons,
                              MsgIcon icon) = 0;
    // Hands an address (web page, mailto: link) to the desktop. False when
    // nothing took it.
    virtual bool openUrl(const QString& url) = 0;
    // Gives the message loop one turn.
    virtual void yield() = 0;
    // A random integer from 1 to 100.
    virtual int drawPercent() = 0;
};

// Information message: OK only, no icon, the application title.
void showInfo(Interaction& ui, const QString& text);
// Question: Yes and No, no icon, the application title unless one is given.
MsgResult askYesNo(Interaction& ui, const QString& text, const QString& title = QString());

}  // namespace qb
