#include "Controls.h"

#include "Appearance.h"

#include <QLabel>
#include <QPushButton>

namespace qb {

QRect twips(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* l = makeControl<QLabel>(parent, name, geometry);
    l->setText(caption);
    return l;
}

QPushButton* makePushButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = makeControl<QPushButton>(parent, name);
    b->setText(caption);
    b->setFont(arialBold(11.25));
    b->setAutoDefault(false);
    return b;
}

QPushButton* makePushButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    QPushButton* b = makePushButton(parent, name, caption);
    b->setGeometry(geometry);
    return b;
}

StatusProgressBar* makeStatusProgressBar(QWidget* parent, const char* name) {
    auto* bar = makeControl<StatusProgressBar>(parent, name);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setAlignment(Qt::AlignCenter);
    return bar;
}

}  // namespace qb
