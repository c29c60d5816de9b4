#include "ui/CellDrawing.h"

#include <qdrawutil.h>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <algorithm>

#include "ui/ImageList.h"

namespace {

QColor FromColorRef(COLORREF color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

// A colour field: its own value, the system colour it stands for, or none.
std::optional<QColor> Resolve(COLORREF color, const QColor& systemColor) {
    if (color == CLR_NONE)
        return std::nullopt;
    if (color == CLR_DEFAULT)
        return systemColor;
    return FromColorRef(color);
}

QRect FromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}
int RightOf(const QRect& r) {
    return r.x() + r.width();
}
int BottomOf(const QRect& r) {
    return r.y() + r.height();
}

void Fill(QPainter& painter, const QRect& area, const std::optional<QColor>& color) {
    if (color && !area.isEmpty())
        painter.fillRect(area, *color);
}

// The cell text's font: the list's own, 16 pixels from ascent to descent, and underlined for
// the status column's links.
QFont CellFont(const QFont& base, bool underline) {
    QFont font = base;
    font.setPixelSize(14);
    font.setUnderline(underline);
    return font;
}

Qt::Alignment AlignmentOf(unsigned format) {
    Qt::Alignment alignment = (format & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
    if (format & DT_RIGHT)
        return alignment | Qt::AlignRight;
    if (format & DT_CENTER)
        return alignment | Qt::AlignHCenter;
    return alignment | Qt::AlignLeft;
}

// One line of text as the format asks, cut with an ellipsis where it does not fit. Qt takes no
// "&" as a mnemonic here, so a name with "&" shows it as it is.
void DrawCellText(QPainter& painter, const QRect& rect, const std::string& text, unsigned format) {
    QString line = QString::fromStdString(text);
    if (format & DT_SINGLELINE)
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (format & DT_END_ELLIPSIS) {
        line = QFontMetrics(painter.font()).elidedText(line, Qt::ElideRight, rect.width());
    }
    painter.drawText(rect, static_cast<int>(AlignmentOf(format)), line);
}

void DrawCheckBox(QPainter& painter, const CellInfo& info, const CellLayout& layout,
                  const CellSurface& surface) {
    Fill(painter, layout.checkArea,
         CellBackColor(info, surface, info.checkBoxNoSelectColors || info.noSelectColors));
    QStyleOptionButton option;
    option.rect = layout.checkBox;
    option.palette = surface.palette;
    option.state = QStyle::State_Enabled |
                   ((info.checkState & DFCS_CHECKED) ? QStyle::State_On : QStyle::State_Off);
    const QStyle* style = surface.widget ? surface.widget->style() : nullptr;
    if (style)
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, surface.widget);
}

// The image blended half and half with the selection colour where it is not transparent.
QPixmap Blended(const QPixmap& image, const QColor& color) {
    QImage blended = image.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&blended);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.setOpacity(0.5);
    painter.fillRect(blended.rect(), color);
    painter.end();
    return QPixmap::fromImage(blended);
}

QRect DrawImage(QPainter& painter, const CellInfo& info, const CellLayout& layout,
                const CellSurface& surface) {
    Fill(painter, layout.imageArea,
         CellBackColor(info, surface, info.imageNoSelectColors || info.noSelectColors));
    QPixmap image = info.imageList ? info.imageList->Image(info.image) : QPixmap();
    if (image.isNull())
        return {};
    const std::optional<QColor> selectedBack = CellBackColor(info, surface, false);
    if (info.rowSelected && !info.noSelectColors && info.imageSelectedStyle != 0 && selectedBack) {
        image = Blended(image, *selectedBack);
    }
    const QRect& at = layout.imageRect;
    painter.drawPixmap(at.topLeft(), image, QRect(0, 0, at.width(), at.height()));
    return info.imageClickable ? at : QRect();
}

void DrawProgressBar(QPainter& painter, const CellInfo& info, const CellLayout& layout,
                     const CellSurface& surface, QRect& bar, int& filledWidth) {
    const QRect& area = layout.textArea;
    bar = FromEdges(area.x() + 1, area.y() + 1, RightOf(area) - 2, BottomOf(area) - 1);
    painter.save();
    painter.setClipRegion(QRegion(area).subtracted(QRegion(bar)));
    Fill(painter, area,
         CellBackColor(info, surface, !(surface.fullRowSelect && !info.noSelectColors)));
    painter.restore();
    if (info.progressEdge != 0) {
        qDrawShadePanel(&painter, bar, surface.palette, /*sunken=*/true, 2);
        bar.adjust(2, 2, -2, -2);
    }
    filledWidth = 0;
    if (info.progressValue > 0 && !bar.isEmpty()) {
        Fill(painter, bar, Resolve(info.backColor, surface.palette.color(QPalette::Base)));
        filledWidth = info.progressValue >= info.progressMax
                          ? bar.width()
                          : static_cast<int>(static_cast<long long>(bar.width()) *
                                             info.progressValue / info.progressMax);
        Fill(painter, QRect(bar.x(), bar.y(), filledWidth, bar.height()),
             Resolve(info.progressBarColor, surface.palette.color(QPalette::Highlight)));
    }
}

}  // namespace

