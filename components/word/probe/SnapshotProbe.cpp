// The probe: a UNO component that the office loads into its own process (through its shared
// library loader, see components/word/office/InOfficeSnapshot.h) to take a document's snapshot there,
// where every read of the document is a plain function call instead of a round trip through
// the pipe.
//
// It is a task job with two errands, both run on the office's main thread:
// - Reading: execute() takes the document as the argument "Document" and, when the document's
//   PDF export is wanted as well (printing follows reading here), the file URL to store it at
//   as "ExportURL" and the store arguments as "ExportArguments". It returns two values: the
//   packed snapshot, and the reason the export failed (empty when it was made or not asked for).
// - Loading: execute() takes the file URL as "LoadURL" and the load arguments as
//   "LoadArguments", loads the document into a hidden frame of ours (HiddenFrame.h) and returns
//   two values: the frame and the document, both empty when the office gave no document. The
//   frame is closed again when the load fails. Made here, the frame and the load cost the office
//   none of the many round trips they take through the pipe, and the document's comments are
//   gone before the office's main thread does anything else.
// Nothing may escape it but UNO exceptions, which the bridge carries back.
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>

#include <com/sun/star/awt/XCallback.hpp>
#include <com/sun/star/awt/XRequestCallback.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/lang/XSingleComponentFactory.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <cppuhelper/factory.hxx>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/supportsservice.hxx>
#include <rtl/ref.hxx>

#include "components/word/office/HiddenFrame.h"
#include "components/word/model/DocumentSnapshot.h"
#include "components/word/probe/SnapshotProbeName.h"

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;

// Work handed to the office's main thread, and its outcome.
class MainThreadTask : public cppu::WeakImplHelper1<css::awt::XCallback> {
  public:
    explicit MainThreadTask(std::function<void()> work) : work_(std::move(work)) {}

    void SAL_CALL notify(const Any& /*data*/) override {
        std::exception_ptr failure;
        try {
            work_();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = failure;
        done_ = true;
        finished_.notify_all();
    }

    // Until the work has run; rethrows what it threw.
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return done_; });
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

  private:
    std::function<void()> work_;
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::exception_ptr failure_;
};

class SnapshotProbe : public cppu::WeakImplHelper2<css::task::XJob, css::lang::XServiceInfo> {
  public:
    explicit SnapshotProbe(Reference<css::uno::XComponentContext> context)
        : context_(std::move(context)) {}

    Any SAL_CALL execute(const Sequence<css::beans::NamedValue>& arguments) override {
        Reference<css::frame::XModel> document;
        rtl::OUString exportUrl;
        Sequence<css::beans::PropertyValue> exportArguments;
        rtl::OUString loadUrl;
        Sequence<css::beans::PropertyValue> loadArguments;
        for (const css::beans::NamedValue& argument : arguments) {
            if (argument.Name == "Document") {
                argument.Value >>= document;
            } else if (argument.Name == "ExportURL") {
                argument.Value >>= exportUrl;
            } else if (argument.Name == "ExportArguments") {
                argument.Value >>= exportArguments;
            } else if (argument.Name == "LoadURL") {
                argument.Value >>= loadUrl;
            } else if (argument.Name == "LoadArguments") {
                argument.Value >>= loadArguments;
            }
        }
        if (!loadUrl.isEmpty()) {
            return Guarded([&] { return Load(loadUrl, loadArguments); });
        }
        if (!document.is()) {
            throw css::lang::IllegalArgumentException("The snapshot needs a \"Document\".",
                                                      static_cast<cppu::OWeakObject*>(this), 0);
        }
        return Guarded([&] { return Read(document, exportUrl, exportArguments); });
    }

  private:
    // What work throws, as the UNO exception the bridge can carry.
    Any Guarded(const std::function<Any()>& work) {
        try {
            return work();
        } catch (const css::uno::Exception&) {
            throw;
        } catch (const std::exception& e) {
            throw css::uno::RuntimeException(rtl::OUString::fromUtf8(e.what()),
                                             static_cast<cppu::OWeakObject*>(this));
        } catch (...) {
            throw css::uno::RuntimeException("The probe failed.",
                                             static_cast<cppu::OWeakObject*>(this));
        }
    }

