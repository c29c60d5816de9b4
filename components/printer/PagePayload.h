// How a printed page travels inside its EMF: shared by the "Tessaline" driver, which writes it,
// and the PDF engine, which reads it.
#pragma once

#include <cstdint>

namespace printer {

// An EMR_COMMENT record whose data starts with this identifier carries the page's content as a
// one-page PDF; the PDF engine places it over the metafile's frame. The value's little-endian
// bytes are 'T', 'S', 'P', 'G', so the file shows "TSPG".
constexpr std::uint32_t kPagePayloadId = std::uint32_t{'T'} | (std::uint32_t{'S'} << 8) |
                                         (std::uint32_t{'P'} << 16) | (std::uint32_t{'G'} << 24);

// The resolution the driver reports for its device, in pixels per inch on both axes.
constexpr int kDeviceDpi = 600;

}  // namespace printer
