#include "components/pdfengine/emf/EmfRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <utility>

#include "components/pdfengine/emf/EmfDeviceContext.h"
#include "components/pdfengine/emf/EmfPlayer.h"
#include "components/pdfengine/emf/EmfRecords.h"

namespace emf {
namespace {

// GDI constants the records carry.
constexpr std::uint32_t kStockObjectFlag = 0x80000000;
constexpr std::uint32_t kMaxObjects = 65536;

}  // namespace

Player::Player(const EmfMetafile& emf, cairo_t* cr) : emf_(emf), cr_(cr) {
    cairo_get_matrix(cr_, &base_);
    pixelsPerMmX_ = emf.Header().PixelsPerMmX();
    pixelsPerMmY_ = emf.Header().PixelsPerMmY();
    objects_.resize(std::max<std::size_t>(emf.Header().handles, 1));
    cairo_save(cr_);  // the caller's state; restored by Finish and for every clip reset
    cairo_save(cr_);
}

bool Player::Play(std::string* error, RenderStats* stats) {
    for (const EmfRecord& rec : emf_.Records()) {
        const std::optional<bool> result = PlayRecord(rec);
        if (!result) {
            ++stats_.skipped;
        } else if (*result) {
            ++stats_.played;
        } else {
            ++stats_.malformed;
            if (firstFault_.empty()) {
                firstFault_ = "malformed record of type " + std::to_string(rec.type) + " at byte " +
                              std::to_string(rec.offset);
            }
        }
        if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
            break;
        }
    }
    const cairo_status_t status = cairo_status(cr_);
    cairo_restore(cr_);
    cairo_restore(cr_);
    if (stats) {
        *stats = stats_;
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        firstFault_ = std::string("cairo: ") + cairo_status_to_string(status);
    }
    if (!firstFault_.empty()) {
        if (error) {
            *error = firstFault_;
        }
        return false;
    }
    return true;
}

