// The drawing state a metafile's records change, as a GDI device context holds it: selected
// pen, brush and font, colours and modes, the current position, the clip, and the mapping from
// logical coordinates to the reference device's pixels (world transform, then window to
// viewport under the mapping mode).
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace emf {

inline constexpr std::uint32_t kWhite = 0xFFFFFF;

struct Pen {
    std::uint32_t style = 0;  // PS_* style, end cap, join and type bits
    double width = 0;         // logical units; 0 draws one device pixel wide
    std::uint32_t color = 0;  // COLORREF
    bool geometric = false;   // from EMR_EXTCREATEPEN with PS_GEOMETRIC: caps and joins count
    std::vector<double> userDashes;

    bool IsNull() const { return (style & 0xF) == 5; }
};

struct Brush {
    std::uint32_t style = 0;  // BS_SOLID, BS_NULL, BS_HATCHED
    std::uint32_t color = kWhite;
    std::uint32_t hatch = 0;

    bool IsNull() const { return style == 1; }
};

struct Font {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;  // tenths of a degree, counter-clockwise
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 1;
    std::u16string faceName;
};

using GdiObject = std::variant<std::monostate, Pen, Brush, Font>;

// The stock object that SelectObject names with 0x80000000 | index; monostate for an index
// without one (palettes, out of range).
GdiObject StockObject(std::uint32_t index);

// One step of the clip, in reference device pixels: the clip is the intersection of the steps
// from the root to a node. Nodes are shared between saved states.
struct ClipStep {
    ClipStep(std::shared_ptr<const ClipStep> parent, cairo_path_t* path, cairo_fill_rule_t rule)
        : parent(std::move(parent)), path(path), rule(rule) {}
    ClipStep(const ClipStep&) = delete;
    ClipStep& operator=(const ClipStep&) = delete;
    ~ClipStep() { cairo_path_destroy(path); }

    std::shared_ptr<const ClipStep> parent;
    cairo_path_t* path;
    cairo_fill_rule_t rule;
};

// Mapping modes (SetMapMode).
namespace map_mode {
inline constexpr std::int32_t kText = 1;
inline constexpr std::int32_t kLoMetric = 2;
inline constexpr std::int32_t kHiMetric = 3;
inline constexpr std::int32_t kLoEnglish = 4;
inline constexpr std::int32_t kHiEnglish = 5;
inline constexpr std::int32_t kTwips = 6;
inline constexpr std::int32_t kIsotropic = 7;
inline constexpr std::int32_t kAnisotropic = 8;
}  // namespace map_mode

struct DeviceContext {
    std::int32_t mapMode = map_mode::kText;
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
    cairo_matrix_t world{1, 0, 0, 1, 0, 0};

    Pen pen;
    Brush brush;
    Font font;
    std::uint32_t textColor = 0;
    std::uint32_t backgroundColor = kWhite;
    std::int32_t backgroundMode = 2;  // OPAQUE
    std::uint32_t textAlign = 0;      // TA_TOP | TA_LEFT
    std::int32_t polyFillMode = 1;    // ALTERNATE
    std::int32_t arcDirection = 1;    // AD_COUNTERCLOCKWISE
    double miterLimit = 10;
    std::int32_t stretchMode = 1;  // BLACKONWHITE

    double currentX = 0, currentY = 0;  // logical
    std::shared_ptr<const ClipStep> clip;

    // Page space (after the world transform) to device pixels under the mapping mode;
    // `pixelsPerMmX/Y` describe the reference device for the metric and English modes.
    cairo_matrix_t PageToDevice(double pixelsPerMmX, double pixelsPerMmY) const;
    // World transform followed by PageToDevice.
    cairo_matrix_t LogicalToDevice(double pixelsPerMmX, double pixelsPerMmY) const;
};

// Whether cairo accepts `m` as a transformation: finite and invertible.
bool UsableMatrix(const cairo_matrix_t& m);

}  // namespace emf
