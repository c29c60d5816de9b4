#include "skin/ColorStatic.h"

#include <QPainter>

CColorStatic::CColorStatic(QWidget* parent) : QWidget(parent) {}

CColorStatic::~CColorStatic() = default;

void CColorStatic::SetText(const std::string& strText) {
    m_strText = strText;
    update();
}

void CColorStatic::SetFont(int nSize, const std::string& strName, int bBold, int bItalic,
                           int bUnderline) {
    m_font = ControlFont(nSize, strName, bBold, bItalic, bUnderline);
    update();
}

void CColorStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawControlText(painter, rect(), m_strText, m_font, m_crText, m_nTextAlign);
}
