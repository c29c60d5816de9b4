// Documents loaded, and their snapshots taken, inside the office process by our probe library
// (see model/DocumentSnapshot.h): one call through the pipe per document instead of one per
// read.
#pragma once

#include <memory>
#include <string>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include "components/word/office/HiddenFrame.h"
#include "components/word/office/LoadedDocument.h"
#include "components/word/office/Office.h"
#include "components/word/model/DocumentModel.h"

namespace word_component {

// The probe library beside this component's own library.
std::string ProbeLibraryPath();

// The probe, activated in the office of that context from that library; null when the library
// is missing or the office cannot load it.
css::uno::Reference<css::task::XJob> ActivateSnapshotProbe(
    const css::uno::Reference<css::uno::XComponentContext>& context, const std::string& library);

// The probe of that office session, activated once per office start; null as above.
css::uno::Reference<css::task::XJob> SnapshotProbeOf(
    const OfficeSession& session, const std::string& library = ProbeLibraryPath());

// What the probe's load gives (HiddenFrame.h).
using ProbeLoad = HiddenDocument;
// Has the probe load a document on the office's main thread. Throws what the office throws.
ProbeLoad RunLoadProbe(const css::uno::Reference<css::task::XJob>& probe, const rtl::OUString& url,
                       const css::uno::Sequence<css::beans::PropertyValue>& arguments);

// Runs the probe on a document: its snapshot, and, when exportUrl is not empty, the document's
// PDF export stored there with exportArguments. *exportError (when given) is why the export
// failed, or empty. Throws what the office throws; std::runtime_error for a malformed answer.
word_model::DocumentSnapshot RunSnapshotProbe(
    const css::uno::Reference<css::task::XJob>& probe,
    const css::uno::Reference<css::frame::XModel>& document, const std::string& exportUrl = {},
    const css::uno::Sequence<css::beans::PropertyValue>& exportArguments = {},
    std::string* exportError = nullptr);

// The snapshot source for a loaded document. The office loads the library once per start
// (through its shared library loader) and runs it in its own process. The snapshot is taken
// once per loaded document and kept with it; the same call stores the document's PDF export,
// which printing needs next, unless it was made already. Where the library is missing or the
// office refuses it, the source gives nullopt, and the model reads piece by piece. A call that
// takes longer than the office call limit ends the office, as a hung load does.
word_model::SnapshotSource InOfficeSnapshots(std::shared_ptr<LoadedDocument> document,
                                             std::string libraryPath = ProbeLibraryPath());

}  // namespace word_component
