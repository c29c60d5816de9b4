#include "components/word/office/HiddenFrame.h"

#include <vector>

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/WindowAttribute.hpp>
#include <com/sun/star/awt/WindowClass.hpp>
#include <com/sun/star/awt/WindowDescriptor.hpp>
#include <com/sun/star/awt/XToolkit.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XFrame2.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

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
    // No size (see the top of HiddenFrame.h); narrower than any page, too: a wider view centres
    // the pages in it, which would shift every position the view cursor reports. Never shown.
    descriptor.Bounds = css::awt::Rectangle(0, 0, 0, 0);
    descriptor.WindowAttributes = css::awt::WindowAttribute::MINSIZE;
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

namespace {

void DeleteComments(const Reference<css::lang::XComponent>& document) {
    Reference<css::text::XTextFieldsSupplier> supplier(document, UNO_QUERY);
    if (!supplier.is()) {
        return;  // not a text document: refused by the caller
    }
    std::vector<Reference<css::lang::XComponent>> comments;
    const Reference<css::container::XEnumeration> fields =
        supplier->getTextFields()->createEnumeration();
    while (fields->hasMoreElements()) {
        Reference<css::lang::XServiceInfo> field(fields->nextElement(), UNO_QUERY);
        if (field.is() && field->supportsService("com.sun.star.text.textfield.Annotation")) {
            comments.emplace_back(field, UNO_QUERY);
        }
    }
    if (comments.empty()) {
        return;
    }
    // While the document records changes, a deletion would only be marked as one, and the comment
    // would stay. Whether the office itself changed the document at load stays known
    // (LoadedDocument.h).
    Reference<css::beans::XPropertySet> settings(document, UNO_QUERY_THROW);
    const css::uno::Any recording = settings->getPropertyValue("RecordChanges");
    settings->setPropertyValue("RecordChanges", css::uno::Any(false));
    Reference<css::util::XModifiable> modifiable(document, UNO_QUERY);
    const bool changedBefore = modifiable.is() && modifiable->isModified();
    for (const auto& comment : comments) {
        if (comment.is()) {
            comment->dispose();  // takes the comment out of its text
        }
    }
    settings->setPropertyValue("RecordChanges", recording);
    if (modifiable.is() && !changedBefore) {
        modifiable->setModified(false);
    }
}

}  // namespace

HiddenDocument LoadIntoHiddenFrame(const Reference<css::uno::XComponentContext>& context,
                                   const Reference<css::frame::XDesktop2>& desktop,
                                   const rtl::OUString& url,
                                   const css::uno::Sequence<css::beans::PropertyValue>& arguments) {
    HiddenDocument loaded;
    loaded.frame = CreateHiddenFrame(context, desktop);
    try {
        loaded.component = Reference<css::frame::XComponentLoader>(loaded.frame, UNO_QUERY_THROW)
                               ->loadComponentFromURL(url, "_self", 0, arguments);
        if (loaded.component.is()) {
            DeleteComments(loaded.component);
        }
    } catch (...) {
        CloseFrameQuietly(loaded.frame);
        throw;
    }
    if (!loaded.component.is()) {
        CloseFrameQuietly(loaded.frame);
        loaded.frame.clear();
    }
    return loaded;
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
