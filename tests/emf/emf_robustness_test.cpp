// Hostile metafiles: every cut of a real page, random mutations of its bytes, and records whose
// fields are extreme. Parsing and rendering must refuse or skip, never crash, read out of
// bounds or leave the cairo context broken (the sanitizer builds watch the memory).
#include <gtest/gtest.h>

#include <cairo.h>

#include <limits>
#include <random>

#include "components/pdfengine/emf/EmfReader.h"
#include "components/pdfengine/emf/EmfRecords.h"
#include "components/pdfengine/emf/EmfRenderer.h"
#include "tests/support/emf_writer.h"

namespace {

using testing_support::Bytes;

// Renders into a small image and checks the context survived. Returns whether it parsed.
bool ParseAndRender(const Bytes& bytes) {
    emf::EmfMetafile metafile;
    std::string error;
    if (!emf::EmfMetafile::Parse(bytes, &metafile, &error)) {
        EXPECT_FALSE(error.empty());
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 64.0 / std::max(1, metafile.Header().device.cx),
                64.0 / std::max(1, metafile.Header().device.cy));
    cairo_matrix_t before;
    cairo_get_matrix(cr, &before);
    emf::RenderEmf(metafile, cr, &error);
    cairo_matrix_t after;
    cairo_get_matrix(cr, &after);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS) << error;
    EXPECT_EQ(before.xx, after.xx);  // the caller's state comes back
    EXPECT_EQ(before.y0, after.y0);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return true;
}

Bytes SamplePageWithText() {
    testing_support::SamplePageOptions options;
    options.page = testing_support::PageSize::Millimetres(50, 50, 150);
    options.payload = testing_support::Payload{testing_support::FourCc("TSPG"),
                                               testing_support::AsBytes("%PDF-1.7 x")};
    return testing_support::MakeSamplePage(options);
}

TEST(EmfRobustness, EveryCutOfAPageIsRefused) {
    const Bytes page = SamplePageWithText();
    ASSERT_TRUE(ParseAndRender(page));
    for (std::size_t length = 0; length < page.size(); ++length) {
        const Bytes cut(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(ParseAndRender(cut)) << length;
    }
}

TEST(EmfRobustness, MutatedPagesParseOrFailCleanly) {
    const Bytes page = SamplePageWithText();
    const auto records = testing_support::WalkEmfRecords(page);
    std::mt19937 random(20240611);
    std::size_t parsed = 0;
    constexpr int kRounds = 1500;
    for (int round = 0; round < kRounds; ++round) {
        Bytes mutated = page;
        // Aim at record bodies half of the time, where a parse survives and the renderer has
        // to cope; elsewhere anywhere.
        const int changes = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < changes; ++i) {
            std::size_t at = random() % mutated.size();
            if (round % 2 == 0) {
                const auto& rec = records[1 + random() % (records.size() - 2)];
                at = rec.offset + 8 + random() % std::max<std::uint32_t>(1, rec.size - 8);
            }
            switch (random() % 4) {
                case 0:
                    mutated[at] = static_cast<std::uint8_t>(random());
                    break;
                case 1:
                    mutated[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
                    break;
                case 2:
                    if (at + 4 <= mutated.size()) {
                        testing_support::PatchU32(mutated, at & ~std::size_t{3},
                                                  random() % 2 ? 0xFFFFFFFFu : 0x7FFFFFFFu);
                    }
                    break;
                default:
                    if (at + 4 <= mutated.size()) {
                        testing_support::PatchU32(mutated, at & ~std::size_t{3}, 0x80000000u);
                    }
                    break;
            }
        }
        parsed += ParseAndRender(mutated) ? 1 : 0;
    }
    // The mutations inside record bodies keep most of those pages parseable, so the renderer
    // really met damaged records.
    EXPECT_GT(parsed, std::size_t{kRounds / 4});
}

TEST(EmfRobustness, RandomBytesBehindAValidHeader) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        testing_support::EmfWriter emf(testing_support::PageSize::Millimetres(20, 20, 96));
        const int count = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < count; ++i) {
            Bytes parameters(random() % 120);
            for (auto& byte : parameters) {
                byte = static_cast<std::uint8_t>(random());
            }
            // Record kinds the renderer plays, with random fields.
            emf.Record(1 + random() % 122, parameters);
        }
        Bytes bytes = emf.Finish();
        ParseAndRender(bytes);
    }
}

