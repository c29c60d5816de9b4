// A frame of our own for each document we load: a plain invisible window and no layout
// manager. The office otherwise builds menus, toolbars, a status bar and a sidebar for every
// document it keeps open, in its idle time, although no one ever sees them; that took it about
// as long as reading the document's content did.
#pragma once

#include <com/sun/star/frame/XFrame.hpp>

#include "Office.h"

namespace word_component {

// Throws what the office throws.
css::uno::Reference<css::frame::XFrame> CreateHiddenFrame(const OfficeSession& session);

// Closes a frame (and what it shows) unless it is gone already.
void CloseFrameQuietly(const css::uno::Reference<css::frame::XFrame>& frame);

}  // namespace word_component
