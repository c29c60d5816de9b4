// The PDF engine's document object ("PDFCreatorPilot.PDFDocument4"): IPDFDocument4 on qpdf.
//
// Engine units are points (72 to the inch). A new object holds one page, current, of A4 size
// rounded to whole points (595 x 842); AddPage appends a page of that size and leaves the current
// page as it is. Metafiles are drawn from their page payloads (one-page PDFs in comment records,
// placed over the metafile's frame); nothing is written until SaveToFile. Every failure comes
// back as an HRESULT; nothing is thrown across the interface.
#pragma once

#include "platform/com.h"

namespace pdfengine {

// A new document object answering `riid` (IUnknown or IID_IPDFDocument4, contracts/PdfEngine.h).
// Its class is kPdfDocumentClsid (contracts/Installation.h).
HRESULT CreatePdfDocument(REFIID riid, void** object);

}  // namespace pdfengine
