// Applying a skin: a dialog's section of the skin file dresses and places its controls, and
// gives the dialog its background picture. Both are done once, while the dialog initialises.
#pragma once

#include <string>

#include "skin/BitmapEx.h"

class QWidget;

// Dresses the dialog's skinned buttons and statics and places every listed control, in the
// file's order. skinFolder ends in a separator. An id that names no control of the dialog, or a
// control of another kind than its list expects, is skipped. False, with nothing changed, when
// the file is missing or malformed.
bool ApplySkinLayout(const std::string& skinFolder, QWidget* dialog, const std::string& section);

// Replaces `background` with the section's background picture (no picture when the section
// names none or it does not load). False, leaving `background` as it was, when the file is
// missing or malformed.
bool LoadSkinBackground(const std::string& skinFolder, CBitmapEx& background,
                        const std::string& section);
