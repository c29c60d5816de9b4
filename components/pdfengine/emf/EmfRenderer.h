// Plays a metafile's drawing records onto a cairo context: shapes, paths, bitmaps and text kept
// as real text with its fonts, under the metafile's mapping mode, world transform and clipping.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <string>

#include "components/pdfengine/emf/EmfReader.h"

namespace emf {

struct RenderStats {
    std::size_t played = 0;     // records drawn or applied to the drawing state
    std::size_t skipped = 0;    // records of kinds this player does not draw (comments too)
    std::size_t malformed = 0;  // records whose fields contradict their size or each other
};

// Whether any record would put marks on the page: a metafile that holds only its header,
// state records and comments (such as a page carrying its content as a payload) needs no pass.
bool HasDrawingRecords(const EmfMetafile& emf);

// Draws `emf` onto `cr`, whose user space the caller has set to the metafile's reference device
// pixels (the header's szlDevice): record coordinates are mapped from there. The context's
// state (matrix, clip, source, path) is restored before returning.
//
// Unsupported records are skipped; a malformed record is skipped too and playing goes on, but
// the result is then false with the first fault in `error`. A cairo failure (the context in an
// error state) also gives false. `stats` may be null.
bool RenderEmf(const EmfMetafile& emf, cairo_t* cr, std::string* error,
               RenderStats* stats = nullptr);

}  // namespace emf
