// Writes an engine document as a PDF file with qpdf: one page per engine page, each placed PDF
// as a form XObject, links as annotations, the outline, the document information. Fonts and
// images that several placed pages share are written once (ObjectImporter); streams are
// compressed and objects go into object streams.
#pragma once

#include <string>

#include "components/pdfengine/EngineDocument.h"
#include "components/pdfengine/PageStore.h"
#include "platform/com.h"

namespace pdfengine {

// Writes the PDF to `path` through a temporary file (FileReplacement.h). Placed PDFs are read
// from `store` one at a time and released once their objects are copied.
HRESULT WriteDocument(const EngineDocument& document, const PageStore& store,
                      const std::string& path);

}  // namespace pdfengine
