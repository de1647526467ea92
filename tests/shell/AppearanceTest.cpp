#include "IsolatedShell.h"

#include "shell/Appearance.h"

#include <QBitmap>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>

#include <stdexcept>

namespace qb::test {
namespace {

const QString kShippedCursor = QStringLiteral(QB_SHELL_RESOURCES "/HAND-M.CUR");
const QString kShippedSkin = QStringLiteral(QB_SHELL_RESOURCES "/o.cjs");

TEST(CursorFile, ShippedHandCursorIsReadWithItsHotSpot) {
    const QCursor cursor = loadCursorFile(kShippedCursor);
    const QPixmap image = cursor.pixmap();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(cursor.hotSpot(), QPoint(7, 0));
    const QImage pixels = image.toImage();
    // The fingertip outline is opaque black; the corner is transparent.
    EXPECT_EQ(pixels.pixelColor(6, 0), QColor(Qt::black));
    EXPECT_EQ(pixels.pixelColor(6, 1), QColor(Qt::white));
    EXPECT_EQ(pixels.pixelColor(31, 31).alpha(), 0);
}

TEST(CursorFile, AnythingElseIsAnInvalidPicture) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/not.cur";
    ASSERT_TRUE(writeFile(path, "this is text, not a cursor"));
    EXPECT_THROW(loadCursorFile(path), std::runtime_error);
    EXPECT_THROW(loadCursorFile(dir.path() + "/absent.cur"), std::runtime_error);
}

// A small window with the same kinds of controls as the main window.
struct HoverWindow {
    HoverWindow() : rule(new PointerRule(&window)) {
        window.resize(300, 200);
        frame = new QGroupBox("F", &window);
        frame->setGeometry(10, 10, 200, 150);
        button = new QPushButton("B", frame);
        button->setGeometry(10, 20, 80, 30);
        label = new QLabel("L", frame);
        label->setGeometry(10, 60, 80, 20);
        text = new QLineEdit(frame);
        text->setGeometry(10, 90, 80, 20);
        check = new QCheckBox("C", frame);
        check->setGeometry(100, 90, 80, 20);
        rule->showHandOver({button});
        rule->showDefaultOver({frame, text});
    }
    static void moveOver(QWidget* w, QPoint at = QPoint(1, 1)) {
        QEnterEvent enter(at, at, w->mapToGlobal(at));
        QCoreApplication::sendEvent(w, &enter);
        QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &move);
    }
    QWidget window;
    PointerRule* rule;
    QGroupBox* frame;
    QPushButton* button;
    QLabel* label;
    QLineEdit* text;
    QCheckBox* check;
};

TEST(HoverRule, HandOverButtonsArrowOverFramesAndBackground) {
    HoverWindow w;
    w.rule->loadHandCursorIfPresent(kShippedCursor);
    ASSERT_TRUE(w.rule->hasHandCursor());
    HoverWindow::moveOver(w.button);
    EXPECT_EQ(w.rule->pointer(), PointerRule::Custom);
    EXPECT_EQ(w.window.cursor().hotSpot(), QPoint(7, 0));
    // Over a label or a check box the pointer stays as it is.
    HoverWindow::moveOver(w.label);
    HoverWindow::moveOver(w.check);
    EXPECT_EQ(w.rule->pointer(), PointerRule::Custom);
    // A move over the frame where a child sits is not a move over the frame.
    HoverWindow::moveOver(w.frame, w.label->geometry().center());
    EXPECT_EQ(w.rule->pointer(), PointerRule::Custom);
    HoverWindow::moveOver(w.frame, QPoint(190, 10));
    EXPECT_EQ(w.rule->pointer(), PointerRule::Default);
    HoverWindow::moveOver(w.button);
    HoverWindow::moveOver(&w.window, QPoint(290, 190));
    EXPECT_EQ(w.rule->pointer(), PointerRule::Default);
    EXPECT_EQ(w.window.cursor().shape(), Qt::ArrowCursor);
}

TEST(HoverRule, BusyPointerSurvivesEveryMove) {
    HoverWindow w;
    w.rule->setBusy(true);
    for (QWidget* over : {static_cast<QWidget*>(w.button), static_cast<QWidget*>(w.frame),
                          static_cast<QWidget*>(w.text), &w.window})
        HoverWindow::moveOver(over);
    EXPECT_EQ(w.rule->pointer(), PointerRule::Busy);
    EXPECT_EQ(w.window.cursor().shape(), Qt::WaitCursor);
    w.rule->setBusy(false);
    HoverWindow::moveOver(w.button);
    EXPECT_EQ(w.rule->pointer(), PointerRule::Custom);
}

TEST(Colours, PlainColoursReachFramesLabelsAndOptionsButNotTextBoxes) {
    HoverWindow w;
    SetDesignColors(&w.window);
    // What a control fills its background with is its background role's colour.
    auto background = [](QWidget* c) { return c->palette().color(c->backgroundRole()); };
    EXPECT_EQ(background(w.label), QColor(Qt::white));
    EXPECT_EQ(background(w.check), QColor(Qt::white));
    const QColor face = w.window.palette().color(QPalette::Button);
    ASSERT_NE(face, QColor(Qt::white));
    SetPlainColors(&w.window);
    for (QWidget* c : {&w.window, static_cast<QWidget*>(w.frame), static_cast<QWidget*>(w.label),
                       static_cast<QWidget*>(w.check)})
        EXPECT_EQ(background(c), face) << c->metaObject()->className();
    EXPECT_NE(w.text->palette().color(QPalette::Base), face);
}

using Skin = IsolatedShell;

TEST_F(Skin, AppliedOnlyWhenTheSkinFileIsPresent) {
    QWidget window;
    SetDesignColors(&window);
    ApplyMainSkin(&window);
    EXPECT_TRUE(window.styleSheet().isEmpty());
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));

    QFile shipped(kShippedSkin);
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QByteArray sheet = shipped.readAll();
    writeAppFile("/x/o.cjs", sheet);
    ApplyMainSkin(&window);
    EXPECT_EQ(window.styleSheet(), QString::fromUtf8(sheet));
    EXPECT_EQ(window.palette().color(QPalette::Window), window.palette().color(QPalette::Button));
}

}  // namespace
}  // namespace qb::test
