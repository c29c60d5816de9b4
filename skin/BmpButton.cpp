#include "skin/BmpButton.h"

#include <QMouseEvent>
#include <QPainter>

#include "skin/ControlCommand.h"

CBmpButton::CBmpButton(QWidget* parent) : QAbstractButton(parent) {
    // Moves without a button held decide the hover frame.
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

CBmpButton::~CBmpButton() = default;

void CBmpButton::SetText(const std::string& strText) {
    m_strText = strText;
    update();
}

void CBmpButton::SetFont(int nSize, const std::string& strName, int bBold, int bItalic,
                         int bUnderline) {
    m_font = ControlFont(nSize, strName, bBold, bItalic, bUnderline);
    update();
}

int CBmpButton::CurrentFrame() const {
    if (!isEnabled())
        return 4;
    if (m_nKind == kCheck)
        return isChecked() ? 3 : (m_bHover ? 2 : 1);
    if (m_bHover && m_bPressed)
        return 3;
    return m_bHover ? 2 : 1;
}

COLORREF CBmpButton::CurrentTextColor() const {
    switch (CurrentFrame()) {
        case 4:
            return m_crDisabled;
        case 3:
            return m_crPressed;
        case 2:
            return m_crHover;
        default:
            return m_crNormal;
    }
}

QRect CBmpButton::TextRect() const {
    QRect text = rect();
    if (m_nTextOffsetX < text.width())
        text.setLeft(text.left() + m_nTextOffsetX);
    if (m_nTextOffsetY < text.height())
        text.setTop(text.top() + m_nTextOffsetY);
    return text;
}

void CBmpButton::paintEvent(QPaintEvent*) {
    m_bEnabled = isEnabled() ? 1 : 0;
    CBitmapEx frame;
    ExtractFrame(m_bitmap, CurrentFrame(), frame);
    // Rebuilt on every paint: the shape follows the frame shown. setMask ignores an unchanged
    // shape, so this does not paint again and again.
    const QRegion shape = BitmapToRegion(frame);
    setMask(shape);

    QPainter painter(this);
    if (!frame.IsNull()) {
        painter.setClipRegion(shape);
        Blit(frame, painter, rect());
        painter.setClipping(false);
    }
    if (!m_strText.empty()) {
        DrawControlText(painter, TextRect(), m_strText, m_font, CurrentTextColor(), m_nTextAlign);
    }
}

void CBmpButton::mouseMoveEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) {
        setCursor(Qt::PointingHandCursor);
        if (!m_bHover) {
            m_bHover = 1;
            repaint();
        }
    } else if (m_bHover) {
        m_bHover = 0;
        repaint();
    }
}

void CBmpButton::leaveEvent(QEvent*) {
    // Without a button held the pointer is not followed outside: leaving is its last move.
    if (!m_bPressed)
        PointerLeft();
}

void CBmpButton::PointerLeft() {
    if (m_bHover) {
        m_bHover = 0;
        repaint();
    }
}

void CBmpButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_bPressed = 1;
    m_bHover = 1;
    repaint();
    setFocus(Qt::MouseFocusReason);
}

void CBmpButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_bPressed = 0;
    if (m_bHover) {
        // Released inside: a click. The normal frame shows until the pointer moves again.
        m_bHover = 0;
        repaint();
        SendCommandToParent(this, BN_CLICKED);
    } else {
        repaint();
    }
}

void CBmpButton::mouseDoubleClickEvent(QMouseEvent*) {}

void CBmpButton::focusInEvent(QFocusEvent*) {}

void CBmpButton::focusOutEvent(QFocusEvent*) {}
