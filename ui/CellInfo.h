// The records the batch list and its parent exchange: what one cell shows (CellInfo, filled by
// the parent for every cell the list draws or measures) and what a click hit (ClickInfo).
#pragma once

#include <cstdint>
#include <string>

#include "skin/ControlText.h"

class CImageList;

// Colour values: 0x00BBGGRR, or one of these two.
inline constexpr COLORREF CLR_DEFAULT = 0xFF000000;  // the system colour the field names
inline constexpr COLORREF CLR_NONE = 0xFFFFFFFF;     // no colour: the area is not filled

// Text-format flags, besides the horizontal alignments of skin/ControlText.h.
inline constexpr unsigned DT_VCENTER = 0x0004;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// The check state of a ticked check box.
inline constexpr unsigned DFCS_CHECKED = 0x0400;
// The image list's selected style: the image blended 50 % with the selection colour.
inline constexpr unsigned ILD_SELECTED = 4;
// A sunken edge, outer and inner.
inline constexpr unsigned EDGE_SUNKEN = 10;

struct CellInfo {
    bool link = false;
    bool imageClickable = false;
    std::string text;
    std::string tip;
    bool noSelectColors = false;
    unsigned textFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
    int image = -1;
    const CImageList* imageList = nullptr;
    bool imageNoSelectColors = true;
    bool imageCentered = false;
    unsigned imageSelectedStyle = ILD_SELECTED;
    unsigned checkState = 0;
    bool hasCheckBox = false;
    bool checkBoxCentered = false;
    bool checkBoxNoSelectColors = true;
    int progressMax = 0;
    int progressValue = 0;
    COLORREF progressBarColor = CLR_DEFAULT;   // system highlight
    COLORREF progressTextColor = CLR_DEFAULT;  // system highlight text
    unsigned progressEdge = EDGE_SUNKEN;
    COLORREF textColor = CLR_DEFAULT;          // system window text
    COLORREF backColor = CLR_DEFAULT;          // system window
    COLORREF selectedTextColor = CLR_DEFAULT;  // highlight text with focus, else window text
    COLORREF selectedBackColor = CLR_DEFAULT;  // system highlight
    COLORREF selectedBackColorInactive = CLR_DEFAULT;  // system button face
    int row = 0;
    int column = 0;
    bool rowSelected = false;
};

// Where a left click landed: the cell, and which of its drawn parts it hit.
struct ClickInfo {
    std::int32_t row;
    std::int32_t column;
    bool imageHit;
    bool checkHit;
    bool textHit;
    bool linkHit;
};
static_assert(sizeof(ClickInfo) == 12);
