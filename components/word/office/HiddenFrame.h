// A frame of our own for each document we load: a plain invisible window and no layout
// manager. The office otherwise builds menus, toolbars, a status bar and a sidebar for every
// document it keeps open, in its idle time, although no one ever sees them; that took it about
// as long as reading the document's content did.
//
// A document's comments go as it is loaded. Writer's view gives every comment a window in the
// page margin, built from Writer's dialog definitions, which an office installed without its
// user interface (LibreOffice's "nogui" packages) does not have: the build throws, at the view's
// first resize (the load fails: "Frame disposed") or in the margin's deferred layout on the
// office's main thread (the office aborts). The window therefore has no size, as the office's own
// hidden frames have, so that the first resize lays out nothing, and the comments are deleted
// before the office's main thread runs again: the view's margin then has nothing to lay out.
// Comments are never printed nor exported (PdfExport.h), and the document is read-only and never
// stored, so nothing a user gets is changed.
#pragma once

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace word_component {

// A frame among the desktop's frames, made with the office's own context (through the pipe, or
// inside the office by the probe). Throws what the office throws.
css::uno::Reference<css::frame::XFrame> CreateHiddenFrame(
    const css::uno::Reference<css::uno::XComponentContext>& context,
    const css::uno::Reference<css::frame::XDesktop2>& desktop);

// A document in a hidden frame of ours; both empty when the office gave no document.
struct HiddenDocument {
    css::uno::Reference<css::frame::XFrame> frame;
    css::uno::Reference<css::lang::XComponent> component;
};

// Loads the document into a new hidden frame and deletes its comments; the frame is closed again
// when the load fails or gives nothing. Throws what the office throws. Only on the office's main
// thread (the probe's load) does nothing run between the load and the deletion; through the
// pipe (an office that refuses our probe), the margin's deferred layout may come first, and a
// document with comments may then end the office: its job fails and the office is restarted.
HiddenDocument LoadIntoHiddenFrame(const css::uno::Reference<css::uno::XComponentContext>& context,
                                   const css::uno::Reference<css::frame::XDesktop2>& desktop,
                                   const rtl::OUString& url,
                                   const css::uno::Sequence<css::beans::PropertyValue>& arguments);

// Closes a frame (and what it shows) unless it is gone already.
void CloseFrameQuietly(const css::uno::Reference<css::frame::XFrame>& frame);

}  // namespace word_component
