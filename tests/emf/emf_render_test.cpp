// The renderer: pages written with the test EMF writer, drawn into real PDF files (text found
// by pdftotext, fonts embedded, pixels where the shapes must be) and, for geometry, into cairo
// images in process.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <string>

#include "components/pdfengine/emf/EmfDib.h"
#include "components/pdfengine/emf/EmfReader.h"
#include "components/pdfengine/emf/EmfRecords.h"
#include "components/pdfengine/emf/EmfRenderer.h"
#include "tests/emf/pdf_probe.h"
#include "tests/support/emf_writer.h"
#include "tests/support/scoped_environment.h"

namespace {

using testing_support::Bytes;
using testing_support::EmfWriter;
using testing_support::PageSize;
using testing_support::Point16;
using testing_support::RectL;
using testing_support::Rgb;

// Positions as fractions of the page's device pixels.
struct Grid {
    std::int32_t width;
    std::int32_t height;
    std::int32_t X(double f) const { return static_cast<std::int32_t>(std::lround(width * f)); }
    std::int32_t Y(double f) const { return static_cast<std::int32_t>(std::lround(height * f)); }
    Point16 P(double fx, double fy) const {
        return {static_cast<std::int16_t>(X(fx)), static_cast<std::int16_t>(Y(fy))};
    }
    RectL Box(double l, double t, double r, double b) const { return {X(l), Y(t), X(r), Y(b)}; }
};

const PageSize kPage = PageSize::Millimetres(100, 100, 600);
const Grid kGrid{kPage.DeviceWidth(), kPage.DeviceHeight()};
constexpr double kPagePoints = 100 / 25.4 * 72;

// A filled rectangle in `color` without outline.
void SolidBox(EmfWriter& emf, const RectL& box, std::uint32_t color) {
    const std::uint32_t brush = emf.CreateBrushIndirect(testing_support::kBsSolid, color);
    emf.SelectObject(brush);
    emf.SelectObject(testing_support::StockObject(testing_support::kNullPen));
    emf.Rectangle(box);
    emf.SelectObject(testing_support::StockObject(testing_support::kWhiteBrush));
    emf.DeleteObject(brush);
}

// The metafile drawn into an RGB image of `side` x `side` pixels over a white background.
struct Image {
    emf::SurfacePtr surface;
    bool rendered = false;
    std::string error;
    emf::RenderStats stats;

    unsigned Pixel(double fx, double fy) const {
        const int w = cairo_image_surface_get_width(surface.get());
        const int h = cairo_image_surface_get_height(surface.get());
        const int x = std::min(w - 1, static_cast<int>(fx * w));
        const int y = std::min(h - 1, static_cast<int>(fy * h));
        const unsigned char* row =
            cairo_image_surface_get_data(surface.get()) +
            static_cast<std::size_t>(y) * cairo_image_surface_get_stride(surface.get());
        std::uint32_t value;
        std::memcpy(&value, row + x * 4, 4);
        return value & 0xFFFFFF;
    }
};

Image RenderToImage(const Bytes& bytes, int side = 200) {
    emf::EmfMetafile metafile;
    std::string error;
    EXPECT_TRUE(emf::EmfMetafile::Parse(bytes, &metafile, &error)) << error;
    Image image;
    image.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, side, side));
    cairo_t* cr = cairo_create(image.surface.get());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_scale(cr, static_cast<double>(side) / metafile.Header().device.cx,
                static_cast<double>(side) / metafile.Header().device.cy);
    image.rendered = emf::RenderEmf(metafile, cr, &image.error, &image.stats);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_flush(image.surface.get());
    return image;
}

// EMR_EXTTEXTOUTW without a dx array: the font's own advances place the characters.
void TextWithoutAdvances(EmfWriter& emf, testing_support::PointL at, std::u16string_view text) {
    Bytes p;
    for (int i = 0; i < 4; ++i) {
        testing_support::AppendI32(p, 0);  // bounds
    }
    testing_support::AppendU32(p, 1);  // GM_COMPATIBLE
    testing_support::AppendF32(p, 1);
    testing_support::AppendF32(p, 1);
    testing_support::AppendI32(p, at.x);
    testing_support::AppendI32(p, at.y);
    testing_support::AppendU32(p, static_cast<std::uint32_t>(text.size()));
    testing_support::AppendU32(p, 76);  // offString, from the record's start
    testing_support::AppendU32(p, 0);   // options
    for (int i = 0; i < 4; ++i) {
        testing_support::AppendI32(p, 0);  // rcl
    }
    testing_support::AppendU32(p, 0);  // offDx: none
    testing_support::AppendUtf16(p, text);
    emf.Record(emf::record::kExtTextOutW, p);
}

