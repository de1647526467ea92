#pragma once
// The look and pointer behaviour that all windows share: the optional skin of
// the main window, plain colours, the application icon, the hand pointer from
// the cursor file, the busy pointer and the hover rule.

#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <optional>

class QWidget;

namespace qb {

// Gives the window, and its option buttons, check boxes, frames and labels,
// the palette's button colour as background. Other controls keep theirs.
void SetPlainColors(QWidget* window);

// Gives the window, and the same kinds of controls, the white design colour.
void SetDesignColors(QWidget* window);

// When the skin file (application folder + "/x/o.cjs", a Qt style sheet) is
// a normal file: plain colours on `mainWindow`, then the style sheet applied
// to it. Without the file nothing changes. Throws when the file exists but
// cannot be read.
void ApplyMainSkin(QWidget* mainWindow);

// Window layouts are given in twips, 15 to a pixel.
int twipsToPixels(int twips);

// The windows' font: bold Arial (or the closest sans-serif) of this size.
QFont arialBold(double points);

// The application icon, drawn in code.
QIcon appIcon();

// Reads a Windows cursor file (.cur) with its hot spot. Throws
// std::runtime_error("Invalid picture") when the file is not a cursor Qt can
// read.
QCursor loadCursorFile(const QString& path);

// One window's pointer: default arrow, busy (hourglass) or custom (the hand
// image loaded from the cursor file). The hover rule switches between
// default and custom as the pointer moves over the watched controls, and
// never while the window is busy.
class PointerRule : public QObject {
public:
    enum Pointer { Default = 0, Busy = 11, Custom = 99 };

    explicit PointerRule(QWidget* window);

    // Loads the cursor file as the hand image when FileExists(path); errors
    // reading an existing file are thrown (see loadCursorFile).
    void loadHandCursorIfPresent(const QString& path);
    bool hasHandCursor() const { return hand_.has_value(); }
    const std::optional<QCursor>& handCursor() const { return hand_; }

    // Controls over which the pointer becomes the hand (push buttons).
    void showHandOver(std::initializer_list<QWidget*> controls);
    // Controls (and the window itself) over which it returns to the arrow.
    void showDefaultOver(std::initializer_list<QWidget*> controls);

    Pointer pointer() const { return pointer_; }
    void setPointer(Pointer pointer);
    bool isBusy() const { return pointer_ == Busy; }
    void setBusy(bool busy) { setPointer(busy ? Busy : Default); }

    // What the hover rule does when the pointer moves over `control`.
    void pointerMovedOver(QObject* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget* control);

    QPointer<QWidget> window_;
    std::optional<QCursor> hand_;
    QSet<QObject*> handOver_;
    QSet<QObject*> defaultOver_;
    Pointer pointer_ = Default;
};

}  // namespace qb
