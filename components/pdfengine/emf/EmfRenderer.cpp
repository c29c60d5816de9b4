#include "components/pdfengine/emf/EmfRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <utility>

#include "components/pdfengine/emf/EmfDeviceContext.h"
#include "components/pdfengine/emf/EmfDib.h"
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

// Painting.

// A hatch brush: lines in the brush colour over the background colour when the background
// mode is opaque, repeating in device space about every 2 mm.
void Player::FillHatch() {
    if (dc_.backgroundMode != kTransparent) {
        SetColor(cr_, dc_.backgroundColor);
        cairo_fill_preserve(cr_);
    }
    const int period = std::clamp(static_cast<int>(std::lround(pixelsPerMmX_ * 2.1)), 4, 256);
    SurfacePtr tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, period, period));
    cairo_t* t = cairo_create(tile.get());
    SetColor(t, dc_.brush.color);
    cairo_set_line_width(t, std::max(1.0, period / 8.0));
    const double p = period;
    const std::uint32_t hatch = dc_.brush.hatch;
    if (hatch == 0 || hatch == 4) {  // horizontal, cross
        cairo_move_to(t, 0, p / 2);
        cairo_line_to(t, p, p / 2);
    }
    if (hatch == 1 || hatch == 4) {  // vertical, cross
        cairo_move_to(t, p / 2, 0);
        cairo_line_to(t, p / 2, p);
    }
    if (hatch == 2 || hatch == 5) {  // forward diagonal
        cairo_move_to(t, -1, -1);
        cairo_line_to(t, p + 1, p + 1);
    }
    if (hatch == 3 || hatch == 5) {  // backward diagonal
        cairo_move_to(t, p + 1, -1);
        cairo_line_to(t, -1, p + 1);
    }
    cairo_stroke(t);
    cairo_destroy(t);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile.get());
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_set_source(cr_, pattern);
    cairo_pattern_destroy(pattern);
    cairo_fill_preserve(cr_);
}

