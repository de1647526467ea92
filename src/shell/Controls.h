#pragma once
// Building blocks every window is made of: layouts in twips, named controls,
// the push buttons' look, and a progress bar that shows a status text.

#include <QProgressBar>
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace qb {

// A rectangle given in twips, 15 to a pixel.
QRect twips(int left, int top, int width, int height);

// A control named `name` (the name tests and style sheets find it by).
template <class W>
W* makeControl(QWidget* parent, const char* name) {
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

template <class W>
W* makeControl(QWidget* parent, const char* name, const QRect& geometry) {
    W* w = makeControl<W>(parent, name);
    w->setGeometry(geometry);
    return w;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

// A push button in the buttons' larger bold font that Enter in a text box
// does not press by itself.
QPushButton* makePushButton(QWidget* parent, const char* name, const QString& caption);
QPushButton* makePushButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

// A progress bar whose text is whatever status text it was given, shown as
// it is (no "%p" substitution).
class StatusProgressBar : public QProgressBar {
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

// A 0–100 bar at 0 with its status text centred.
StatusProgressBar* makeStatusProgressBar(QWidget* parent, const char* name);

}  // namespace qb
