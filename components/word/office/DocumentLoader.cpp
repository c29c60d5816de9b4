#include "components/word/office/DocumentLoader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include "components/word/office/FileUrl.h"
#include "components/word/office/HiddenFrame.h"
#include "components/word/office/InOfficeSnapshot.h"
#include "components/word/office/Office.h"
#include "components/word/office/PropertyList.h"
#include "components/word/office/RecentDocuments.h"
#include "components/word/office/RefusingInteractionHandler.h"
#include "components/word/model/DispatchObject.h"
#include "components/word/model/Uno.h"
#include "platform/environment_settings.h"

namespace word_component {

namespace {

// Filters that read anything as text: a file that only they accept is not a document.
bool IsFallbackFilter(const rtl::OUString& filter) {
    static const std::array<const char*, 4> kFallbacks = {"Text", "Text (encoded)",
                                                          "HTML (StarWriter)", "HTML"};
    return std::any_of(kFallbacks.begin(), kFallbacks.end(),
                       [&](const char* name) { return filter.equalsAscii(name); });
}

rtl::OUString FilterOf(const css::uno::Reference<css::frame::XModel>& model) {
    for (const auto& argument : model->getArgs()) {
        if (argument.Name == "FilterName") {
            rtl::OUString filter;
            argument.Value >>= filter;
            return filter;
        }
    }
    return {};
}

std::shared_ptr<LoadedDocument> Failed(OpenFailure* failure, HRESULT scode,
                                       const std::string& description) {
    failure->scode = scode;
    failure->description = description;
    return {};
}

std::string BadDocumentText(const std::string& path, const std::string& why) {
    return "Word experienced an error trying to open the file (" + path + "): " + why;
}

}  // namespace

void CheckOffice(const OfficeSession& session) {
    Office& office = session.office != nullptr ? *session.office : Office::Get();
    Office::Watch watch(std::chrono::seconds(5), office);
    try {
        session.desktop->getCurrentComponent();
    } catch (...) {
        office.ReportBroken(session.generation);
    }
}

std::chrono::milliseconds OfficeCallLimit() {
    return platform::DurationSetting(platform::Setting::OfficeCallSeconds);
}

std::shared_ptr<LoadedDocument> LoadDocument(const std::string& givenPath, OpenFailure* failure) {
    using word_model::FromUtf8;
    using word_model::kWordBadDocument;
    using word_model::kWordCommandFailed;
    using word_model::kWordOpenFailed;
    using word_model::ToUtf8;
    if (givenPath.empty()) {
        return Failed(failure, kWordOpenFailed,
                      "Sorry, we couldn't find your file: no name given.");
    }
    std::error_code ignored;
    const std::string path =
        std::filesystem::absolute(givenPath, ignored).lexically_normal().string();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return Failed(
            failure, kWordOpenFailed,
            "Sorry, we couldn't find your file. Was it moved, renamed, or deleted? (" + path + ")");
    }
    if (::access(path.c_str(), R_OK) != 0) {
        return Failed(
            failure, kWordOpenFailed,
            "Word cannot open the document: user does not have access privileges (" + path + ")");
    }
    if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        return Failed(failure, kWordBadDocument, BadDocumentText(path, "the file is empty"));
    }
    FileStamp stamp;
    if (!ReadFileStamp(path, &stamp)) {
        return Failed(failure, kWordOpenFailed, "Sorry, we couldn't find your file (" + path + ")");
    }

    if (auto kept = RecentDocuments::Get().Take(path, stamp)) {
        return kept;
    }
    const std::unique_ptr<Office::Errand> errand = Office::ForNewDocument();
    Office& office = errand->Of();
    OfficeSession session;
    std::string error;
    if (!office.Session(&session, &error)) {
        return Failed(failure, kWordCommandFailed,
                      "Word could not start its document engine: " + error);
    }

    const auto arguments = PropertyList({
        Property("Hidden", css::uno::Any(true)),
        Property("ReadOnly", css::uno::Any(true)),
        Property("Silent", css::uno::Any(true)),
        Property("RepairPackage", css::uno::Any(false)),
        Property("MacroExecutionMode", css::uno::Any(css::document::MacroExecMode::NEVER_EXECUTE)),
        Property("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
        Property("InteractionHandler", css::uno::Any(MakeRefusingInteractionHandler())),
    });
    auto document = std::make_shared<LoadedDocument>();
    document->path = path;
    document->stamp = stamp;
    document->office = &office;
    document->generation = session.generation;
    document->tenancy = std::make_unique<Office::Tenancy>(office, session.generation);
    css::uno::Reference<css::lang::XComponent> component;
    std::string why;
    {
        Office::Watch watch(OfficeCallLimit(), office);
        try {
            const rtl::OUString url = FromUtf8(FileUrlFromPath(path));
            const auto probe = SnapshotProbeOf(session);
            HiddenDocument loaded =
                probe.is() ? RunLoadProbe(probe, url, arguments)
                           : LoadIntoHiddenFrame(session.context, session.desktop, url, arguments);
            document->frame = std::move(loaded.frame);
            component = std::move(loaded.component);
        } catch (const css::uno::RuntimeException& e) {
            // Maybe the office crashed, or the watchdog ended it, during the load.
            CheckOffice(session);
            why = "the document engine failed (" + ToUtf8(e.Message) + ")";
        } catch (const css::uno::Exception& e) {
            why = ToUtf8(e.Message);
        }
        if (watch.Fired()) {
            office.ReportBroken(session.generation);
            return Failed(failure, kWordBadDocument,
                          BadDocumentText(path, "it did not open within the time limit"));
        }
    }
    if (!component.is()) {
        return Failed(failure, kWordBadDocument,
                      BadDocumentText(path, why.empty() ? "the file is damaged, protected by a "
                                                          "password or of an unknown kind"
                                                        : why));
    }
    document->model.set(component, css::uno::UNO_QUERY);
    try {
        css::uno::Reference<css::text::XTextDocument> text(component, css::uno::UNO_QUERY);
        if (!text.is() || !document->model.is()) {
            return Failed(failure, kWordBadDocument,
                          BadDocumentText(path, "it is not a text document"));
        }
        css::uno::Reference<css::util::XModifiable> modifiable(component, css::uno::UNO_QUERY);
        document->modifiedAtLoad = modifiable.is() && modifiable->isModified();
        const rtl::OUString filter = FilterOf(document->model);
        if (IsFallbackFilter(filter)) {
            return Failed(
                failure, kWordBadDocument,
                BadDocumentText(path, "it is not a document Word reads (" + ToUtf8(filter) + ")"));
        }
    } catch (const css::uno::Exception& e) {
        CheckOffice(session);
        return Failed(failure, kWordBadDocument, BadDocumentText(path, ToUtf8(e.Message)));
    }
    return document;
}

}  // namespace word_component
