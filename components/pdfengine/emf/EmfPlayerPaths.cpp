// The player's shapes and paths: lines, polygons, curves, boxes and arcs, filled with the
// selected brush and stroked with the selected pen, and the path brackets around them.
#include "components/pdfengine/emf/EmfPlayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

namespace emf {

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

}  // namespace emf
