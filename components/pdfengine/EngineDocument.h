// The document an engine object builds: pages with their size, the PDFs placed on them, their
// links, the outline and the document information. Positions are in points from the page's
// top-left corner, y downwards, as the engine's callers give them; they become PDF space (y up)
// only when the document is written, so a page may change its height after things were placed.
#pragma once

#include <string>
#include <vector>

#include "components/pdfengine/OutlineTree.h"
#include "components/pdfengine/PageStore.h"

namespace pdfengine {

struct TopDownRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// A one-page PDF (in the page store) drawn into `area`, stretched to fill it.
struct PlacedPdf {
    StoredBytes pdf;
    TopDownRect area;
};

// A link area that opens `uri`, or, with an empty uri, jumps to `destination`.
struct LinkArea {
    TopDownRect area;
    std::string uri;
    Destination destination;
};

struct EnginePage {
    double width = 0;
    double height = 0;
    std::vector<PlacedPdf> layers;  // bottom first
    std::vector<LinkArea> links;
};

struct EngineDocument {
    std::vector<EnginePage> pages;
    OutlineTree outline;
    bool openWithOutline = true;
    std::string creator;   // UTF-8
    std::string producer;  // UTF-8
};

}  // namespace pdfengine