    Any Read(const Reference<css::frame::XModel>& document, const rtl::OUString& exportUrl,
             const Sequence<css::beans::PropertyValue>& exportArguments) {
        Any snapshot;
        rtl::OUString exportError;
        // On the office's main thread, which then holds the office's lock for the whole work
        // instead of taking it in turns with this thread for every single call.
        RunOnMainThread([&] {
            snapshot = word_model::PackSnapshot(word_model::TakeSnapshot(document));
            exportError = Export(document, exportUrl, exportArguments);
        });
        const Any result[] = {snapshot, Any(exportError)};
        return Any(Sequence<Any>(result, 2));
    }

    Any Load(const rtl::OUString& url, const Sequence<css::beans::PropertyValue>& arguments) {
        word_component::HiddenDocument loaded;
        // The load and the deletion of the comments in one go (see HiddenFrame.h).
        RunOnMainThread([&] {
            loaded = word_component::LoadIntoHiddenFrame(
                context_, css::frame::Desktop::create(context_), url, arguments);
        });
        const Any result[] = {Any(loaded.frame), Any(loaded.component)};
        return Any(Sequence<Any>(result, 2));
    }

    // Stores the document's export; the reason it failed, or empty.
    static rtl::OUString Export(const Reference<css::frame::XModel>& document,
                                const rtl::OUString& url,
                                const Sequence<css::beans::PropertyValue>& arguments) {
        if (url.isEmpty()) {
            return rtl::OUString();
        }
        try {
            Reference<css::frame::XStorable> storable(document, css::uno::UNO_QUERY_THROW);
            storable->storeToURL(url, arguments);
            return rtl::OUString();
        } catch (const css::uno::Exception& e) {
            return e.Message.isEmpty() ? rtl::OUString("the export failed") : e.Message;
        }
    }

    void RunOnMainThread(std::function<void()> work) {
        rtl::Reference<MainThreadTask> task(new MainThreadTask(std::move(work)));
        Reference<css::awt::XRequestCallback> callbacks(
            context_->getServiceManager()->createInstanceWithContext(
                "com.sun.star.awt.AsyncCallback", context_),
            css::uno::UNO_QUERY);
        if (!callbacks.is()) {
            task->notify(Any());  // an office without it: here, then
        } else {
            callbacks->addCallback(Reference<css::awt::XCallback>(task.get()), Any());
        }
        task->Wait();
    }

  public:
    rtl::OUString SAL_CALL getImplementationName() override {
        return rtl::OUString::createFromAscii(word_probe::kImplementationName);
    }
    sal_Bool SAL_CALL supportsService(const rtl::OUString& name) override {
        return cppu::supportsService(this, name);
    }
    Sequence<rtl::OUString> SAL_CALL getSupportedServiceNames() override {
        const rtl::OUString name = rtl::OUString::createFromAscii(word_probe::kImplementationName);
        return Sequence<rtl::OUString>(&name, 1);
    }

  private:
    Reference<css::uno::XComponentContext> context_;
};

Reference<css::uno::XInterface> SAL_CALL
CreateProbe(const Reference<css::uno::XComponentContext>& context) {
    return static_cast<cppu::OWeakObject*>(new SnapshotProbe(context));
}

}  // namespace

// The entry point the office's shared library loader looks for.
extern "C" SAL_DLLPUBLIC_EXPORT void* component_getFactory(const char* implementationName,
                                                           void* /*serviceManager*/,
                                                           void* /*registryKey*/) {
    if (implementationName == nullptr ||
        std::strcmp(implementationName, word_probe::kImplementationName) != 0) {
        return nullptr;
    }
    const rtl::OUString name = rtl::OUString::createFromAscii(word_probe::kImplementationName);
    Reference<css::lang::XSingleComponentFactory> factory =
        cppu::createSingleComponentFactory(&CreateProbe, name, Sequence<rtl::OUString>(&name, 1));
    factory->acquire();  // the loader takes over this reference
    return factory.get();
}
