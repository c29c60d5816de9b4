// The office's PDF export of a loaded document: what PrintOut prints. Made into a private
// temporary file, which goes once the pages are in the print job, or with the document.
#pragma once

#include <string>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Sequence.hxx>

#include "components/word/office/LoadedDocument.h"

namespace word_component {

// The path of the document's PDF, exported first when needed; false with the reason in *error.
// The export may also have been made along with the document's snapshot (InOfficeSnapshot.h).
bool ExportPdf(LoadedDocument& document, std::string* pdfPath, std::string* error);

// The office's storeToURL arguments for the export, and a new private file in the temporary
// folder for it (false with the reason in *error).
css::uno::Sequence<css::beans::PropertyValue> PdfExportArguments();
bool ReservePdfExportFile(std::string* path, std::string* error);

// Deletes the export once the print job holds its pages: a kept document may outlive the
// process (the office is ended by signal at exit), and its export must not.
void DiscardPdfExport(LoadedDocument& document);

}  // namespace word_component
