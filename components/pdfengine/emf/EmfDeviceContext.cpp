#include "components/pdfengine/emf/EmfDeviceContext.h"

#include <cmath>

namespace emf {

GdiObject StockObject(std::uint32_t index) {
    constexpr std::uint32_t kNullBrushStyle = 1;
    constexpr std::uint32_t kNullPenStyle = 5;
    switch (index) {
        case 0:  // WHITE_BRUSH
            return Brush{0, kWhite, 0};
        case 1:  // LTGRAY_BRUSH
            return Brush{0, 0xC0C0C0, 0};
        case 2:  // GRAY_BRUSH
            return Brush{0, 0x808080, 0};
        case 3:  // DKGRAY_BRUSH
            return Brush{0, 0x404040, 0};
        case 4:  // BLACK_BRUSH
            return Brush{0, 0, 0};
        case 5:  // NULL_BRUSH
            return Brush{kNullBrushStyle, 0, 0};
        case 6:  // WHITE_PEN
            return Pen{0, 0, kWhite, false, {}};
        case 7:  // BLACK_PEN
            return Pen{0, 0, 0, false, {}};
        case 8:  // NULL_PEN
            return Pen{kNullPenStyle, 0, 0, false, {}};
        case 10:  // OEM_FIXED_FONT
        case 11:  // ANSI_FIXED_FONT
        case 16:  // SYSTEM_FIXED_FONT
            return Font{.faceName = u"monospace"};
        case 12:  // ANSI_VAR_FONT
        case 13:  // SYSTEM_FONT
        case 14:  // DEVICE_DEFAULT_FONT
        case 17:  // DEFAULT_GUI_FONT
            return Font{};
        case 18:  // DC_BRUSH: white until SetDCBrushColor, which metafiles do not record
            return Brush{0, kWhite, 0};
        case 19:  // DC_PEN
            return Pen{0, 0, 0, false, {}};
        default:
            return std::monostate{};
    }
}

cairo_matrix_t DeviceContext::PageToDevice(double pixelsPerMmX, double pixelsPerMmY) const {
    double millimetres = 0;  // per logical unit in the fixed modes
    switch (mapMode) {
        case map_mode::kLoMetric:
            millimetres = 0.1;
            break;
        case map_mode::kHiMetric:
            millimetres = 0.01;
            break;
        case map_mode::kLoEnglish:
            millimetres = 0.254;
            break;
        case map_mode::kHiEnglish:
            millimetres = 0.0254;
            break;
        case map_mode::kTwips:
            millimetres = 25.4 / 1440;
            break;
        default:
            break;
    }
    double sx = 1;
    double sy = 1;
    if (millimetres > 0) {
        sx = millimetres * pixelsPerMmX;
        sy = -millimetres * pixelsPerMmY;  // y grows upwards in the fixed modes
    } else if (mapMode == map_mode::kAnisotropic || mapMode == map_mode::kIsotropic) {
        sx = viewportExtX / windowExtX;
        sy = viewportExtY / windowExtY;
        if (mapMode == map_mode::kIsotropic) {
            // Equal units on both axes: the smaller scale wins, each axis keeps its direction.
            const double scale = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(scale, sx);
            sy = std::copysign(scale, sy);
        }
    }
    cairo_matrix_t m;
    cairo_matrix_init(&m, sx, 0, 0, sy, viewportOrgX - windowOrgX * sx,
                      viewportOrgY - windowOrgY * sy);
    return m;
}

cairo_matrix_t DeviceContext::LogicalToDevice(double pixelsPerMmX, double pixelsPerMmY) const {
    const cairo_matrix_t page = PageToDevice(pixelsPerMmX, pixelsPerMmY);
    cairo_matrix_t m;
    cairo_matrix_multiply(&m, &world, &page);
    return m;
}

bool UsableMatrix(const cairo_matrix_t& m) {
    for (double v : {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    const double det = m.xx * m.yy - m.xy * m.yx;
    return std::isfinite(det) && det != 0 && std::fabs(det) > 1e-300;
}

}  // namespace emf
