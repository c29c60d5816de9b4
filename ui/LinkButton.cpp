#include "ui/LinkButton.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

#include "platform/shell.h"

namespace {
// Room around the text for the focus frame.
constexpr int kMargin = 2;
}  // namespace

CLinkButton::CLinkButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    // Whether a viewer was found is not the dialog's concern.
    connect(this, &QAbstractButton::clicked, this, [this] { platform::ShellOpen(m_strURL); });
}

void CLinkButton::SetTooltip(const std::string& tip) {
    setToolTip(QString::fromStdString(tip));
}

QFont CLinkButton::LinkFont() const {
    QFont underlined = font();
    underlined.setUnderline(true);
    return underlined;
}

QSize CLinkButton::sizeHint() const {
    const QSize text =
        QFontMetrics(LinkFont()).size(Qt::TextSingleLine | Qt::TextShowMnemonic, this->text());
    return text + QSize(2 * kMargin, 2 * kMargin);
}

void CLinkButton::SizeToContent() {
    resize(sizeHint());
}

void CLinkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(LinkFont());
    painter.setPen(palette().color(isDown() ? QPalette::LinkVisited : QPalette::Link));
    const QRect textArea = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    painter.drawText(textArea,
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                     text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