constexpr unsigned kRed = 0xFF0000;
constexpr unsigned kGreen = 0x00FF00;
constexpr unsigned kBlue = 0x0000FF;
constexpr unsigned kYellow = 0xFFFF00;
constexpr unsigned kWhite = 0xFFFFFF;
constexpr unsigned kBlack = 0x000000;

TEST(EmfRenderPdf, TextShapesAndBitmapReachThePdf) {
    if (!emf_test::PdfToolsPresent()) {
        GTEST_SKIP() << "poppler-utils and qpdf are needed to read the PDF back";
    }
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    emf.SetBkMode(testing_support::kTransparent);
    // A filled polygon without outline.
    const std::uint32_t red = emf.CreateBrushIndirect(testing_support::kBsSolid, Rgb(255, 0, 0));
    emf.SelectObject(red);
    emf.SelectObject(testing_support::StockObject(testing_support::kNullPen));
    emf.Polygon16({g.P(0.05, 0.05), g.P(0.45, 0.05), g.P(0.45, 0.30), g.P(0.05, 0.30)});
    // A 2 x 2 bitmap over a square.
    emf.StretchDIBits({g.X(0.55), g.Y(0.05)}, {g.X(0.4), g.Y(0.4)}, 2, 2,
                      {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00});
    // A thick blue line.
    const std::uint32_t pen = emf.CreatePen(testing_support::kPsSolid, 40, Rgb(0, 0, 255));
    emf.SelectObject(pen);
    emf.MoveToEx(g.X(0.05), g.Y(0.5));
    emf.LineTo(g.X(0.95), g.Y(0.5));
    // Text in a Latin font, in a CJK font, and CJK in a Latin font (falls back per run).
    emf.SetTextColor(Rgb(0, 0, 0));
    emf.SetTextAlign(24);  // TA_BASELINE
    const std::uint32_t latin =
        emf.ExtCreateFontIndirectW({.height = -120, .faceName = u"Liberation Sans"});
    emf.SelectObject(latin);
    TextWithoutAdvances(emf, {g.X(0.05), g.Y(0.62)}, u"Searchable Latin text");
    const std::uint32_t cjk = emf.ExtCreateFontIndirectW(
        {.height = -120, .charSet = 134, .faceName = u"Noto Sans CJK SC"});
    emf.SelectObject(cjk);
    emf.ExtTextOutW({g.X(0.05), g.Y(0.75)}, u"中文测试", std::vector<std::int32_t>(4, 120));
    emf.SelectObject(latin);
    TextWithoutAdvances(emf, {g.X(0.05), g.Y(0.88)}, u"Mixed 混合 run");
    const Bytes bytes = emf.Finish();

    testing_support::TempFolder folder("emf-render");
    const auto pdf = folder.Path() / "page.pdf";
    ASSERT_EQ(emf_test::RenderToPdf(bytes, pdf), "");

    EXPECT_EQ(emf_test::QpdfCheck(pdf), "");

    const std::string text = emf_test::PdfText(pdf);
    EXPECT_NE(text.find("Searchable Latin text"), std::string::npos) << text;
    EXPECT_NE(text.find("中文测试"), std::string::npos) << text;
    EXPECT_NE(text.find("混合"), std::string::npos) << text;
    EXPECT_NE(text.find("Mixed"), std::string::npos) << text;

    const auto fonts = emf_test::PdfFonts(pdf);
    bool latinFont = false;
    bool cjkFont = false;
    for (const auto& font : fonts) {
        EXPECT_TRUE(font.embedded) << font.name;
        EXPECT_TRUE(font.hasToUnicode) << font.name;
        latinFont = latinFont || font.name.find("LiberationSans") != std::string::npos;
        cjkFont = cjkFont || font.name.find("NotoSansCJK") != std::string::npos;
    }
    EXPECT_TRUE(latinFont);
    EXPECT_TRUE(cjkFont);

    const emf_test::Raster page = emf_test::RasterizePdf(pdf, 72);
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.25, 0.175), kRed))
        << std::hex << page.Pixel(0.25, 0.175);
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.65, 0.15), kRed));
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.85, 0.15), kGreen));
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.65, 0.35), kBlue));
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.85, 0.35), kYellow));
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.5, 0.5), kBlue));
    EXPECT_TRUE(emf_test::Near(page.Pixel(0.5, 0.4), kWhite));  // between the shapes
}

