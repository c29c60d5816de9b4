#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <vector>

#include "skin/BmpButton.h"
#include "skin/BmpStatic.h"
#include "skin/ControlCommand.h"

namespace {

constexpr int kButtonId = 1012;
const QRgb kFrameColors[4] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200), qRgb(90, 90, 90)};

// Four 20 x 10 frames, each its own colour; every frame's top-left 5 x 5 corner is key colour.
CBitmapEx StateStrip() {
    QImage strip(80, 10, QImage::Format_RGB32);
    QPainter painter(&strip);
    for (int k = 0; k < 4; ++k) {
        painter.fillRect(QRect(k * 20, 0, 20, 10), QColor(kFrameColors[k]));
        painter.fillRect(QRect(k * 20, 0, 5, 5), QColor(255, 0, 255));
    }
    painter.end();
    return CBitmapEx(strip);
}

class CommandRecorder : public QWidget, public ICommandTarget {
  public:
    void OnCommand(int nId, int nCode, QWidget* pControl) override {
        commands.push_back({nId, nCode, pControl});
    }
    struct Command {
        int id;
        int code;
        QWidget* control;
    };
    std::vector<Command> commands;
};

void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}
void Move(QWidget& w, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
    SendMouse(w, QEvent::MouseMove, at, Qt::NoButton, held);
}
void Press(QWidget& w, QPoint at) {
    SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}
void Release(QWidget& w, QPoint at) {
    SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

class BmpButtonTest : public ::testing::Test {
  protected:
    BmpButtonTest() : button(&dialog) {
        SetDlgCtrlID(&button, kButtonId);
        button.m_bitmap = StateStrip();
        button.setGeometry(0, 0, 20, 10);
    }
    CommandRecorder dialog;
    CBmpButton button;
};

TEST_F(BmpButtonTest, HoverPressAndReleaseInsideClickWithTheId) {
    EXPECT_EQ(button.CurrentFrame(), 1);
    Move(button, {12, 7});
    EXPECT_EQ(button.CurrentFrame(), 2);
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
    Press(button, {12, 7});
    EXPECT_EQ(button.CurrentFrame(), 3);
    EXPECT_TRUE(dialog.commands.empty());
    Release(button, {12, 7});
    ASSERT_EQ(dialog.commands.size(), 1u);
    EXPECT_EQ(dialog.commands[0].id, kButtonId);
    EXPECT_EQ(dialog.commands[0].code, BN_CLICKED);
    EXPECT_EQ(dialog.commands[0].control, &button);
    // Normal again until the pointer moves.
    EXPECT_EQ(button.CurrentFrame(), 1);
}

TEST_F(BmpButtonTest, PressMoveOutAndReleaseGivesNoClick) {
    Move(button, {5, 5});
    Press(button, {5, 5});
    Move(button, {40, 5}, Qt::LeftButton);
    EXPECT_EQ(button.CurrentFrame(), 1);
    Release(button, {40, 5});
    EXPECT_TRUE(dialog.commands.empty());
    EXPECT_EQ(button.CurrentFrame(), 1);
}

TEST_F(BmpButtonTest, CheckedAndDisabledFrames) {
    button.m_nKind = CBmpButton::kCheck;
    button.setCheckable(true);
    button.setChecked(true);
    EXPECT_EQ(button.CurrentFrame(), 3);
    button.m_crPressed = 0x00112233;
    EXPECT_EQ(button.CurrentTextColor(), 0x00112233u);
    button.setEnabled(false);
    EXPECT_EQ(button.CurrentFrame(), 4);
}

TEST_F(BmpButtonTest, PaintsTheFrameAndTakesItsShape) {
    dialog.resize(40, 20);
    dialog.show();
    QImage shown = button.grab().toImage();
    EXPECT_EQ(shown.pixel(15, 7), kFrameColors[0]);
    EXPECT_TRUE(
        button.mask().xored(QRegion(0, 0, 20, 10).subtracted(QRegion(0, 0, 5, 5))).isEmpty());
    Move(button, {15, 7});
    shown = button.grab().toImage();
    EXPECT_EQ(shown.pixel(15, 7), kFrameColors[1]);
}

// The leftmost column holding text colour, or -1.
int FirstTextColumn(CBmpButton& button) {
    const QImage shown = button.grab().toImage();
    for (int x = 0; x < shown.width(); ++x)
        for (int y = 0; y < shown.height(); ++y)
            if (shown.pixel(x, y) == qRgb(255, 255, 255))
                return x;
    return -1;
}

TEST_F(BmpButtonTest, TextOffsetsApplyOnlyWhenSmallerThanTheButton) {
    QImage strip(400, 30, QImage::Format_RGB32);
    strip.fill(Qt::black);
    button.m_bitmap = CBitmapEx(strip);
    button.setGeometry(0, 0, 100, 30);
    button.SetText("Go");
    button.SetFont(16, "DejaVu Sans", 1, 0, 0);
    button.m_crNormal = 0x00FFFFFF;
    button.m_nTextAlign = DT_LEFT;
    dialog.show();
    const int unmoved = FirstTextColumn(button);
    ASSERT_GE(unmoved, 0);
    EXPECT_LT(unmoved, 10);
    button.m_nTextOffsetX = 40;
    EXPECT_GE(FirstTextColumn(button), 40);
    button.m_nTextOffsetX = 500;
    EXPECT_EQ(FirstTextColumn(button), unmoved);
}

TEST(BmpStatic, PassesCommandsOfItsControlsToItsParent) {
    CommandRecorder dialog;
    CBmpStatic panel(&dialog);
    CBmpButton button(&panel);
    SetDlgCtrlID(&button, kButtonId);
    button.resize(20, 10);
    Move(button, {3, 3});
    Press(button, {3, 3});
    Release(button, {3, 3});
    ASSERT_EQ(dialog.commands.size(), 1u);
    EXPECT_EQ(dialog.commands[0].id, kButtonId);
}

}  // namespace
