// What the engine needs to know of a metafile before it draws it: where its picture frame lies
// in device pixels, which comment records carry a page payload (a one-page PDF), and whether any
// ordinary drawing records are there to render.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace pdfengine {

// A rectangle in the metafile's device pixels.
struct PixelRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

struct MetafileLayout {
    PixelRect frame;
    // Device size in pixels (szlDevice).
    double deviceWidth = 0;
    double deviceHeight = 0;
    // The payload PDFs, as views into the metafile's bytes, in record order.
    std::vector<std::string_view> payloads;
    bool hasDrawingRecords = false;
};

// Reads the header and walks the records of the metafile in `bytes`. False when it is not a
// well-formed enhanced metafile (bad header, a record that does not fit, no EMR_EOF).
bool ReadMetafileLayout(std::string_view bytes, MetafileLayout* layout);

}  // namespace pdfengine
