#include "components/pdfengine/PlacedPdf.h"

#include <exception>
#include <stdexcept>

#include <qpdf/QPDFPageDocumentHelper.hh>

namespace pdfengine {

QPDFPageObjectHelper OpenPlacedPdf(QPDF& pdf, std::string_view bytes) {
    pdf.setSuppressWarnings(true);
    // A payload that needs repairing is not what the driver wrote; refuse it rather than place
    // whatever a repair makes of it.
    pdf.setAttemptRecovery(false);
    pdf.processMemoryFile("placed page", bytes.data(), bytes.size());
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty()) {
        throw std::runtime_error("placed PDF has no page");
    }
    // The box a form made of the page gets must be usable for placing it.
    QPDFObjectHandle box = pages.front().getMediaBox();
    if (!box.isRectangle()) {
        throw std::runtime_error("placed PDF's page has no media box");
    }
    return pages.front();
}

bool IsPlaceablePdf(std::string_view bytes) {
    try {
        QPDF pdf;
        QPDFPageObjectHelper page = OpenPlacedPdf(pdf, bytes);
        // Parse the page's content now, so that a damaged stream fails the drawing call, not
        // the save much later.
        page.getFormXObjectForPage().getStreamData(qpdf_dl_generalized);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace pdfengine
