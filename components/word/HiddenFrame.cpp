#include "HiddenFrame.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/WindowClass.hpp>
#include <com/sun/star/awt/WindowDescriptor.hpp>
#include <com/sun/star/awt/XToolkit.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/frame/XFrame2.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>

namespace word_component {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

Reference<css::frame::XFrame> CreateHiddenFrame(
    const Reference<css::uno::XComponentContext>& context,
    const Reference<css::frame::XDesktop2>& desktop) {
    Reference<css::lang::XMultiComponentFactory> services = context->getServiceManager();
    Reference<css::awt::XToolkit> toolkit(
        services->createInstanceWithContext("com.sun.star.awt.Toolkit", context), UNO_QUERY_THROW);
    css::awt::WindowDescriptor descriptor;
    descriptor.Type = css::awt::WindowClass_TOP;
    descriptor.WindowServiceName = "window";
    descriptor.ParentIndex = -1;
    // Narrower than any page: a wider view centres the pages in it, which would shift every
    // position the view cursor reports. Never shown.
    descriptor.Bounds = css::awt::Rectangle(0, 0, 100, 100);
    descriptor.WindowAttributes = 0;
    Reference<css::awt::XWindow> window(toolkit->createWindow(descriptor), UNO_QUERY_THROW);

    Reference<css::frame::XFrame2> frame(
        services->createInstanceWithContext("com.sun.star.frame.Frame", context), UNO_QUERY_THROW);
    frame->initialize(window);
    frame->setLayoutManager(nullptr);
    // Among the desktop's frames, as a frame the office made itself would be.
    Reference<css::frame::XFramesSupplier>(desktop, UNO_QUERY_THROW)
        ->getFrames()
        ->append(Reference<css::frame::XFrame>(frame, UNO_QUERY_THROW));
    return Reference<css::frame::XFrame>(frame, UNO_QUERY_THROW);
}

void CloseFrameQuietly(const Reference<css::frame::XFrame>& frame) {
    try {
        Reference<css::util::XCloseable> closeable(frame, UNO_QUERY);
        if (closeable.is()) {
            closeable->close(true);
        } else if (frame.is()) {
            frame->dispose();
        }
    } catch (...) {
        // Closed along with its document, or gone with its office.
    }
}

}  // namespace word_component