// Records with fields at their limits, each valid in size: nothing may allocate wildly, loop
// long, or feed cairo a matrix it refuses.
TEST(EmfRobustness, ExtremeFieldsAreSurvived) {
    using testing_support::AppendF32;
    using testing_support::AppendI32;
    using testing_support::AppendU32;
    testing_support::EmfWriter emf(testing_support::PageSize::Millimetres(20, 20, 96));
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float bad : {inf, nan, 0.0f, 1e38f}) {
        emf.SetWorldTransform({bad, 0, 0, bad, bad, 0});
        emf.ModifyWorldTransform({bad, bad, bad, bad, 0, 0}, 2);
        emf.Rectangle({0, 0, 10, 10});
    }
    emf.SetMapMode(testing_support::kMmAnisotropic);
    emf.SetWindowExtEx(0, 0);
    emf.SetWindowExtEx(1, std::numeric_limits<std::int32_t>::min());
    emf.SetViewportExtEx(std::numeric_limits<std::int32_t>::max(), 1);
    emf.Ellipse(
        {std::numeric_limits<std::int32_t>::min(), 0, std::numeric_limits<std::int32_t>::max(), 5});
    emf.SetMapMode(testing_support::kMmText);
    emf.RestoreDC(std::numeric_limits<std::int32_t>::min());
    emf.RestoreDC(std::numeric_limits<std::int32_t>::max());
    for (int i = 0; i < 200; ++i) {
        emf.SaveDC();
    }
    emf.RestoreDC(-150);
    emf.SelectObject(0xFFFFFFFF);
    emf.SelectObject(0x7FFFFFFF);
    emf.DeleteObject(0xFFFFFFFF);
    // Fonts with extreme heights, escapement and a face name without NUL.
    // (The writer takes the magnitude of the height, so the lowest is one above INT_MIN.)
    for (std::int32_t height : {std::numeric_limits<std::int32_t>::min() + 1, -1, 1,
                                std::numeric_limits<std::int32_t>::max()}) {
        const std::uint32_t font =
            emf.ExtCreateFontIndirectW({.height = height,
                                        .escapement = std::numeric_limits<std::int32_t>::min(),
                                        .weight = -5,
                                        .faceName = std::u16string(31, u'\xD800')});
        emf.SelectObject(font);
        emf.ExtTextOutW({0, 0}, u"x\xD800y", {}, 0x2 | 0x4, {10, 10, 0, 0});
    }
    // Text records whose counts and offsets point outside the record.
    for (std::uint32_t chars : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes text;
        for (int i = 0; i < 7; ++i) {
            AppendU32(text, 0);
        }
        AppendU32(text, chars);
        AppendU32(text, 76);
        AppendU32(text, 0x2000);  // ETO_PDY: two advances a character
        for (int i = 0; i < 4; ++i) {
            AppendU32(text, 0);
        }
        AppendU32(text, 0xFFFFFFF0u);
        emf.Record(emf::record::kExtTextOutW, text);
    }
    // Bitmaps claiming huge sizes or offsets past the record.
    for (std::int32_t side : {0x7FFFFFFF, 40000, -0x7FFFFFFF, 0}) {
        Bytes info;
        AppendU32(info, 40);
        AppendI32(info, side);
        AppendI32(info, side);
        AppendU32(info, 0x00080001);  // one plane, 8 bits
        for (int i = 0; i < 6; ++i) {
            AppendU32(info, i == 4 ? 0xFFFFFFFFu : 0);
        }
        emf.StretchDIBitsRaw({0, 0}, {10, 10}, side, side, info, Bytes(16, 0x11));
    }
    // Poly records announcing more points or polygons than they hold.
    for (std::uint32_t type : {emf::record::kPolyPolygon16, emf::record::kPolyPolyline}) {
        Bytes poly(16, 0);
        AppendU32(poly, 0x40000000);
        AppendU32(poly, 0x40000000);
        emf.Record(type, poly);
    }
    Bytes region;
    AppendU32(region, 0xFFFFFFF0u);
    AppendU32(region, 5);
    emf.Record(emf::record::kExtSelectClipRgn, region);
    emf.ExtSelectClipRgn(1, {{0, 0, std::numeric_limits<std::int32_t>::max(), 3}});
    emf.Record(emf::record::kSelectClipPath, Bytes(4, 0));
    emf.Record(emf::record::kFillPath, Bytes(16, 0));
    emf.EndPath();
    emf.BeginPath();
    emf.BeginPath();
    emf.LineTo(5, 5);
    emf.PatBlt({0, 0, 5, 5}, 0x00F00021);
    ASSERT_TRUE(ParseAndRender(emf.Finish()));
}

}  // namespace
