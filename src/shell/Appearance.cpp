#include "Appearance.h"

#include "core/AppConfig.h"
#include "core/Main.h"

#include <QCheckBox>
#include <QEvent>
#include <QMouseEvent>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>
#include <QtEndian>

#include <stdexcept>

namespace qb {

int twipsToPixels(int twips) { return qRound(twips / 15.0); }

QFont arialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

namespace {

bool takesPlainColors(const QWidget* w) {
    return qobject_cast<const QRadioButton*>(w) || qobject_cast<const QCheckBox*>(w) ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QLabel*>(w);
}

void setBackground(QWidget* w, const QColor& colour) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    // Check boxes and option buttons paint their background in the button role.
    palette.setColor(w->backgroundRole(), colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

void paintControls(QWidget* window, const QColor& colour) {
    setBackground(window, colour);
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* child : children)
        if (takesPlainColors(child)) setBackground(child, colour);
}

}  // namespace

void SetPlainColors(QWidget* window) { paintControls(window, window->palette().color(QPalette::Button)); }

void SetDesignColors(QWidget* window) { paintControls(window, Qt::white); }

void ApplyMainSkin(QWidget* mainWindow) {
    const QString path = appFolder() + config::kSkinFile;
    if (!isNormalFile(path)) return;
    SetPlainColors(mainWindow);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("File not found: " + path.toStdString());
    mainWindow->setStyleSheet(QString::fromUtf8(file.readAll()));
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        // A database drum with an arrow leading out of it.
        QLinearGradient body(8, 0, 44, 0);
        body.setColorAt(0, QColor(0x2f, 0x6d, 0xb5));
        body.setColorAt(1, QColor(0x17, 0x3f, 0x73));
        p.setPen(QPen(QColor(0x10, 0x2a, 0x4d), 2));
        p.setBrush(body);
        p.drawRect(QRectF(8, 14, 36, 36));
        p.drawEllipse(QRectF(8, 42, 36, 14));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(9, 14, 34, 34));
        p.setPen(QPen(QColor(0x10, 0x2a, 0x4d), 2));
        p.setBrush(QColor(0x7f, 0xb2, 0xe5));
        p.drawEllipse(QRectF(8, 6, 36, 14));
        QPainterPath arrow;
        arrow.moveTo(30, 34);
        arrow.lineTo(46, 34);
        arrow.lineTo(46, 26);
        arrow.lineTo(60, 40);
        arrow.lineTo(46, 54);
        arrow.lineTo(46, 46);
        arrow.lineTo(30, 46);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(0x1e, 0x5e, 0x20), 2));
        p.setBrush(QColor(0x4c, 0xaf, 0x50));
        p.drawPath(arrow);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QCursor loadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("Invalid picture");
    const QByteArray head = file.read(22);
    // ICONDIR: reserved 0, type 2 (cursor), at least one entry; the first
    // entry's planes and bit-count fields hold the hot spot.
    if (head.size() < 22 || qFromLittleEndian<quint16>(head.constData()) != 0 ||
        qFromLittleEndian<quint16>(head.constData() + 2) != 2 || qFromLittleEndian<quint16>(head.constData() + 4) < 1)
        throw std::runtime_error("Invalid picture");
    const int hotX = qFromLittleEndian<quint16>(head.constData() + 10);
    const int hotY = qFromLittleEndian<quint16>(head.constData() + 12);
    file.seek(0);
    QImageReader reader(&file, "cur");
    const QImage image = reader.read();
    if (image.isNull()) throw std::runtime_error("Invalid picture");
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

PointerRule::PointerRule(QWidget* window) : QObject(window), window_(window) { watch(window); defaultOver_.insert(window); }

void PointerRule::loadHandCursorIfPresent(const QString& path) {
    if (!FileExists(path)) return;
    hand_ = loadCursorFile(path);
    if (pointer_ == Custom) setPointer(Custom);
}

void PointerRule::showHandOver(std::initializer_list<QWidget*> controls) {
    for (QWidget* c : controls) {
        handOver_.insert(c);
        watch(c);
    }
}

void PointerRule::showDefaultOver(std::initializer_list<QWidget*> controls) {
    for (QWidget* c : controls) {
        defaultOver_.insert(c);
        watch(c);
    }
}

void PointerRule::watch(QWidget* control) {
    // Movement over the window's own background arrives only with tracking on.
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void PointerRule::setPointer(Pointer pointer) {
    pointer_ = pointer;
    if (!window_) return;
    switch (pointer) {
        case Busy:
            window_->setCursor(Qt::WaitCursor);
            break;
        case Custom:
            if (hand_)
                window_->setCursor(*hand_);
            else
                window_->unsetCursor();  // no cursor file: the ordinary arrow
            break;
        case Default:
            window_->unsetCursor();
            break;
    }
}

void PointerRule::pointerMovedOver(QObject* control) {
    if (isBusy()) return;
    if (handOver_.contains(control)) {
        if (pointer_ != Custom) setPointer(Custom);
    } else if (defaultOver_.contains(control)) {
        if (pointer_ != Default) setPointer(Default);
    }
}

bool PointerRule::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        // A move that a child ignored travels on to its parent; only the
        // control that is itself under the pointer decides.
        auto* widget = qobject_cast<QWidget*>(watched);
        const QPoint at = static_cast<QSinglePointEvent*>(event)->position().toPoint();
        QWidget* under = widget ? widget->childAt(at) : nullptr;
        if (!under || under == widget) pointerMovedOver(watched);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qb
