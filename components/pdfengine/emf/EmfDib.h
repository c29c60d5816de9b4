// Device-independent bitmaps as EMF bitmap records carry them (BITMAPINFO, then the pixel
// rows), decoded to cairo image surfaces.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace emf {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// The largest bitmap decoded, in pixels: larger ones are refused rather than allocated.
inline constexpr std::uint64_t kMaxDibPixels = 1u << 26;

// `info` is the BITMAPINFO (header and colour table), `bits` the pixel rows. Uncompressed
// 1/4/8/16/24/32 bits per pixel, BI_RGB or BI_BITFIELDS, top-down or bottom-up. With
// `paletteIndices` (DIB_PAL_COLORS) the colour table holds palette indices, which a metafile
// player has no palette for: they become grey levels. The result is an RGB24 surface with the
// top row first; null with a reason in `error` when the bitmap is not one of these or its data
// is short.
SurfacePtr DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                     bool paletteIndices, std::string* error);

}  // namespace emf
