// Reading the one-page PDFs that are placed on engine pages (page payloads, rendered layers).
#pragma once

#include <string_view>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

namespace pdfengine {

// Opens `bytes` (which must outlive `pdf`) without repairing damage and without printing
// warnings, and returns its first page. Throws when the PDF is damaged or has no page.
QPDFPageObjectHelper OpenPlacedPdf(QPDF& pdf, std::string_view bytes);

// Whether `bytes` open as a PDF with a page that can be placed.
bool IsPlaceablePdf(std::string_view bytes);

}  // namespace pdfengine