TEST(EmfRenderPdf, TextAlignmentAndSpacingPlaceTheWords) {
    if (!emf_test::PdfToolsPresent()) {
        GTEST_SKIP() << "poppler-utils is needed to read the PDF back";
    }
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    emf.SetBkMode(testing_support::kTransparent);
    emf.SelectObject(emf.ExtCreateFontIndirectW({.height = -120, .faceName = u"Arial"}));
    emf.SetTextAlign(24 | 2);  // TA_BASELINE | TA_RIGHT
    emf.ExtTextOutW({g.X(0.8), g.Y(0.2)}, u"Right", {87, 27, 67, 67, 33});
    emf.SetTextAlign(24 | 6);  // TA_BASELINE | TA_CENTER
    emf.ExtTextOutW({g.X(0.5), g.Y(0.4)}, u"Centre", {87, 67, 67, 33, 40, 67});
    emf.SetTextAlign(0);  // TA_TOP | TA_LEFT: the reference is the top of the cell
    // The space's advance alone sets where the second word starts.
    emf.ExtTextOutW({g.X(0.1), g.Y(0.6)}, u"Spaced out", {80, 67, 67, 60, 67, 67, 600, 67, 67, 33});
    // In a mapping mode whose y grows upwards, text still stands upright above its baseline.
    emf.SaveDC();
    emf.SetMapMode(2);  // MM_LOMETRIC
    emf.SetTextAlign(24);
    emf.SelectObject(emf.ExtCreateFontIndirectW({.height = -50, .faceName = u"Arial"}));
    emf.ExtTextOutW({100, -800}, u"Upright", {36, 28, 17, 11, 28, 28, 14});
    emf.RestoreDC(-1);
    testing_support::TempFolder folder("emf-render");
    const auto pdf = folder.Path() / "align.pdf";
    ASSERT_EQ(emf_test::RenderToPdf(emf.Finish(), pdf), "");

    const auto words = emf_test::PdfWords(pdf);
    const auto find = [&](const std::string& text) {
        for (const auto& word : words) {
            if (word.text == text) {
                return word;
            }
        }
        ADD_FAILURE() << text << " not on the page";
        return emf_test::PdfWord{};
    };
    const double pixel = 72.0 / 600;  // points per device pixel
    const auto right = find("Right");
    EXPECT_NEAR(right.xMax, 0.8 * kPagePoints, 3);
    EXPECT_NEAR(right.xMax - right.xMin, 281 * pixel, 4);
    const auto centre = find("Centre");
    EXPECT_NEAR((centre.xMin + centre.xMax) / 2, 0.5 * kPagePoints, 3);
    const auto spaced = find("Spaced");
    const auto out = find("out");
    EXPECT_NEAR(spaced.xMin, 0.1 * kPagePoints, 2);
    EXPECT_NEAR(out.xMin, 0.1 * kPagePoints + (408 + 600) * pixel, 2);
    // Top-aligned: the word hangs below the reference line; baseline text sits above its own.
    EXPECT_GT(spaced.yMin, 0.6 * kPagePoints - 2);
    EXPECT_LT(right.yMax, 0.2 * kPagePoints + 4);
    EXPECT_LT(right.yMin, 0.2 * kPagePoints - 8);
    const auto upright = find("Upright");
    const double millimetre = 72 / 25.4;
    EXPECT_NEAR(upright.xMin, 10 * millimetre, 2);
    EXPECT_NEAR(upright.yMax, 80 * millimetre, 4);  // descenders reach a little below
    EXPECT_LT(upright.yMin, 80 * millimetre - 10);  // the letters rise above the baseline
}

