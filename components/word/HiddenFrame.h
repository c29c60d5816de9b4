// A frame of our own for each document we load: a plain invisible window and no layout
// manager. The office otherwise builds menus, toolbars, a status bar and a sidebar for every
// document it keeps open, in its idle time, although no one ever sees them; that took it about
// as long as reading the document's content did.
#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace word_component {

// A frame among the desktop's frames, made with the office's own context (through the pipe, or
// inside the office by the probe). Throws what the office throws.
css::uno::Reference<css::frame::XFrame> CreateHiddenFrame(
    const css::uno::Reference<css::uno::XComponentContext>& context,
    const css::uno::Reference<css::frame::XDesktop2>& desktop);

// Closes a frame (and what it shows) unless it is gone already.
void CloseFrameQuietly(const css::uno::Reference<css::frame::XFrame>& frame);

}  // namespace word_component
