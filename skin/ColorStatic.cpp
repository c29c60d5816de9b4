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
    m_nFontSize = nSize;
    m_strFontName = strName;
    m_bBold = bBold;
    m_bItalic = bItalic;
    m_bUnderline = bUnderline;
    update();
}

void CColorStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawControlText(painter, rect(), m_strText,
                    ControlFont(m_nFontSize, m_strFontName, m_bBold, m_bItalic, m_bUnderline),
                    m_crText, m_nTextAlign);
}