// True: played; false: malformed; nullopt: not a record this player draws.
std::optional<bool> Player::PlayRecord(const EmfRecord& rec) {
    ByteReader in(rec.parameters);
    switch (rec.type) {
        case record::kHeader:
        case record::kEof:
            return true;
        case record::kSetStretchBltMode:
            dc_.stretchMode = in.I32();
            return in.Ok();
        case record::kSaveDc:
            saved_.push_back(dc_);
            return true;
        case record::kRestoreDc:
            return RestoreDc(in.I32()) && in.Ok();
        case record::kSetMapMode: {
            const std::int32_t mode = in.I32();
            if (mode >= map_mode::kText && mode <= map_mode::kAnisotropic) {
                dc_.mapMode = mode;
            }
            return in.Ok();
        }
        case record::kSetWindowOrgEx:
            dc_.windowOrgX = in.I32();
            dc_.windowOrgY = in.I32();
            return in.Ok();
        case record::kSetViewportOrgEx:
            dc_.viewportOrgX = in.I32();
            dc_.viewportOrgY = in.I32();
            return in.Ok();
        case record::kSetWindowExtEx:
            return SetExtent(in, &dc_.windowExtX, &dc_.windowExtY);
        case record::kSetViewportExtEx:
            return SetExtent(in, &dc_.viewportExtX, &dc_.viewportExtY);
        case record::kScaleWindowExtEx:
            return ScaleExtent(in, &dc_.windowExtX, &dc_.windowExtY);
        case record::kScaleViewportExtEx:
            return ScaleExtent(in, &dc_.viewportExtX, &dc_.viewportExtY);
        case record::kSetWorldTransform: {
            const cairo_matrix_t m = ReadXForm(in);
            if (in.Ok() && UsableMatrix(m)) {
                dc_.world = m;
            }
            return in.Ok();
        }
        case record::kModifyWorldTransform:
            return ModifyWorldTransform(in);
        case record::kSetBkMode:
            dc_.backgroundMode = in.I32();
            return in.Ok();
        case record::kSetBkColor:
            dc_.backgroundColor = in.U32() & 0xFFFFFF;
            return in.Ok();
        case record::kSetTextColor:
            dc_.textColor = in.U32() & 0xFFFFFF;
            return in.Ok();
        case record::kSetTextAlign:
            dc_.textAlign = in.U32();
            return in.Ok();
        case record::kSetPolyFillMode:
            dc_.polyFillMode = in.I32();
            return in.Ok();
        case record::kSetArcDirection:
            dc_.arcDirection = in.I32();
            return in.Ok();
        case record::kSetMiterLimit: {
            const std::uint32_t limit = in.U32();
            if (limit >= 1 && limit <= 1000) {
                dc_.miterLimit = limit;
            }
            return in.Ok();
        }
        case record::kCreatePen:
            return CreatePen(in);
        case record::kExtCreatePen:
            return ExtCreatePen(in);
        case record::kCreateBrushIndirect:
            return CreateBrush(in);
        case record::kExtCreateFontIndirectW:
            return CreateFont(in);
        case record::kSelectObject:
            return SelectObject(in.U32()) && in.Ok();
        case record::kDeleteObject: {
            const std::uint32_t index = in.U32();
            if (index < objects_.size()) {
                objects_[index] = std::monostate{};
            }
            return in.Ok();
        }
        case record::kMoveToEx: {
            const Point p = ReadPointL(in);
            if (!in.Ok()) {
                return false;
            }
            dc_.currentX = p.x;
            dc_.currentY = p.y;
            if (inPath_ && UseLogical()) {
                cairo_move_to(cr_, p.x, p.y);
            }
            return true;
        }
        case record::kLineTo:
            return LineTo(in);
        case record::kPolyline:
        case record::kPolyline16:
        case record::kPolygon:
        case record::kPolygon16:
        case record::kPolyBezier:
        case record::kPolyBezier16:
        case record::kPolyLineTo:
        case record::kPolyLineTo16:
        case record::kPolyBezierTo:
        case record::kPolyBezierTo16:
            return Poly(rec.type, in);
        case record::kPolyPolyline:
        case record::kPolyPolyline16:
        case record::kPolyPolygon:
        case record::kPolyPolygon16:
            return PolyPoly(rec.type, in);
        case record::kRectangle:
        case record::kEllipse:
        case record::kRoundRect:
            return Box(rec.type, in);
        case record::kArc:
        case record::kArcTo:
        case record::kChord:
        case record::kPie:
            return Arc(rec.type, in);
        case record::kBeginPath:
            inPath_ = true;
            pendingPath_.reset();
            cairo_new_path(cr_);
            return true;
        case record::kEndPath:
            if (inPath_) {
                inPath_ = false;
                pendingPath_ = CopyDevicePath();
                cairo_new_path(cr_);
            }
            return true;
        case record::kAbortPath:
            inPath_ = false;
            pendingPath_.reset();
            cairo_new_path(cr_);
            return true;
        case record::kCloseFigure:
            if (inPath_ && cairo_has_current_point(cr_)) {
                cairo_close_path(cr_);
            }
            return true;
        case record::kFillPath:
        case record::kStrokePath:
        case record::kStrokeAndFillPath:
            if (TakePath()) {
                Paint(rec.type != record::kStrokePath, rec.type != record::kFillPath);
            }
            return true;
        case record::kSelectClipPath:
            return SelectClipPath(in);
        case record::kIntersectClipRect:
        case record::kExcludeClipRect:
            return ClipRect(rec.type == record::kExcludeClipRect, in);
        case record::kExtSelectClipRgn:
            return ExtSelectClipRgn(in);
        case record::kExtTextOutW:
            return ExtTextOut(rec);
        case record::kStretchDiBits:
            return StretchDiBits(rec);
        case record::kBitBlt:
        case record::kStretchBlt:
            return Blt(rec);
        default:
            return std::nullopt;
    }
}

// Coordinates and transforms.

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

// Objects.

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

namespace {

bool MarksPage(std::uint32_t type) {
    switch (type) {
        case record::kPolyBezier:
        case record::kPolygon:
        case record::kPolyline:
        case record::kPolyBezierTo:
        case record::kPolyLineTo:
        case record::kPolyPolyline:
        case record::kPolyPolygon:
        case record::kLineTo:
        case record::kEllipse:
        case record::kRectangle:
        case record::kRoundRect:
        case record::kArc:
        case record::kArcTo:
        case record::kChord:
        case record::kPie:
        case record::kFillPath:
        case record::kStrokePath:
        case record::kStrokeAndFillPath:
        case record::kBitBlt:
        case record::kStretchBlt:
        case record::kStretchDiBits:
        case record::kExtTextOutW:
        case record::kPolyBezier16:
        case record::kPolygon16:
        case record::kPolyline16:
        case record::kPolyBezierTo16:
        case record::kPolyLineTo16:
        case record::kPolyPolyline16:
        case record::kPolyPolygon16:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool HasDrawingRecords(const EmfMetafile& emf) {
    return std::any_of(emf.Records().begin(), emf.Records().end(),
                       [](const EmfRecord& rec) { return MarksPage(rec.type); });
}

bool RenderEmf(const EmfMetafile& emf, cairo_t* cr, std::string* error, RenderStats* stats) {
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        if (error) {
            *error = std::string("cairo: ") + cairo_status_to_string(cairo_status(cr));
        }
        return false;
    }
    return Player(emf, cr).Play(error, stats);
}

}  // namespace emf
