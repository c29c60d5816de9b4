// A picture button: its look is one of four frames of a strip (normal, hover, pressed or
// checked, disabled), its window shape that frame's non-key pixels, and it draws its own text.
// A click reaches the parent as a command with the button's id.
#pragma once

#include <QAbstractButton>
#include <string>

#include "skin/BitmapEx.h"
#include "skin/ControlText.h"

class CBmpButton : public QAbstractButton {
  public:
    enum Kind { kPush = 0, kCheck = 1 };

    explicit CBmpButton(QWidget* parent = nullptr);
    ~CBmpButton() override;

    void SetText(const std::string& strText);
    void SetFont(int nSize, const std::string& strName, int bBold, int bItalic, int bUnderline);

    // The frame (1 to 4) and text colour the current state shows.
    int CurrentFrame() const;
    COLORREF CurrentTextColor() const;

    // Set by the owner.
    int m_nTextOffsetX = 0;
    int m_nTextOffsetY = 0;
    COLORREF m_crNormal = 0;
    COLORREF m_crHover = 0;
    COLORREF m_crPressed = 0;
    COLORREF m_crDisabled = 0;
    int m_nTextAlign = DT_CENTER;
    CBitmapEx m_bitmap;  // the state strip, replaced by the skin loader
    int m_nKind = kPush;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // The text rectangle: the offsets move its left and top edges when they fit.
    QRect TextRect() const;
    void PointerLeft();

    std::string m_strText;
    QFont m_font = ControlFont(9, "Arial", 0, 0, 0);  // made when the font is set, not per paint
    int m_bHover = 0;
    int m_bPressed = 0;
    int m_bEnabled = 1;
};
