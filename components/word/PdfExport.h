// The office's PDF export of a loaded document: what PrintOut prints. Made into a private
// temporary file, which goes once the pages are in the print job, or with the document.
#pragma once

#include <string>

#include "LoadedDocument.h"

namespace word_component {

// The path of the document's PDF, exported first when needed; false with the reason in *error.
bool ExportPdf(LoadedDocument& document, std::string* pdfPath, std::string* error);

// Deletes the export once the print job holds its pages: a kept document may outlive the
// process (the office is ended by signal at exit), and its export must not.
void DiscardPdfExport(LoadedDocument& document);

}  // namespace word_component
