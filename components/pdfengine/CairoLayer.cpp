#include "components/pdfengine/CairoLayer.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <memory>

#include "components/pdfengine/emf/EmfRenderer.h"

namespace pdfengine {

namespace {

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
    try {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    } catch (...) {
        return CAIRO_STATUS_NO_MEMORY;
    }
}

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextRelease {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

}  // namespace

HRESULT RenderMetafileLayer(const emf::EmfMetafile& metafile, double pageWidth, double pageHeight,
                            const MetafilePlacement& placement, std::string* pdf) {
    pdf->clear();
    std::unique_ptr<cairo_surface_t, SurfaceRelease> surface(
        cairo_pdf_surface_create_for_stream(AppendToString, pdf, pageWidth, pageHeight));
    std::unique_ptr<cairo_t, ContextRelease> cr(cairo_create(surface.get()));
    // The renderer draws in the metafile's device pixels; this maps them onto the page.
    cairo_translate(cr.get(), placement.x, placement.y);
    cairo_scale(cr.get(), placement.scaleX, placement.scaleY);
    std::string error;
    const bool rendered = emf::RenderEmf(metafile, cr.get(), &error);
    const bool drawn = cairo_status(cr.get()) == CAIRO_STATUS_SUCCESS;
    cr.reset();
    cairo_surface_finish(surface.get());
    const cairo_status_t status = cairo_surface_status(surface.get());
    if (status == CAIRO_STATUS_NO_MEMORY) {
        return E_OUTOFMEMORY;
    }
    return rendered && drawn && status == CAIRO_STATUS_SUCCESS ? S_OK : E_FAIL;
}

}  // namespace pdfengine