CellLayout LayoutCell(const CellInfo& info, const QRect& cell) {
    CellLayout layout;
    layout.cell = cell;
    const int height = cell.height();
    int left = cell.x();
    if (info.hasCheckBox) {
        int squareLeft = cell.x();
        int squareRight = cell.x() + height;
        if (info.checkBoxCentered) {
            const int centre = (cell.x() + RightOf(cell)) / 2;
            squareLeft = centre - height / 2;
            squareRight = centre + (height + 1) / 2;
        }
        layout.checkSquare = FromEdges(squareLeft, cell.y(), squareRight, BottomOf(cell));
        layout.checkArea = FromEdges(cell.x(), cell.y(), squareRight, BottomOf(cell));
        layout.checkBox = layout.checkSquare.adjusted(7, 7, -7, -7);
        left = squareRight;
    }
    if (info.image != -1) {
        const QSize imageSize = info.imageList ? info.imageList->ImageSize() : QSize();
        const QRect area = FromEdges(left, cell.y(), RightOf(cell), BottomOf(cell));
        const int drawnWidth = std::min(area.width(), imageSize.width());
        const int drawnHeight = height + 1 < imageSize.height() ? height : imageSize.height();
        int imageLeft =
            info.imageCentered ? area.x() + area.width() / 2 - imageSize.width() / 2 : area.x();
        if (!info.hasCheckBox)
            imageLeft += 1;
        const int imageTop = std::max(cell.y(), cell.y() + height / 2 - imageSize.height() / 2);
        layout.imageRect = QRect(imageLeft, imageTop, drawnWidth, drawnHeight);
        left = imageLeft + imageSize.width();
        layout.imageArea = FromEdges(area.x(), cell.y(), left, BottomOf(cell));
    }
    layout.textArea = FromEdges(left, cell.y(), RightOf(cell), BottomOf(cell));
    return layout;
}

std::optional<QColor> CellTextColor(const CellInfo& info, const CellSurface& surface,
                                    bool selectionFree) {
    const QPalette& palette = surface.palette;
    if (info.rowSelected && !selectionFree) {
        return Resolve(
            info.selectedTextColor,
            palette.color(surface.hasFocus ? QPalette::HighlightedText : QPalette::Text));
    }
    return Resolve(info.textColor, palette.color(QPalette::Text));
}

std::optional<QColor> CellBackColor(const CellInfo& info, const CellSurface& surface,
                                    bool selectionFree) {
    const QPalette& palette = surface.palette;
    if (info.rowSelected && !selectionFree) {
        return surface.hasFocus
                   ? Resolve(info.selectedBackColor, palette.color(QPalette::Highlight))
                   : Resolve(info.selectedBackColorInactive, palette.color(QPalette::Button));
    }
    return Resolve(info.backColor, palette.color(QPalette::Base));
}

CellHitRects DrawCell(QPainter& painter, const CellInfo& info, const CellLayout& layout,
                      const CellSurface& surface) {
    CellHitRects hits;
    painter.save();
    if (info.hasCheckBox)
        DrawCheckBox(painter, info, layout, surface);
    if (info.image != -1)
        hits.image = DrawImage(painter, info, layout, surface);

    const bool hasBar = info.progressMax > 0;
    QRect bar;
    int filledWidth = 0;
    if (hasBar)
        DrawProgressBar(painter, info, layout, surface, bar, filledWidth);

    const bool areaSelectionFree = !(surface.fullRowSelect && !info.noSelectColors);
    if (info.text.empty()) {
        if (!hasBar)
            Fill(painter, layout.textArea, CellBackColor(info, surface, areaSelectionFree));
        painter.restore();
        return hits;
    }
    painter.setFont(CellFont(surface.font, info.link && info.column == 4));
    if (hasBar) {
        const QRect filled(bar.x(), bar.y(), filledWidth, bar.height());
        const QRect rest = FromEdges(bar.x() + filledWidth, bar.y(), RightOf(bar), BottomOf(bar));
        const std::pair<QRect, std::optional<QColor>> parts[] = {
            {filled,
             Resolve(info.progressTextColor, surface.palette.color(QPalette::HighlightedText))},
            {rest, CellTextColor(info, surface, true)}};
        for (const auto& [clip, color] : parts) {
            if (clip.isEmpty() || !color)
                continue;
            painter.save();
            painter.setClipRect(clip);
            painter.setPen(*color);
            DrawCellText(painter, bar, info.text, info.textFormat);
            painter.restore();
        }
    } else {
        const QRect textRect = layout.textArea.adjusted(2, 0, 0, 0);
        Fill(painter, layout.textArea, CellBackColor(info, surface, areaSelectionFree));
        const std::optional<QColor> color = info.link
                                                ? std::optional<QColor>(QColor(0, 0, 255))
                                                : CellTextColor(info, surface, info.noSelectColors);
        // An opaque text background is the area's own fill already unless the selection-free
        // colour differs from it.
        Fill(painter,
             textRect.intersected(painter.fontMetrics().boundingRect(
                 textRect, static_cast<int>(AlignmentOf(info.textFormat)),
                 QString::fromStdString(info.text))),
             CellBackColor(info, surface, info.noSelectColors));
        if (info.link)
            hits.link = textRect;
        if (color) {
            painter.setPen(*color);
            DrawCellText(painter, textRect, info.text, info.textFormat);
        }
    }
    painter.restore();
    return hits;
}
