#include "skin/ControlText.h"

#include <QColor>
#include <QPainter>
#include <QString>

QFont ControlFont(int nSize, const std::string& strName, int bBold, int bItalic, int bUnderline) {
    QFont font(QString::fromStdString(strName));
    font.setStyleHint(QFont::SansSerif);
    if (nSize > 0)
        font.setPixelSize(nSize);
    font.setWeight(bBold ? QFont::Bold : QFont::Normal);
    font.setItalic(bItalic != 0);
    font.setUnderline(bUnderline != 0);
    return font;
}

void DrawControlText(QPainter& painter, const QRect& rect, const std::string& strText,
                     const QFont& font, COLORREF crText, int nAlign) {
    Qt::Alignment align = Qt::AlignVCenter;
    if (nAlign & DT_CENTER)
        align |= Qt::AlignHCenter;
    else if (nAlign & DT_RIGHT)
        align |= Qt::AlignRight;
    else
        align |= Qt::AlignLeft;
    painter.setFont(font);
    painter.setPen(QColor(crText & 0xFF, (crText >> 8) & 0xFF, (crText >> 16) & 0xFF));
    painter.drawText(rect, static_cast<int>(align) | Qt::TextSingleLine,
                     QString::fromStdString(strText));
}