TEST(EmfRender, WorldTransformAndMappingModesPlaceShapes) {
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    emf.SaveDC();
    emf.SetWorldTransform({1, 0, 0, 1, static_cast<float>(g.X(0.5)), 0});
    SolidBox(emf, g.Box(0.05, 0.05, 0.2, 0.2), Rgb(255, 0, 0));  // lands at 0.55 .. 0.7
    // Scaled twice about the origin, applied before the translation.
    emf.ModifyWorldTransform({2, 0, 0, 2, 0, 0}, 2);
    SolidBox(emf, g.Box(0.1, 0.0, 0.15, 0.05), Rgb(0, 255, 0));  // 0.7 .. 0.8, 0 .. 0.1
    emf.RestoreDC(-1);
    emf.SaveDC();
    emf.SetMapMode(2);  // MM_LOMETRIC: 0.1 mm, y upwards
    SolidBox(emf, {100, -600, 300, -800}, Rgb(0, 0, 255));
    emf.RestoreDC(-1);
    emf.SaveDC();
    emf.SetMapMode(testing_support::kMmAnisotropic);
    emf.SetWindowExtEx(100, 100);
    emf.SetViewportExtEx(kGrid.width, kGrid.height);
    SolidBox(emf, {60, 60, 90, 90}, Rgb(255, 255, 0));
    emf.RestoreDC(-1);
    // Back in MM_TEXT without a transform.
    SolidBox(emf, g.Box(0.05, 0.85, 0.15, 0.95), Rgb(0, 0, 0));
    const Image image = RenderToImage(emf.Finish());
    ASSERT_TRUE(image.rendered) << image.error;
    EXPECT_EQ(image.Pixel(0.12, 0.12), kWhite);
    EXPECT_EQ(image.Pixel(0.62, 0.12), kRed);
    EXPECT_EQ(image.Pixel(0.75, 0.05), kGreen);
    EXPECT_EQ(image.Pixel(0.2, 0.7), kBlue);
    EXPECT_EQ(image.Pixel(0.2, 0.3), kWhite);  // where y downwards would have put it
    EXPECT_EQ(image.Pixel(0.75, 0.75), kYellow);
    EXPECT_EQ(image.Pixel(0.1, 0.9), kBlack);
}

TEST(EmfRender, ClipsAndRestoresTheClip) {
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    emf.SaveDC();
    emf.IntersectClipRect(g.Box(0.1, 0.1, 0.5, 0.5));
    SolidBox(emf, g.Box(0, 0, 1, 1), Rgb(0, 255, 0));
    emf.RestoreDC(-1);
    // A region in device pixels replaces the clip; PATCOPY fills with the brush.
    emf.ExtSelectClipRgn(5, {g.Box(0.6, 0.6, 0.9, 0.9)});
    const std::uint32_t blue = emf.CreateBrushIndirect(testing_support::kBsSolid, Rgb(0, 0, 255));
    emf.SelectObject(blue);
    emf.PatBlt(g.Box(0, 0, 1, 1), 0x00F00021);
    // Back to no clip, then everything but one rectangle.
    emf.ExtSelectClipRgn(5, {});
    emf.Record(emf::record::kExcludeClipRect, [&] {
        Bytes p;
        for (std::int32_t v : {g.X(0.75), g.Y(0.05), g.X(0.95), g.Y(0.4)}) {
            testing_support::AppendI32(p, v);
        }
        return p;
    }());
    SolidBox(emf, g.Box(0.55, 0.05, 0.95, 0.4), Rgb(255, 0, 0));
    const Image image = RenderToImage(emf.Finish());
    ASSERT_TRUE(image.rendered) << image.error;
    EXPECT_EQ(image.Pixel(0.3, 0.3), kGreen);
    EXPECT_EQ(image.Pixel(0.05, 0.05), kWhite);
    EXPECT_EQ(image.Pixel(0.55, 0.55), kWhite);  // the green box stopped at its clip
    EXPECT_EQ(image.Pixel(0.75, 0.75), kBlue);
    EXPECT_EQ(image.Pixel(0.95, 0.95), kWhite);
    EXPECT_EQ(image.Pixel(0.3, 0.7), kWhite);
    EXPECT_EQ(image.Pixel(0.65, 0.2), kRed);
    EXPECT_EQ(image.Pixel(0.85, 0.2), kWhite);  // excluded
}

