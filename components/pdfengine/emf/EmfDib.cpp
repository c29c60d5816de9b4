#include "components/pdfengine/emf/EmfDib.h"

#include <bit>
#include <vector>

#include "components/pdfengine/emf/EmfRecords.h"

namespace emf {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::int32_t kMaxSide = 32767;  // cairo's image surface limit

SurfacePtr Refuse(std::string* error, const std::string& reason) {
    if (error) {
        *error = "bitmap: " + reason;
    }
    return nullptr;
}

// A channel value scaled from its mask's width to 8 bits.
std::uint32_t Channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const std::uint32_t value = (pixel & mask) >> shift;
    const std::uint32_t maximum = (width >= 32) ? 0xFFFFFFFFu : ((1u << width) - 1);
    return static_cast<std::uint32_t>((std::uint64_t{value} * 255 + maximum / 2) / maximum);
}

}  // namespace

SurfacePtr DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                     bool paletteIndices, std::string* error) {
    ByteReader in(info);
    const std::uint32_t headerSize = in.U32();
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t paletteEntrySize = 4;
    if (headerSize == kCoreHeaderSize) {
        width = in.U16();
        height = in.U16();
        in.U16();  // planes
        bitCount = in.U16();
        paletteEntrySize = 3;
    } else if (headerSize >= kInfoHeaderSize && headerSize <= info.size()) {
        width = in.I32();
        height = in.I32();
        in.U16();  // planes
        bitCount = in.U16();
        compression = in.U32();
        in.U32();  // biSizeImage
        in.I32();  // resolution
        in.I32();
        colorsUsed = in.U32();
        in.U32();  // biClrImportant
    } else {
        return Refuse(error, "unknown header size " + std::to_string(headerSize));
    }
    if (!in.Ok()) {
        return Refuse(error, "header runs past its data");
    }
    const bool topDown = height < 0;
    if (width <= 0 || height == 0 || height == INT32_MIN) {
        return Refuse(error, "empty or invalid size");
    }
    if (topDown) {
        height = -height;
    }
    if (width > kMaxSide || height > kMaxSide ||
        std::uint64_t(width) * std::uint64_t(height) > kMaxDibPixels) {
        return Refuse(
            error, std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    }
    const bool bitfields = compression == kBiBitfields && (bitCount == 16 || bitCount == 32);
    if (compression != kBiRgb && !bitfields) {
        return Refuse(error, "compression " + std::to_string(compression) + " is not supported");
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return Refuse(error, std::to_string(bitCount) + " bits per pixel is not supported");
    }

    // Channel masks: BI_RGB defaults, or the three masks after a BITMAPINFOHEADER (inside the
    // larger V4/V5 headers at the same place).
    std::uint32_t red = bitCount == 16 ? 0x7C00 : 0xFF0000;
    std::uint32_t green = bitCount == 16 ? 0x03E0 : 0x00FF00;
    std::uint32_t blue = bitCount == 16 ? 0x001F : 0x0000FF;
    std::size_t paletteOffset = headerSize;
    if (bitfields) {
        ByteReader masks(info, kInfoHeaderSize);
        red = masks.U32();
        green = masks.U32();
        blue = masks.U32();
        if (!masks.Ok()) {
            return Refuse(error, "colour masks run past their data");
        }
        if (headerSize == kInfoHeaderSize) {
            paletteOffset += 12;
        }
    }

    std::vector<std::uint32_t> palette;
    if (bitCount <= 8) {
        const std::uint32_t maximum = 1u << bitCount;
        const std::uint32_t entries =
            colorsUsed == 0 || colorsUsed > maximum ? maximum : colorsUsed;
        ByteReader table(info, paletteOffset);
        for (std::uint32_t i = 0; i < entries; ++i) {
            std::uint32_t rgb = 0;
            if (paletteIndices) {
                const std::uint32_t index = table.U16() & 0xFF;
                rgb = index * 0x010101u;
            } else {
                const std::uint32_t b = table.U8();
                const std::uint32_t g = table.U8();
                const std::uint32_t r = table.U8();
                if (paletteEntrySize == 4) {
                    table.U8();
                }
                rgb = (r << 16) | (g << 8) | b;
            }
            palette.push_back(rgb);
        }
        if (!table.Ok()) {
            return Refuse(error, "colour table runs past its data");
        }
    }

    const std::uint64_t stride = ((std::uint64_t(width) * bitCount + 31) / 32) * 4;
    if (stride * std::uint64_t(height) > bits.size()) {
        return Refuse(error, "pixel data is " + std::to_string(bits.size()) + " bytes, " +
                                 std::to_string(stride * std::uint64_t(height)) + " needed");
    }
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return Refuse(error, "no memory for the image");
    }
    cairo_surface_flush(surface.get());
    unsigned char* pixels = cairo_image_surface_get_data(surface.get());
    const int outStride = cairo_image_surface_get_stride(surface.get());
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t sourceRow = topDown ? y : height - 1 - y;
        const std::uint8_t* row = bits.data() + stride * std::uint64_t(sourceRow);
        auto* out = reinterpret_cast<std::uint32_t*>(pixels + std::size_t(outStride) * y);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t rgb = 0;
            switch (bitCount) {
                case 1:
                case 4:
                case 8: {
                    const std::uint64_t bit = std::uint64_t(x) * bitCount;
                    const unsigned shift = 8 - bitCount - (bit % 8);
                    const std::uint32_t index = (row[bit / 8] >> shift) & ((1u << bitCount) - 1);
                    rgb = index < palette.size() ? palette[index] : 0;
                    break;
                }
                case 16:
                case 32: {
                    std::uint32_t value =
                        row[x * (bitCount / 8)] | (std::uint32_t{row[x * (bitCount / 8) + 1]} << 8);
                    if (bitCount == 32) {
                        value |= (std::uint32_t{row[x * 4 + 2]} << 16) |
                                 (std::uint32_t{row[x * 4 + 3]} << 24);
                    }
                    rgb = (Channel(value, red) << 16) | (Channel(value, green) << 8) |
                          Channel(value, blue);
                    break;
                }
                default:  // 24
                    rgb = row[x * 3] | (std::uint32_t{row[x * 3 + 1]} << 8) |
                          (std::uint32_t{row[x * 3 + 2]} << 16);
                    break;
            }
            out[x] = rgb;
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

}  // namespace emf