void Player::Fill() {
    if (dc_.brush.IsNull()) {
        return;
    }
    UseDevice();
    cairo_set_fill_rule(
        cr_, dc_.polyFillMode == kAlternate ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    if (dc_.brush.style == 2) {
        FillHatch();
    } else {
        SetBrushSource();
        cairo_fill_preserve(cr_);
    }
}

void Player::Stroke() {
    const Pen& pen = dc_.pen;
    if (pen.IsNull()) {
        return;
    }
    const cairo_matrix_t logical = Multiply(LogicalToDevice(), base_);
    // Widths are logical units; anything thinner than a device pixel draws one pixel wide.
    const double scale = std::sqrt(std::fabs(logical.xx * logical.yy - logical.xy * logical.yx) /
                                   std::fabs(base_.xx * base_.yy - base_.xy * base_.yx));
    const bool hairline = pen.width * scale < 1 || !UsableMatrix(logical);
    double width = pen.width;
    if (hairline) {
        UseDevice();
        width = 1;
    } else {
        cairo_set_matrix(cr_, &logical);
    }
    cairo_set_line_width(cr_, width);
    cairo_line_cap_t cap = CAIRO_LINE_CAP_ROUND;
    cairo_line_join_t join = CAIRO_LINE_JOIN_ROUND;
    if (pen.geometric) {
        const std::uint32_t capBits = pen.style & 0xF00;
        cap = capBits == 0x100   ? CAIRO_LINE_CAP_SQUARE
              : capBits == 0x200 ? CAIRO_LINE_CAP_BUTT
                                 : CAIRO_LINE_CAP_ROUND;
        const std::uint32_t joinBits = pen.style & 0xF000;
        join = joinBits == 0x1000   ? CAIRO_LINE_JOIN_BEVEL
               : joinBits == 0x2000 ? CAIRO_LINE_JOIN_MITER
                                    : CAIRO_LINE_JOIN_ROUND;
    }
    cairo_set_line_cap(cr_, cap);
    cairo_set_line_join(cr_, join);
    cairo_set_miter_limit(cr_, dc_.miterLimit);
    std::vector<double> dashes;
    switch (pen.style & 0xF) {
        case 1:  // PS_DASH
            dashes = {3, 1};
            break;
        case 2:  // PS_DOT
        case 8:  // PS_ALTERNATE
            dashes = {1, 1};
            break;
        case 3:  // PS_DASHDOT
            dashes = {3, 1, 1, 1};
            break;
        case 4:  // PS_DASHDOTDOT
            dashes = {3, 1, 1, 1, 1, 1};
            break;
        case 7:  // PS_USERSTYLE, in units of the pen width
            dashes = pen.userDashes;
            break;
        default:
            break;
    }
    const bool anyDash = std::any_of(dashes.begin(), dashes.end(), [](double d) { return d > 0; });
    if (anyDash) {
        // Cosmetic dashes of a 1-pixel pen would vanish at printer resolution: a dash unit
        // is at least a quarter millimetre.
        const double unit = hairline ? std::max(1.0, pixelsPerMmX_ / 4) : width;
        if (cap != CAIRO_LINE_CAP_BUTT && !hairline) {
            cap = CAIRO_LINE_CAP_BUTT;
            cairo_set_line_cap(cr_, cap);
        }
        for (double& d : dashes) {
            d *= unit;
        }
        cairo_set_dash(cr_, dashes.data(), static_cast<int>(dashes.size()), 0);
    } else {
        cairo_set_dash(cr_, nullptr, 0, 0);
    }
    SetColor(cr_, pen.color);
    cairo_stroke_preserve(cr_);
}

// Fills and strokes the context's current path with the selected brush and pen, then drops
// the path.
void Player::Paint(bool fill, bool stroke) {
    if (fill) {
        Fill();
    }
    if (stroke) {
        Stroke();
    }
    cairo_new_path(cr_);
}

// Starts a figure: outside a path bracket each shape is a path of its own.
bool Player::BeginShape() {
    if (!inPath_) {
        cairo_new_path(cr_);
    }
    return UseLogical();
}

void Player::EndShape(bool fill, bool stroke) {
    if (!inPath_) {
        Paint(fill, stroke);
    }
}

// The current path in device pixels, independent of later matrix changes.
PathPtr Player::CopyDevicePath() {
    UseDevice();
    return PathPtr(cairo_copy_path(cr_));
}

// Makes the path from the last bracket the context's current path; false when there is
// none. A bracket still open is closed first.
bool Player::TakePath() {
    if (inPath_) {
        inPath_ = false;
        pendingPath_ = CopyDevicePath();
    }
    if (!pendingPath_) {
        return false;
    }
    PathPtr path = std::move(pendingPath_);
    UseDevice();
    cairo_new_path(cr_);
    if (path->status == CAIRO_STATUS_SUCCESS) {
        cairo_append_path(cr_, path.get());
    }
    return true;
}

// Points.

// Reads `count` points, 16-bit (POINTS) or 32-bit (POINTL); nullopt when the record is
// shorter than that.
std::optional<std::vector<Point>> Player::ReadPoints(ByteReader& in, std::uint32_t count,
                                                     bool small) {
    if (!in.Has(std::uint64_t{count} * (small ? 4 : 8))) {
        return std::nullopt;
    }
    std::vector<Point> points(count);
    for (Point& p : points) {
        p.x = small ? in.I16() : in.I32();
        p.y = small ? in.I16() : in.I32();
    }
    return points;
}

bool Player::LineTo(ByteReader& in) {
    const Point p = ReadPointL(in);
    if (!in.Ok()) {
        return false;
    }
    if (BeginShape()) {
        if (!inPath_ || !cairo_has_current_point(cr_)) {
            cairo_move_to(cr_, dc_.currentX, dc_.currentY);
        }
        cairo_line_to(cr_, p.x, p.y);
        EndShape(false, true);
    }
    dc_.currentX = p.x;
    dc_.currentY = p.y;
    return true;
}

bool Player::Poly(std::uint32_t type, ByteReader& in) {
    in.Skip(16);  // bounds
    const std::uint32_t count = in.U32();
    const auto points = ReadPoints(in, count, Is16(type));
    if (!in.Ok() || !points) {
        return false;
    }
    const bool bezier = type == record::kPolyBezier || type == record::kPolyBezier16 ||
                        type == record::kPolyBezierTo || type == record::kPolyBezierTo16;
    const bool fromCurrent = type == record::kPolyLineTo || type == record::kPolyLineTo16 ||
                             type == record::kPolyBezierTo || type == record::kPolyBezierTo16;
    const bool polygon = type == record::kPolygon || type == record::kPolygon16;
    if (points->empty() || (bezier && (count - (fromCurrent ? 0 : 1)) % 3 != 0)) {
        return true;  // GDI draws nothing for these
    }
    if (BeginShape()) {
        std::size_t next = 0;
        if (fromCurrent) {
            if (!inPath_ || !cairo_has_current_point(cr_)) {
                cairo_move_to(cr_, dc_.currentX, dc_.currentY);
            }
        } else {
            cairo_move_to(cr_, (*points)[0].x, (*points)[0].y);
            next = 1;
        }
        AddSegments(*points, next, bezier);
        if (polygon) {
            cairo_close_path(cr_);
        }
        EndShape(polygon, true);
    }
    if (fromCurrent) {
        dc_.currentX = points->back().x;
        dc_.currentY = points->back().y;
    }
    return true;
}

void Player::AddSegments(const std::vector<Point>& points, std::size_t next, bool bezier) {
    if (bezier) {
        for (; next + 2 < points.size(); next += 3) {
            cairo_curve_to(cr_, points[next].x, points[next].y, points[next + 1].x,
                           points[next + 1].y, points[next + 2].x, points[next + 2].y);
        }
    } else {
        for (; next < points.size(); ++next) {
            cairo_line_to(cr_, points[next].x, points[next].y);
        }
    }
}

bool Player::PolyPoly(std::uint32_t type, ByteReader& in) {
    in.Skip(16);  // bounds
    const std::uint32_t polygons = in.U32();
    const std::uint32_t total = in.U32();
    if (!in.Ok() || !in.Has(std::uint64_t{polygons} * 4)) {
        return false;
    }
    std::vector<std::uint32_t> counts(polygons);
    std::uint64_t sum = 0;
    for (std::uint32_t& count : counts) {
        count = in.U32();
        sum += count;
    }
    const auto points = ReadPoints(in, total, Is16(type));
    if (!points || sum != total) {
        return false;
    }
    const bool polygon = type == record::kPolyPolygon || type == record::kPolyPolygon16;
    if (BeginShape()) {
        std::size_t start = 0;
        for (std::uint32_t count : counts) {
            if (count > 0) {
                cairo_move_to(cr_, (*points)[start].x, (*points)[start].y);
                AddSegments(std::vector<Point>(
                                points->begin() + static_cast<std::ptrdiff_t>(start),
                                points->begin() + static_cast<std::ptrdiff_t>(start + count)),
                            1, false);
                if (polygon) {
                    cairo_close_path(cr_);
                }
            }
            start += count;
        }
        EndShape(polygon, true);
    }
    return true;
}

// An elliptic arc of the ellipse centred at (cx, cy) from parameter angle a0 to a1 (either
// direction), as Bézier pieces of at most a quarter turn. Continues the current figure.
void Player::AddEllipticArc(double cx, double cy, double rx, double ry, double a0, double a1) {
    const double sweep = a1 - a0;
    const int pieces = std::clamp(
        static_cast<int>(std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9)), 1, 4);
    const double step = sweep / pieces;
    const double handle = 4.0 / 3.0 * std::tan(step / 4);
    double a = a0;
    if (cairo_has_current_point(cr_)) {
        cairo_line_to(cr_, cx + rx * std::cos(a), cy + ry * std::sin(a));
    } else {
        cairo_move_to(cr_, cx + rx * std::cos(a), cy + ry * std::sin(a));
    }
    for (int i = 0; i < pieces; ++i) {
        const double b = a + step;
        cairo_curve_to(cr_, cx + rx * (std::cos(a) - handle * std::sin(a)),
                       cy + ry * (std::sin(a) + handle * std::cos(a)),
                       cx + rx * (std::cos(b) + handle * std::sin(b)),
                       cy + ry * (std::sin(b) - handle * std::cos(b)), cx + rx * std::cos(b),
                       cy + ry * std::sin(b));
        a = b;
    }
}

