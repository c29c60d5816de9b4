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

// {A6AF52AE-5767-49FA-8A9E-7D22643D6301}, the engine interface's id (IID_IPDFDocument4).
extern const IID kPdfDocumentIid;
// {4F840A22-7927-41DE-B45B-10785070F16F}, the class the installer registers.
extern const CLSID kPdfDocumentClsid;

// A new document object answering `riid` (IUnknown or the engine interface).
HRESULT CreatePdfDocument(REFIID riid, void** object);

}  // namespace pdfengine
