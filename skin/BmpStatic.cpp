#include "skin/BmpStatic.h"

#include <QPainter>

CBmpStatic::CBmpStatic(QWidget* parent) : QWidget(parent) {}

CBmpStatic::~CBmpStatic() = default;

void CBmpStatic::OnCommand(int nId, int nCode, QWidget* pControl) {
    // A control inside the panel still reaches the window.
    if (auto* target = dynamic_cast<ICommandTarget*>(parentWidget()))
        target->OnCommand(nId, nCode, pControl);
}

void CBmpStatic::paintEvent(QPaintEvent*) {
    if (m_bitmap.IsNull())
        return;
    QPainter painter(this);
    DrawExtended(m_bitmap, painter, m_nExtendX, m_nExtendY, rect());
}
