// The PDF outline: turns the harvested bookmark entries (a flat list with heading numbers such
// as "2", "2.1", "2.1.3") into the engine's outline tree, each entry opening its heading's
// position.
#pragma once

#include "contracts/PdfEngine.h"

class CConversionController;

// Character sets passed with every outline title.
inline constexpr LONG kOutlineCharsetDefault = 1;   // DEFAULT_CHARSET
inline constexpr LONG kOutlineCharsetGb2312 = 134;  // GB2312_CHARSET

// The character set for the user's interface language: GB2312 for Chinese (PRC), else default.
LONG OutlineCharset();

// Builds the outline from the controller's bookmark entries, then discards them (count 0).
// Does nothing without entries. Engine failures raise _com_error; the entries are then kept.
void BuildOutline(CConversionController& controller, IPDFDocument4* engine);
