// The pass over a metafile's records and the dispatch of each record to the player's
// concerns (EmfPlayer.h names the file of each).
#include "components/pdfengine/emf/EmfRenderer.h"

#include <algorithm>
#include <optional>
#include <string>
#include <variant>

#include "components/pdfengine/emf/EmfDeviceContext.h"
#include "components/pdfengine/emf/EmfPlayer.h"
#include "components/pdfengine/emf/EmfRecords.h"

namespace emf {

Player::Player(const EmfMetafile& emf, cairo_t* cr) : emf_(emf), cr_(cr) {
    cairo_get_matrix(cr_, &base_);
    pixelsPerMmX_ = emf.Header().PixelsPerMmX();
    pixelsPerMmY_ = emf.Header().PixelsPerMmY();
    objects_.resize(std::max<std::size_t>(emf.Header().handles, 1));
    cairo_save(cr_);  // the caller's state; restored when Play ends and for every clip reset
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
