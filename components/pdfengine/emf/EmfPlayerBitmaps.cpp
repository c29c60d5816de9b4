// The player's bitmap records: device-independent bitmaps stretched onto the page, and blits
// without a source that paint a rectangle.
#include "components/pdfengine/emf/EmfPlayer.h"

#include <algorithm>
#include <span>
#include <string>

namespace emf {
namespace {

// GDI constants the records carry.
constexpr std::uint32_t kSrcAnd = 0x008800C6;
constexpr std::uint32_t kSrcPaint = 0x00EE0086;
constexpr std::uint32_t kPatCopy = 0x00F00021;
constexpr std::uint32_t kBlackness = 0x00000042;
constexpr std::uint32_t kWhiteness = 0x00FF0062;
constexpr std::int32_t kHalftone = 4;

}  // namespace

// Draws `image` (source rectangle sx, sy, sw, sh in its pixels, top row 0) over the
// logical rectangle x, y, w, h.
void Player::DrawImage(cairo_surface_t* image, double sx, double sy, double sw, double sh, double x,
                       double y, double w, double h, std::uint32_t rop) {
    if (sw == 0 || sh == 0 || w == 0 || h == 0) {
        return;
    }
    // Only the part of the source rectangle inside the bitmap draws, as with GDI; the
    // destination shrinks with it.
    const auto clipAxis = [](double& s, double& sSize, double& d, double& dSize, double limit) {
        if (sSize < 0) {  // mirrored: the same pixels, the destination flipped
            s += sSize;
            sSize = -sSize;
            d += dSize;
            dSize = -dSize;
        }
        const double from = std::max(s, 0.0);
        const double to = std::min(s + sSize, limit);
        if (to <= from) {
            return false;
        }
        const double scale = dSize / sSize;
        d += (from - s) * scale;
        dSize = (to - from) * scale;
        s = from;
        sSize = to - from;
        return true;
    };
    if (!clipAxis(sx, sw, x, w, cairo_image_surface_get_width(image)) ||
        !clipAxis(sy, sh, y, h, cairo_image_surface_get_height(image))) {
        return;
    }
    cairo_matrix_t place;
    cairo_matrix_init(&place, w / sw, 0, 0, h / sh, x, y);
    PathGuard keep(*this);
    if (!UseMatrix(Multiply(Multiply(place, LogicalToDevice()), base_))) {
        return;
    }
    cairo_set_source_surface(cr_, image, -sx, -sy);
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    // GDI smooths only in HALFTONE mode; otherwise it repeats pixels, which a viewer's
    // interpolation must not blur.
    cairo_pattern_set_filter(cairo_get_source(cr_), dc_.stretchMode == kHalftone
                                                        ? CAIRO_FILTER_GOOD
                                                        : CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr_, 0, 0, sw, sh);
    cairo_set_operator(cr_, rop == kSrcAnd     ? CAIRO_OPERATOR_MULTIPLY
                            : rop == kSrcPaint ? CAIRO_OPERATOR_LIGHTEN
                                               : CAIRO_OPERATOR_OVER);
    cairo_fill(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

// The bitmap of a record from its BITMAPINFO and bits offsets (from the record's start).
SurfacePtr Player::RecordBitmap(const EmfRecord& rec, std::uint32_t infoOffset,
                                std::uint32_t infoSize, std::uint32_t bitsOffset,
                                std::uint32_t bitsSize, std::uint32_t usage, bool* bottomUp) {
    const std::span<const std::uint8_t> whole = emf_.Bytes().subspan(rec.offset, rec.size);
    if (!InRange(infoOffset, infoSize, whole.size()) ||
        !InRange(bitsOffset, bitsSize, whole.size())) {
        return nullptr;
    }
    const auto info = whole.subspan(infoOffset, infoSize);
    ByteReader header(info);
    const std::uint32_t headerSize = header.U32();
    header.Skip(4);
    *bottomUp = headerSize == 12 || header.I32() > 0;
    std::string ignored;
    return DecodeDib(info, whole.subspan(bitsOffset, bitsSize), usage == 1, &ignored);
}

bool Player::StretchDiBits(const EmfRecord& rec) {
    ByteReader in(rec.parameters);
    in.Skip(16);  // bounds
    const double x = in.I32();
    const double y = in.I32();
    const double sx = in.I32();
    const double sy = in.I32();
    const double sw = in.I32();
    const double sh = in.I32();
    const std::uint32_t infoOffset = in.U32();
    const std::uint32_t infoSize = in.U32();
    const std::uint32_t bitsOffset = in.U32();
    const std::uint32_t bitsSize = in.U32();
    const std::uint32_t usage = in.U32();
    const std::uint32_t rop = in.U32();
    const double w = in.I32();
    const double h = in.I32();
    if (!in.Ok()) {
        return false;
    }
    if (infoSize == 0) {
        return true;
    }
    bool bottomUp = true;
    SurfacePtr image =
        RecordBitmap(rec, infoOffset, infoSize, bitsOffset, bitsSize, usage, &bottomUp);
    if (!image) {
        return false;
    }
    // The source rectangle of a bottom-up bitmap is measured from its lowest row.
    const double top = bottomUp ? cairo_image_surface_get_height(image.get()) - sy - sh : sy;
    DrawImage(image.get(), sx, top, sw, sh, x, y, w, h, rop);
    return true;
}

bool Player::Blt(const EmfRecord& rec) {
    ByteReader in(rec.parameters);
    in.Skip(16);  // bounds
    const double x = in.I32();
    const double y = in.I32();
    const double w = in.I32();
    const double h = in.I32();
    const std::uint32_t rop = in.U32();
    const double sx = in.I32();
    const double sy = in.I32();
    in.Skip(24);  // the source's world transform
    in.U32();     // the source's background colour
    const std::uint32_t usage = in.U32();
    const std::uint32_t infoOffset = in.U32();
    const std::uint32_t infoSize = in.U32();
    const std::uint32_t bitsOffset = in.U32();
    const std::uint32_t bitsSize = in.U32();
    double sw = w;
    double sh = h;
    if (rec.type == record::kStretchBlt) {
        sw = in.I32();
        sh = in.I32();
    }
    if (!in.Ok()) {
        return false;
    }
    if (infoSize == 0) {
        // No source: the raster operation paints with the brush, black or white.
        if (rop != kPatCopy && rop != kBlackness && rop != kWhiteness) {
            return true;
        }
        PathGuard keep(*this);
        if (!UseLogical()) {
            return true;
        }
        cairo_rectangle(cr_, x, y, w, h);
        if (rop == kPatCopy) {
            const Brush brush = dc_.brush;
            if (!brush.IsNull()) {
                Fill();
            }
        } else {
            SetColor(cr_, rop == kBlackness ? 0 : kWhite);
            cairo_fill_preserve(cr_);
        }
        cairo_new_path(cr_);
        return true;
    }
    bool bottomUp = true;
    SurfacePtr image =
        RecordBitmap(rec, infoOffset, infoSize, bitsOffset, bitsSize, usage, &bottomUp);
    if (!image) {
        return false;
    }
    DrawImage(image.get(), sx, sy, sw, sh, x, y, w, h, rop);
    return true;
}

}  // namespace emf