bool Player::Box(std::uint32_t type, ByteReader& in) {
    const RectL box = ReadRect(in);
    const double left = box.left;
    const double top = box.top;
    const double right = box.right;
    const double bottom = box.bottom;
    double cornerW = 0;
    double cornerH = 0;
    if (type == record::kRoundRect) {
        cornerW = std::fabs(static_cast<double>(in.I32()));
        cornerH = std::fabs(static_cast<double>(in.I32()));
    }
    if (!in.Ok()) {
        return false;
    }
    if (!BeginShape()) {
        return true;
    }
    const double x0 = std::min(left, right);
    const double x1 = std::max(left, right);
    const double y0 = std::min(top, bottom);
    const double y1 = std::max(top, bottom);
    if (type == record::kRectangle) {
        cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
    } else if (type == record::kEllipse) {
        cairo_new_sub_path(cr_);
        AddEllipticArc((x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2, 0,
                       2 * std::numbers::pi);
        cairo_close_path(cr_);
    } else {
        const double rx = std::min(cornerW / 2, (x1 - x0) / 2);
        const double ry = std::min(cornerH / 2, (y1 - y0) / 2);
        const double pi = std::numbers::pi;
        cairo_new_sub_path(cr_);
        AddEllipticArc(x1 - rx, y0 + ry, rx, ry, -pi / 2, 0);
        AddEllipticArc(x1 - rx, y1 - ry, rx, ry, 0, pi / 2);
        AddEllipticArc(x0 + rx, y1 - ry, rx, ry, pi / 2, pi);
        AddEllipticArc(x0 + rx, y0 + ry, rx, ry, pi, 3 * pi / 2);
        cairo_close_path(cr_);
    }
    EndShape(true, true);
    return true;
}

bool Player::Arc(std::uint32_t type, ByteReader& in) {
    const RectL box = ReadRect(in);
    const double left = box.left;
    const double top = box.top;
    const double right = box.right;
    const double bottom = box.bottom;
    const Point start = ReadPointL(in);
    const Point end = ReadPointL(in);
    if (!in.Ok()) {
        return false;
    }
    const double cx = (left + right) / 2;
    const double cy = (top + bottom) / 2;
    const double rx = std::fabs(right - left) / 2;
    const double ry = std::fabs(bottom - top) / 2;
    if (rx == 0 || ry == 0) {
        return true;
    }
    const double a0 = std::atan2((start.y - cy) / ry, (start.x - cx) / rx);
    double a1 = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
    // Counter-clockwise as seen on the page: decreasing angles where y grows downwards.
    const cairo_matrix_t m = LogicalToDevice();
    const bool yUp = m.xx * m.yy - m.xy * m.yx < 0;
    const bool counterClockwise = (dc_.arcDirection != 2) != yUp;
    const double full = 2 * std::numbers::pi;
    if (counterClockwise) {
        while (a1 >= a0) {
            a1 -= full;
        }
    } else {
        while (a1 <= a0) {
            a1 += full;
        }
    }
    if (!BeginShape()) {
        return true;
    }
    if (type == record::kArcTo) {
        if (!inPath_ || !cairo_has_current_point(cr_)) {
            cairo_move_to(cr_, dc_.currentX, dc_.currentY);
        }
    } else if (type == record::kPie) {
        cairo_move_to(cr_, cx, cy);
    } else {
        cairo_new_sub_path(cr_);
    }
    AddEllipticArc(cx, cy, rx, ry, a0, a1);
    const bool closed = type == record::kChord || type == record::kPie;
    if (closed) {
        cairo_close_path(cr_);
    }
    if (type == record::kArcTo) {
        dc_.currentX = cx + rx * std::cos(a1);
        dc_.currentY = cy + ry * std::sin(a1);
    }
    EndShape(closed, true);
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
