// The player behind RenderEmf: one pass over a metafile's records that keeps the drawing state
// a GDI device context would keep. Private to the metafile library. Its members are defined by
// concern:
//   EmfRenderer.cpp       the pass and the record dispatch
//   EmfPlayerState.cpp    mapping and world transforms, saved states, GDI objects
//   EmfPlayerPaths.cpp    pens and brushes, shapes, path brackets
//   EmfPlayerClip.cpp     the clip
//   EmfPlayerBitmaps.cpp  bitmap records
//   EmfPlayerText.cpp     text records
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/pdfengine/emf/EmfDeviceContext.h"
#include "components/pdfengine/emf/EmfDib.h"
#include "components/pdfengine/emf/EmfRecords.h"
#include "components/pdfengine/emf/EmfRenderer.h"

namespace emf {

// GDI constants that records of several concerns carry.
constexpr std::int32_t kTransparent = 1;
constexpr std::int32_t kAlternate = 1;

struct Point {
    double x = 0;
    double y = 0;
};

inline void SetColor(cairo_t* cr, std::uint32_t colorRef) {
    cairo_set_source_rgb(cr, (colorRef & 0xFF) / 255.0, ((colorRef >> 8) & 0xFF) / 255.0,
                         ((colorRef >> 16) & 0xFF) / 255.0);
}

inline cairo_matrix_t Multiply(const cairo_matrix_t& first, const cairo_matrix_t& then) {
    cairo_matrix_t m;
    cairo_matrix_multiply(&m, &first, &then);
    return m;
}

struct PathDeleter {
    void operator()(cairo_path_t* path) const { cairo_path_destroy(path); }
};
using PathPtr = std::unique_ptr<cairo_path_t, PathDeleter>;

// One character of a text record (EmfPlayerText.cpp).
struct TextChar;

class Player {
  public:
    Player(const EmfMetafile& emf, cairo_t* cr);
    bool Play(std::string* error, RenderStats* stats);

  private:
    std::optional<bool> PlayRecord(const EmfRecord& rec);

    // Coordinates and transforms, saved states, objects (EmfPlayerState.cpp).

    cairo_matrix_t LogicalToDevice() const {
        return dc_.LogicalToDevice(pixelsPerMmX_, pixelsPerMmY_);
    }

    // Sets the context's matrix when cairo can use it; a degenerate mapping draws nothing
    // rather than putting the context in an error state.
    bool UseMatrix(const cairo_matrix_t& m) {
        if (!UsableMatrix(m)) {
            return false;
        }
        cairo_set_matrix(cr_, &m);
        return true;
    }
    bool UseLogical() { return UseMatrix(Multiply(LogicalToDevice(), base_)); }
    void UseDevice() { cairo_set_matrix(cr_, &base_); }

    static Point ReadPointL(ByteReader& in);
    static cairo_matrix_t ReadXForm(ByteReader& in);
    bool SetExtent(ByteReader& in, double* x, double* y);
    bool ScaleExtent(ByteReader& in, double* x, double* y);
    bool ModifyWorldTransform(ByteReader& in);
    bool RestoreDc(std::int32_t which);
    void Store(std::uint32_t index, GdiObject object);
    bool CreatePen(ByteReader& in);
    bool ExtCreatePen(ByteReader& in);
    bool CreateBrush(ByteReader& in);
    bool CreateFont(ByteReader& in);
    bool SelectObject(std::uint32_t index);

    // Painting and path brackets (EmfPlayerPaths.cpp).

    void SetBrushSource() { SetColor(cr_, dc_.brush.color); }
    void FillHatch();
    void Fill();
    void Stroke();
    void Paint(bool fill, bool stroke);
    bool BeginShape();
    void EndShape(bool fill, bool stroke);
    PathPtr CopyDevicePath();
    bool TakePath();

    // Drawing that is not part of a path (text, bitmaps) keeps a bracket's path intact.
    class PathGuard {
      public:
        explicit PathGuard(Player& player) : player_(player) {
            if (player_.inPath_) {
                saved_ = player_.CopyDevicePath();
            }
            cairo_new_path(player_.cr_);
        }
        ~PathGuard() {
            cairo_new_path(player_.cr_);
            if (saved_ && saved_->status == CAIRO_STATUS_SUCCESS) {
                player_.UseDevice();
                cairo_append_path(player_.cr_, saved_.get());
            }
        }
        PathGuard(const PathGuard&) = delete;
        PathGuard& operator=(const PathGuard&) = delete;

      private:
        Player& player_;
        PathPtr saved_;
    };

    // Points and shapes (EmfPlayerPaths.cpp).

    static bool Is16(std::uint32_t type) { return type >= record::kPolyBezier16; }
    static std::optional<std::vector<Point>> ReadPoints(ByteReader& in, std::uint32_t count,
                                                        bool small);
    bool LineTo(ByteReader& in);
    bool Poly(std::uint32_t type, ByteReader& in);
    void AddSegments(const std::vector<Point>& points, std::size_t next, bool bezier);
    bool PolyPoly(std::uint32_t type, ByteReader& in);
    void AddEllipticArc(double cx, double cy, double rx, double ry, double a0, double a1);
    bool Box(std::uint32_t type, ByteReader& in);
    bool Arc(std::uint32_t type, ByteReader& in);

    // Clipping (EmfPlayerClip.cpp).

    void AddClip(cairo_fill_rule_t rule);
    void ReapplyClip();
    void ResetClip();
    void AddEverything();
    bool ClipRect(bool exclude, ByteReader& in);
    bool ExtSelectClipRgn(ByteReader& in);
    bool SelectClipPath(ByteReader& in);

    // Bitmaps (EmfPlayerBitmaps.cpp).

    void DrawImage(cairo_surface_t* image, double sx, double sy, double sw, double sh, double x,
                   double y, double w, double h, std::uint32_t rop);
    SurfacePtr RecordBitmap(const EmfRecord& rec, std::uint32_t infoOffset, std::uint32_t infoSize,
                            std::uint32_t bitsOffset, std::uint32_t bitsSize, std::uint32_t usage,
                            bool* bottomUp);
    bool StretchDiBits(const EmfRecord& rec);
    bool Blt(const EmfRecord& rec);

    // Text (EmfPlayerText.cpp).

    bool ExtTextOut(const EmfRecord& rec);
    std::optional<cairo_matrix_t> TextSpace(Point reference) const;
    double EmSize(cairo_font_face_t* face);
    void ShowText(Point reference, const std::u16string& text, const std::vector<double>& dx,
                  const std::vector<double>& dy, bool glyphIndices);
    void MapRun(std::vector<TextChar>& chars, std::size_t begin, std::size_t end,
                bool glyphIndices);
    void DrawRun(const std::vector<TextChar>& chars, std::size_t begin, std::size_t end, double* x,
                 double* y, bool glyphIndices);

    const EmfMetafile& emf_;
    cairo_t* cr_;
    cairo_matrix_t base_;
    double pixelsPerMmX_ = 1;
    double pixelsPerMmY_ = 1;
    DeviceContext dc_;
    std::vector<DeviceContext> saved_;
    std::vector<GdiObject> objects_;
    bool inPath_ = false;
    PathPtr pendingPath_;
    RenderStats stats_;
    std::string firstFault_;
};

}  // namespace emf
