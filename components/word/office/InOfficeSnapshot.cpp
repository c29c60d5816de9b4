#include "components/word/office/InOfficeSnapshot.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XSingleComponentFactory.hpp>
#include <com/sun/star/loader/XImplementationLoader.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/uno/Sequence.hxx>

#include "components/word/office/DocumentLoader.h"
#include "components/word/office/FileUrl.h"
#include "components/word/office/Office.h"
#include "components/word/office/PdfExport.h"
#include "components/word/model/Uno.h"
#include "components/word/probe/SnapshotProbeName.h"

namespace word_component {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

// The probe of the running office: activated once per office start; an empty one after a
// refusal, so that the office is not asked again for every document.
struct ProbeCache {
    std::mutex mutex;
    bool known = false;
    unsigned generation = 0;
    Reference<css::task::XJob> probe;
};

ProbeCache& Cache(const Office* office) {
    // Never destroyed: releasing a reference into an office that ended with the process could
    // reach a bridge that is gone.
    static ProbeCache* caches = new ProbeCache[Office::kMostOffices];
    return caches[office != nullptr ? office->Slot() : 0];
}

// The probe of the office that holds the document, while that office is still the one that
// loaded it.
Reference<css::task::XJob> ProbeOfHolder(const LoadedDocument& document,
                                         const std::string& library) {
    if (document.office == nullptr) {
        return nullptr;
    }
    OfficeSession session;
    std::string error;
    if (!document.office->Session(&session, &error) || session.generation != document.generation) {
        return nullptr;
    }
    return SnapshotProbeOf(session, library);
}

// The probe's two results.
css::uno::Sequence<css::uno::Any> Take(const css::uno::Any& result) {
    css::uno::Sequence<css::uno::Any> results;
    if (!(result >>= results) || results.getLength() != 2) {
        throw css::uno::RuntimeException("The office's answer about the document is malformed.");
    }
    return results;
}

void RemoveQuietly(const std::string& path) {
    if (!path.empty()) {
        ::unlink(path.c_str());
    }
}

}  // namespace

Reference<css::task::XJob> ActivateSnapshotProbe(
    const Reference<css::uno::XComponentContext>& context, const std::string& library) {
    if (library.empty() || ::access(library.c_str(), R_OK) != 0) {
        return nullptr;
    }
    try {
        Reference<css::lang::XMultiComponentFactory> services = context->getServiceManager();
        Reference<css::loader::XImplementationLoader> loader(
            services->createInstanceWithContext("com.sun.star.loader.SharedLibrary", context),
            UNO_QUERY_THROW);
        Reference<css::lang::XSingleComponentFactory> factory(
            loader->activate(rtl::OUString::createFromAscii(word_probe::kImplementationName),
                             rtl::OUString(), word_model::FromUtf8(FileUrlFromPath(library)),
                             nullptr),
            UNO_QUERY_THROW);
        return Reference<css::task::XJob>(factory->createInstanceWithContext(context),
                                          UNO_QUERY_THROW);
    } catch (const css::uno::Exception&) {
        return nullptr;  // an office without the loader, or one that cannot load our build
    }
}

Reference<css::task::XJob> SnapshotProbeOf(const OfficeSession& session,
                                           const std::string& library) {
    ProbeCache& cache = Cache(session.office);
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (!cache.known || cache.generation != session.generation) {
        cache.probe = ActivateSnapshotProbe(session.context, library);
        cache.generation = session.generation;
        cache.known = true;
    }
    return cache.probe;
}

ProbeLoad RunLoadProbe(const Reference<css::task::XJob>& probe, const rtl::OUString& url,
                       const css::uno::Sequence<css::beans::PropertyValue>& arguments) {
    const css::beans::NamedValue named[] = {
        css::beans::NamedValue("LoadURL", css::uno::Any(url)),
        css::beans::NamedValue("LoadArguments", css::uno::Any(arguments))};
    const css::uno::Sequence<css::uno::Any> results =
        Take(probe->execute(css::uno::Sequence<css::beans::NamedValue>(named, 2)));
    ProbeLoad loaded;
    results[0] >>= loaded.frame;
    results[1] >>= loaded.component;
    return loaded;
}

word_model::DocumentSnapshot RunSnapshotProbe(
    const Reference<css::task::XJob>& probe, const Reference<css::frame::XModel>& document,
    const std::string& exportUrl,
    const css::uno::Sequence<css::beans::PropertyValue>& exportArguments,
    std::string* exportError) {
    std::vector<css::beans::NamedValue> arguments = {
        css::beans::NamedValue("Document", css::uno::Any(document))};
    if (!exportUrl.empty()) {
        arguments.emplace_back("ExportURL", css::uno::Any(word_model::FromUtf8(exportUrl)));
        arguments.emplace_back("ExportArguments", css::uno::Any(exportArguments));
    }
    const css::uno::Sequence<css::uno::Any> results =
        Take(probe->execute(css::uno::Sequence<css::beans::NamedValue>(
            arguments.data(), static_cast<sal_Int32>(arguments.size()))));
    rtl::OUString failure;
    results[1] >>= failure;
    if (exportError != nullptr) {
        *exportError = word_model::ToUtf8(failure);
    }
    return word_model::UnpackSnapshot(results[0]);
}

std::string ProbeLibraryPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&ProbeLibraryPath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    path.resize(slash == std::string::npos ? 0 : slash + 1);
    return path + word_probe::kLibraryName;
}

word_model::SnapshotSource InOfficeSnapshots(std::shared_ptr<LoadedDocument> document,
                                             std::string libraryPath) {
    return [document = std::move(document),
            libraryPath = std::move(libraryPath)](const Reference<css::frame::XModel>& model)
               -> std::optional<word_model::DocumentSnapshot> {
        std::lock_guard<std::mutex> snapshotLock(document->snapshotMutex);
        if (!document->snapshot) {
            Reference<css::task::XJob> probe = ProbeOfHolder(*document, libraryPath);
            if (!probe.is()) {
                return std::nullopt;
            }
            std::lock_guard<std::mutex> exportLock(document->exportMutex);
            // Printing follows: the export rides along, unless it exists or has no file.
            std::string exportPath;
            std::string error;
            if (!document->pdfPath.empty() || !ReservePdfExportFile(&exportPath, &error)) {
                exportPath.clear();
            }
            std::string exportError;
            {
                Office::Errand errand(document->Holder());
                Office::Watch watch(OfficeCallLimit(), document->Holder());
                try {
                    document->snapshot = RunSnapshotProbe(
                        probe, model,
                        exportPath.empty() ? std::string() : FileUrlFromPath(exportPath),
                        PdfExportArguments(), &exportError);
                } catch (...) {
                    RemoveQuietly(exportPath);
                    if (watch.Fired()) {
                        throw css::uno::RuntimeException(
                            "The office did not read the document in time.");
                    }
                    throw;
                }
            }
            if (!exportPath.empty() && exportError.empty()) {
                document->pdfPath = exportPath;
            } else {
                // PrintOut exports again itself, and reports what fails then.
                RemoveQuietly(exportPath);
            }
        }
        return *document->snapshot;
    };
}

}  // namespace word_component