TEST(EmfRender, PathsFillUnderThePolygonFillMode) {
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    const std::uint32_t brush = emf.CreateBrushIndirect(testing_support::kBsSolid, Rgb(0, 0, 255));
    emf.SelectObject(brush);
    emf.SelectObject(testing_support::StockObject(testing_support::kNullPen));
    // Two nested squares in one path: a hole under ALTERNATE, filled under WINDING.
    for (int mode : {1, 2}) {
        const double x = mode == 1 ? 0.0 : 0.5;
        emf.SetPolyFillMode(mode);
        emf.BeginPath();
        emf.Polygon16(
            {g.P(x + 0.05, 0.05), g.P(x + 0.45, 0.05), g.P(x + 0.45, 0.45), g.P(x + 0.05, 0.45)});
        emf.Polygon16(
            {g.P(x + 0.15, 0.15), g.P(x + 0.35, 0.15), g.P(x + 0.35, 0.35), g.P(x + 0.15, 0.35)});
        emf.EndPath();
        emf.FillPath();
    }
    // A Bézier path stroked, and an ellipse.
    emf.SelectObject(emf.CreatePen(testing_support::kPsSolid, 60, Rgb(255, 0, 0)));
    emf.BeginPath();
    emf.MoveToEx(g.X(0.1), g.Y(0.6));
    emf.PolyBezierTo16({g.P(0.3, 0.6), g.P(0.5, 0.6), g.P(0.7, 0.6)});
    emf.EndPath();
    emf.StrokePath();
    emf.Ellipse(g.Box(0.6, 0.7, 0.9, 0.95));
    const Image image = RenderToImage(emf.Finish());
    ASSERT_TRUE(image.rendered) << image.error;
    EXPECT_EQ(image.Pixel(0.1, 0.1), kBlue);
    EXPECT_EQ(image.Pixel(0.25, 0.25), kWhite);  // the hole
    EXPECT_EQ(image.Pixel(0.75, 0.25), kBlue);
    EXPECT_EQ(image.Pixel(0.4, 0.6), kRed);
    EXPECT_EQ(image.Pixel(0.75, 0.825), kBlue);  // inside the ellipse: the brush
    EXPECT_EQ(image.Pixel(0.61, 0.71), kWhite);  // the box's corner is outside the ellipse
}

// BITMAPINFOHEADER for a width x height DIB (negative height: top-down) and its colour table.
Bytes BitmapInfo(std::int32_t width, std::int32_t height, std::uint16_t bits,
                 const std::vector<std::uint32_t>& colors = {}) {
    Bytes info;
    testing_support::AppendU32(info, 40);
    testing_support::AppendI32(info, width);
    testing_support::AppendI32(info, height);
    testing_support::AppendU16(info, 1);
    testing_support::AppendU16(info, bits);
    for (int i = 0; i < 6; ++i) {
        testing_support::AppendU32(info, i == 4 ? static_cast<std::uint32_t>(colors.size()) : 0);
    }
    for (std::uint32_t rgb : colors) {
        testing_support::AppendU32(info, rgb);  // RGBQUAD: blue, green, red, 0
    }
    return info;
}

TEST(EmfRender, DecodesBitmapDepthsAndRowOrders) {
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    // 1 bit, bottom-up, 2 x 2: rows from the bottom, most significant bit first.
    emf.StretchDIBitsRaw({g.X(0), g.Y(0)}, {g.X(0.5), g.Y(0.5)}, 2, 2,
                         BitmapInfo(2, 2, 1, {0x000000, 0xFF0000}), {0x40, 0, 0, 0, 0x80, 0, 0, 0});
    // 4 bit, top-down.
    emf.StretchDIBitsRaw({g.X(0.5), g.Y(0)}, {g.X(0.5), g.Y(0.5)}, 2, 2,
                         BitmapInfo(2, -2, 4, {0x00FF00, 0x0000FF, 0xFFFF00}),
                         {0x01, 0, 0, 0, 0x20, 0, 0, 0});
    // 8 bit, bottom-up.
    emf.StretchDIBitsRaw({g.X(0), g.Y(0.5)}, {g.X(0.5), g.Y(0.5)}, 2, 2,
                         BitmapInfo(2, 2, 8, {0x000000, 0xFFFFFF, 0x0000FF}),
                         {2, 1, 0, 0, 1, 2, 0, 0});
    // 32 bit, top-down.
    emf.StretchDIBitsRaw({g.X(0.5), g.Y(0.5)}, {g.X(0.5), g.Y(0.5)}, 2, 2, BitmapInfo(2, -2, 32),
                         {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0});
    const Image image = RenderToImage(emf.Finish());
    ASSERT_TRUE(image.rendered) << image.error;
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.125, 0.125), kRed))
        << std::hex << image.Pixel(0.125, 0.125);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.375, 0.125), kBlack))
        << std::hex << image.Pixel(0.375, 0.125);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.125, 0.375), kBlack))
        << std::hex << image.Pixel(0.125, 0.375);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.375, 0.375), kRed))
        << std::hex << image.Pixel(0.375, 0.375);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.625, 0.125), kGreen))
        << std::hex << image.Pixel(0.625, 0.125);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.875, 0.125), kBlue))
        << std::hex << image.Pixel(0.875, 0.125);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.625, 0.375), kYellow))
        << std::hex << image.Pixel(0.625, 0.375);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.875, 0.375), kGreen))
        << std::hex << image.Pixel(0.875, 0.375);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.625, 0.625), kRed))
        << std::hex << image.Pixel(0.625, 0.625);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.875, 0.625), kGreen))
        << std::hex << image.Pixel(0.875, 0.625);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.625, 0.875), kBlue))
        << std::hex << image.Pixel(0.625, 0.875);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.875, 0.875), kWhite))
        << std::hex << image.Pixel(0.875, 0.875);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.125, 0.625), kWhite))
        << std::hex << image.Pixel(0.125, 0.625);  // the bottom-up 8-bit rows: top row last
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.375, 0.625), kBlue))
        << std::hex << image.Pixel(0.375, 0.625);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.125, 0.875), kBlue))
        << std::hex << image.Pixel(0.125, 0.875);
    EXPECT_TRUE(emf_test::Near(image.Pixel(0.375, 0.875), kWhite))
        << std::hex << image.Pixel(0.375, 0.875);
}

