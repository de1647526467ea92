#pragma once
// Putting the preview's texts on the system clipboard: the checked lines of
// a list, and the error text. The clipboard is reached through a port so
// the copying logic runs without a window system.

#include <QString>
#include <functional>

namespace qb {

class Interaction;
class ListViewModel;

class ClipboardPort {
public:
    virtual ~ClipboardPort() = default;
    // Each returns false when the clipboard did not take the call.
    virtual bool clear() = 0;
    virtual bool setText(const QString& text) = 0;
};

// The application's clipboard (QGuiApplication::clipboard()).
class QtClipboard : public ClipboardPort {
public:
    bool clear() override;
    bool setText(const QString& text) override;
};

// Another program may hold the clipboard for a moment: a call is repeated
// while it fails, up to this many calls in all.
constexpr int kClipboardTries = 1000;

// Calls `call` until it succeeds or kClipboardTries calls have failed; never
// throws (a throwing call counts as failed). True when a call succeeded.
bool retryClipboardCall(const std::function<bool()>& call);

void ClearClipboard(ClipboardPort& clipboard);
bool SetClipboardText(ClipboardPort& clipboard, const QString& text);

// The text CopyCheckedRows puts on the clipboard: every checked row, its
// cells padded to the widest text of their column over all rows and joined
// by TAB, trailing blanks removed, each row ended by CR LF. Gives the message
// loop a turn before every cell and row. Throws std::overflow_error when a
// cell is longer than 32767 characters.
QString checkedRowsText(const ListViewModel& list, Interaction& ui);

// Nothing at all for an empty list; otherwise the clipboard is cleared and
// given checkedRowsText. An overflow leaves the clipboard untouched.
void CopyCheckedRows(const ListViewModel& list, ClipboardPort& clipboard, Interaction& ui);

}  // namespace qb
