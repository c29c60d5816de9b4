// The ordinary drawing records of a metafile, rendered with cairo into a one-page PDF of the
// engine page's size, so that a metafile that is not a printed payload page draws too.
#pragma once

#include <string>

#include "components/pdfengine/emf/EmfReader.h"
#include "platform/com.h"

namespace pdfengine {

// Where the metafile goes on the page: its device pixels scaled by (scaleX, scaleY) and moved
// by (x, y), in points from the page's top-left corner.
struct MetafilePlacement {
    double x = 0;
    double y = 0;
    double scaleX = 1;
    double scaleY = 1;
};

// Renders `metafile` onto a cairo PDF surface of pageWidth x pageHeight points and returns that
// PDF in `pdf`. E_FAIL when a record is malformed or cairo fails.
HRESULT RenderMetafileLayer(const emf::EmfMetafile& metafile, double pageWidth, double pageHeight,
                            const MetafilePlacement& placement, std::string* pdf);

}  // namespace pdfengine
