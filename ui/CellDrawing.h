// How one cell of the batch list is laid out and drawn from its CellInfo: check box, image,
// progress bar and text, left to right, each over its own background.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <optional>

#include "ui/CellInfo.h"

class QPainter;
class QWidget;

// Rectangles are half-open in spirit: a rectangle's right edge is x() + width().
struct CellLayout {
    QRect cell;
    QRect checkSquare;  // the whole square a click toggles; empty without a check box
    QRect checkArea;    // from the cell's left to the square's right
    QRect checkBox;     // the box drawn: the square shrunk by 7 pixels on every side
    QRect imageArea;    // filled behind the image; empty without an image
    QRect imageRect;    // where the image is drawn, and what a click on it hits
    QRect textArea;     // the rest of the cell: progress bar and text
};

CellLayout LayoutCell(const CellInfo& info, const QRect& cell);

// What a cell is drawn against: the list's colours and state.
struct CellSurface {
    QPalette palette;
    bool hasFocus = false;
    bool fullRowSelect = false;
    QFont font;                       // the list's font; cell texts keep all but its size
    const QWidget* widget = nullptr;  // for the style's check box
};

// The colours of the rules: `selectionFree` ignores the row's selection. No value for CLR_NONE.
std::optional<QColor> CellTextColor(const CellInfo& info, const CellSurface& surface,
                                    bool selectionFree);
std::optional<QColor> CellBackColor(const CellInfo& info, const CellSurface& surface,
                                    bool selectionFree);

// Where a drawn cell can be clicked: the image's rectangle when it is clickable, the link text's
// rectangle when the text is a link (each empty otherwise).
struct CellHitRects {
    QRect image;
    QRect link;
};

CellHitRects DrawCell(QPainter& painter, const CellInfo& info, const CellLayout& layout,
                      const CellSurface& surface);
