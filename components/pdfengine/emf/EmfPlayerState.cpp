// The player's drawing state: mapping mode, window and viewport, world transform, saved
// states, and the pens, brushes and fonts records create and select.
#include "components/pdfengine/emf/EmfPlayer.h"

#include <cmath>
#include <utility>

namespace emf {
namespace {

// GDI constants the records carry.
constexpr std::uint32_t kStockObjectFlag = 0x80000000;
constexpr std::uint32_t kMaxObjects = 65536;

}  // namespace

Point Player::ReadPointL(ByteReader& in) {
    const double x = in.I32();
    const double y = in.I32();
    return {x, y};
}

cairo_matrix_t Player::ReadXForm(ByteReader& in) {
    cairo_matrix_t m;
    m.xx = in.F32();
    m.yx = in.F32();
    m.xy = in.F32();
    m.yy = in.F32();
    m.x0 = in.F32();
    m.y0 = in.F32();
    return m;
}

bool Player::SetExtent(ByteReader& in, double* x, double* y) {
    const std::int32_t cx = in.I32();
    const std::int32_t cy = in.I32();
    if (!in.Ok()) {
        return false;
    }
    if (cx != 0 && cy != 0) {  // GDI refuses empty extents
        *x = cx;
        *y = cy;
    }
    return true;
}

bool Player::ScaleExtent(ByteReader& in, double* x, double* y) {
    const double xNum = in.I32();
    const double xDenom = in.I32();
    const double yNum = in.I32();
    const double yDenom = in.I32();
    if (!in.Ok()) {
        return false;
    }
    if (xNum != 0 && xDenom != 0 && yNum != 0 && yDenom != 0) {
        *x = *x * xNum / xDenom;
        *y = *y * yNum / yDenom;
    }
    return true;
}

bool Player::ModifyWorldTransform(ByteReader& in) {
    const cairo_matrix_t m = ReadXForm(in);
    const std::uint32_t mode = in.U32();
    if (!in.Ok()) {
        return false;
    }
    cairo_matrix_t result = dc_.world;
    switch (mode) {
        case 1:  // MWT_IDENTITY
            cairo_matrix_init_identity(&result);
            break;
        case 2:  // MWT_LEFTMULTIPLY: the new transform applies first
            result = Multiply(m, dc_.world);
            break;
        case 3:  // MWT_RIGHTMULTIPLY
            result = Multiply(dc_.world, m);
            break;
        case 4:  // MWT_SET
            result = m;
            break;
        default:
            return true;
    }
    if (UsableMatrix(result)) {
        dc_.world = result;
    }
    return true;
}

bool Player::RestoreDc(std::int32_t which) {
    const auto depth = static_cast<std::int64_t>(saved_.size());
    const std::int64_t target = which < 0 ? depth + which : std::int64_t{which} - 1;
    if (which == 0 || target < 0 || target >= depth) {
        return true;  // GDI ignores a level that was never saved
    }
    const bool clipChanged = saved_[target].clip != dc_.clip;
    dc_ = saved_[target];
    saved_.resize(static_cast<std::size_t>(target));
    if (clipChanged) {
        ReapplyClip();
    }
    return true;
}

void Player::Store(std::uint32_t index, GdiObject object) {
    if (index == 0 || index >= kMaxObjects) {
        return;  // index 0 is the metafile itself
    }
    if (index >= objects_.size()) {
        objects_.resize(index + 1);
    }
    objects_[index] = std::move(object);
}

bool Player::CreatePen(ByteReader& in) {
    const std::uint32_t index = in.U32();
    Pen pen;
    pen.style = in.U32();
    pen.width = in.I32();
    in.I32();  // the y of the width POINTL is unused
    pen.color = in.U32() & 0xFFFFFF;
    if (!in.Ok()) {
        return false;
    }
    pen.width = std::fabs(pen.width);
    Store(index, pen);
    return true;
}

bool Player::ExtCreatePen(ByteReader& in) {
    const std::uint32_t index = in.U32();
    in.Skip(16);  // the pattern bitmap's offsets and sizes: patterned pens draw solid
    Pen pen;
    pen.style = in.U32();
    pen.width = in.U32();
    const std::uint32_t brushStyle = in.U32();
    pen.color = in.U32() & 0xFFFFFF;
    in.U32();  // hatch
    const std::uint32_t entries = in.U32();
    if (!in.Ok() || !in.Has(std::uint64_t{entries} * 4)) {
        return false;
    }
    for (std::uint32_t i = 0; i < entries; ++i) {
        pen.userDashes.push_back(in.U32());
    }
    pen.geometric = (pen.style & 0xF0000) == 0x10000;
    if (brushStyle == 1) {  // BS_NULL
        pen.style = (pen.style & ~0xFu) | 5;
    }
    Store(index, pen);
    return true;
}

bool Player::CreateBrush(ByteReader& in) {
    const std::uint32_t index = in.U32();
    Brush brush;
    brush.style = in.U32();
    brush.color = in.U32() & 0xFFFFFF;
    brush.hatch = in.U32();
    if (!in.Ok()) {
        return false;
    }
    if (brush.style != 1 && brush.style != 2) {
        brush.style = 0;  // patterns draw in their colour
    }
    Store(index, brush);
    return true;
}

bool Player::CreateFont(ByteReader& in) {
    const std::uint32_t index = in.U32();
    Font font;
    font.height = in.I32();
    font.width = in.I32();
    font.escapement = in.I32();
    in.I32();  // orientation
    font.weight = in.I32();
    font.italic = in.U8() != 0;
    font.underline = in.U8() != 0;
    font.strikeOut = in.U8() != 0;
    font.charSet = in.U8();
    in.Skip(4);  // precision, quality, pitch and family
    for (int i = 0; i < 32; ++i) {
        const char16_t c = static_cast<char16_t>(in.U16());
        if (c == 0) {
            break;
        }
        font.faceName.push_back(c);
    }
    if (!in.Ok()) {
        return false;
    }
    Store(index, font);
    return true;
}

bool Player::SelectObject(std::uint32_t index) {
    const GdiObject* object = nullptr;
    GdiObject stock;
    if (index & kStockObjectFlag) {
        stock = StockObject(index & ~kStockObjectFlag);
        object = &stock;
    } else if (index < objects_.size()) {
        object = &objects_[index];
    }
    if (!object) {
        return true;  // GDI fails the call; the drawing goes on with what is selected
    }
    if (const Pen* pen = std::get_if<Pen>(object)) {
        dc_.pen = *pen;
    } else if (const Brush* brush = std::get_if<Brush>(object)) {
        dc_.brush = *brush;
    } else if (const Font* font = std::get_if<Font>(object)) {
        dc_.font = *font;
    }
    return true;
}

}  // namespace emf
