#include "ui/CMyHeaderCtrl.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QPainter>

namespace {

// SimSun where it is installed; elsewhere the Song-style CJK face fontconfig offers.
QFont HeaderFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(12);
    return font;
}

}  // namespace

CMyHeaderCtrl::CMyHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setFont(HeaderFont());
}

void CMyHeaderCtrl::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), QColor(220, 220, 220));
    if (!model())
        return;
    painter.setFont(font());
    const int height = viewport()->height();
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical))
            continue;
        const QRect item(sectionViewportPosition(logical), 0, sectionSize(logical), height);
        const QString text =
            model()->headerData(logical, orientation(), Qt::DisplayRole).toString().left(255);
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(item, Qt::AlignCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, item.width()));
        painter.setPen(QColor(200, 200, 230));
        painter.drawLine(item.x() + 1, 0, item.x() + 1, height - 1);
    }
}