TEST(EmfRender, KnowsPagesThatCarryOnlyAPayload) {
    EmfWriter payloadOnly(kPage);
    payloadOnly.SetMapMode(testing_support::kMmText);
    payloadOnly.PayloadComment(testing_support::FourCc("TSPG"),
                               testing_support::AsBytes("%PDF-1.7"));
    emf::EmfMetafile metafile;
    std::string error;
    ASSERT_TRUE(emf::EmfMetafile::Parse(payloadOnly.Finish(), &metafile, &error)) << error;
    EXPECT_FALSE(emf::HasDrawingRecords(metafile));

    ASSERT_TRUE(emf::EmfMetafile::Parse(testing_support::MakeSamplePage(), &metafile, &error));
    EXPECT_TRUE(emf::HasDrawingRecords(metafile));

    // Comments are skipped by the renderer, never drawn and never a fault.
    const Image image = RenderToImage(payloadOnly.Finish());
    EXPECT_TRUE(image.rendered) << image.error;
    EXPECT_EQ(image.stats.malformed, 0u);
    EXPECT_EQ(image.Pixel(0.5, 0.5), kWhite);
}

TEST(EmfRender, MalformedRecordsAreSkippedAndReported) {
    const Grid& g = kGrid;
    EmfWriter emf(kPage);
    Bytes polygon;  // announces 1000 points, carries one
    for (std::int32_t v : {0, 0, 10, 10}) {
        testing_support::AppendI32(polygon, v);
    }
    testing_support::AppendU32(polygon, 1000);
    testing_support::AppendU32(polygon, 0);
    emf.Record(emf::record::kPolygon16, polygon);
    emf.Record(0x7777, {1, 2, 3, 4});  // unknown kind: skipped, not a fault
    SolidBox(emf, g.Box(0.4, 0.4, 0.6, 0.6), Rgb(255, 0, 0));
    const Image image = RenderToImage(emf.Finish());
    EXPECT_FALSE(image.rendered);
    EXPECT_NE(image.error.find("type 86"), std::string::npos) << image.error;
    EXPECT_EQ(image.stats.malformed, 1u);
    EXPECT_EQ(image.stats.skipped, 1u);
    EXPECT_EQ(image.Pixel(0.5, 0.5), kRed);  // what follows still draws
}

TEST(EmfRender, SamplePageDrawsWithoutFaults) {
    const Image image = RenderToImage(testing_support::MakeSamplePage(), 300);
    EXPECT_TRUE(image.rendered) << image.error;
    EXPECT_EQ(image.stats.malformed, 0u);
    EXPECT_EQ(image.stats.skipped, 0u);
    // The light blue of the sample's brush inside its first rectangle.
    EXPECT_EQ(image.Pixel(0.5, 0.15), 0xCCDDFFu);
}

}  // namespace
