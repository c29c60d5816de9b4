// The office's PDF export of a loaded document: what PrintOut prints. Made once per loaded
// document into a private temporary file, which goes with the document.
#pragma once

#include <string>

#include "LoadedDocument.h"

namespace word_component {

// The path of the document's PDF, exported first when needed; false with the reason in *error.
bool ExportPdf(LoadedDocument& document, std::string* pdfPath, std::string* error);

}  // namespace word_component
