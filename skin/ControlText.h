// The text the skinned controls draw themselves: their font, colour and alignment as the skin and
// the window give them.
#pragma once

#include <QFont>
#include <QRect>
#include <cstdint>
#include <string>

class QPainter;

// A colour as 0x00BBGGRR.
using COLORREF = std::uint32_t;

// Horizontal text-format flags.
inline constexpr int DT_LEFT = 0;
inline constexpr int DT_CENTER = 1;
inline constexpr int DT_RIGHT = 2;

// A sans-serif font whose characters are nSize pixels high.
QFont ControlFont(int nSize, const std::string& strName, int bBold, int bItalic, int bUnderline);

// Draws one line of text, vertically centred in rect, over what is there (no background).
void DrawControlText(QPainter& painter, const QRect& rect, const std::string& strText,
                     const QFont& font, COLORREF crText, int nAlign);
