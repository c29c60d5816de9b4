// The player's text records: characters shown in the selected font, kept as searchable text.
#include "components/pdfengine/emf/EmfPlayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "components/pdfengine/emf/EmfFonts.h"

namespace emf {

// One character of a text record: its code point, where its UTF-16 units are, and the face
// and glyph that draw it.
struct TextChar {
    char32_t code = 0;
    std::size_t unit = 0;
    std::size_t units = 1;
    cairo_font_face_t* face = nullptr;
    unsigned long glyph = 0;
    double advanceX = 0;  // text space: along the baseline
    double advanceY = 0;  // text space: downwards
};

namespace {

// GDI constants the records carry.
constexpr std::uint32_t kTaUpdateCp = 1;
constexpr std::uint32_t kTaRight = 2;
constexpr std::uint32_t kTaCenter = 6;
constexpr std::uint32_t kTaBottom = 8;
constexpr std::uint32_t kTaBaseline = 24;
constexpr std::uint32_t kEtoOpaque = 0x2;
constexpr std::uint32_t kEtoClipped = 0x4;
constexpr std::uint32_t kEtoGlyphIndex = 0x10;
constexpr std::uint32_t kEtoPdy = 0x2000;

// cairo refuses text with surrogates and non-characters; such a character is shown as U+FFFD.
char32_t Showable(char32_t c) {
    const bool valid = c < 0x110000 && (c & 0xFFFFF800) != 0xD800 && (c < 0xFDD0 || c > 0xFDEF) &&
                       (c & 0xFFFE) != 0xFFFE;
    return valid ? c : 0xFFFD;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The characters of UTF-16 text, each a showable code point.
std::vector<TextChar> DecodeUtf16(const std::u16string& text) {
    std::vector<TextChar> chars;
    for (std::size_t i = 0; i < text.size(); ++i) {
        TextChar c;
        c.unit = i;
        c.code = text[i];
        if (c.code >= 0xD800 && c.code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c.code = 0x10000 + ((c.code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            c.units = 2;
            ++i;
        }
        c.code = Showable(c.code);
        chars.push_back(c);
    }
    return chars;
}

}  // namespace

bool Player::ExtTextOut(const EmfRecord& rec) {
    ByteReader in(rec.parameters);
    in.Skip(16);  // bounds
    in.U32();     // graphics mode
    in.F32();     // exScale, eyScale: page units to 0.01 mm, for printers' use
    in.F32();
    Point reference = ReadPointL(in);
    const std::uint32_t count = in.U32();
    const std::uint32_t stringOffset = in.U32();
    const std::uint32_t options = in.U32();
    const RectL clip = ReadRect(in);
    const double clipLeft = clip.left;
    const double clipTop = clip.top;
    const double clipRight = clip.right;
    const double clipBottom = clip.bottom;
    const std::uint32_t dxOffset = in.U32();
    if (!in.Ok()) {
        return false;
    }
    const std::size_t dxPerUnit = (options & kEtoPdy) ? 2 : 1;
    if (count > 0 && !InRange(stringOffset, std::uint64_t{count} * 2, rec.size)) {
        return false;
    }
    const bool hasDx = count > 0 && dxOffset != 0;
    if (hasDx && !InRange(dxOffset, std::uint64_t{count} * 4 * dxPerUnit, rec.size)) {
        return false;
    }
    const std::span<const std::uint8_t> whole = emf_.Bytes().subspan(rec.offset, rec.size);
    std::u16string text;
    ByteReader chars(whole, stringOffset);
    for (std::uint32_t i = 0; i < count; ++i) {
        text.push_back(static_cast<char16_t>(chars.U16()));
    }
    std::vector<double> dx;
    std::vector<double> dy;
    if (hasDx) {
        ByteReader spacing(whole, dxOffset);
        for (std::uint32_t i = 0; i < count; ++i) {
            dx.push_back(spacing.I32());
            dy.push_back(dxPerUnit == 2 ? spacing.I32() : 0);
        }
    }

    PathGuard keep(*this);
    if (dc_.textAlign & kTaUpdateCp) {
        reference = {dc_.currentX, dc_.currentY};
    }
    if (!UseLogical()) {
        return true;
    }
    const bool clipped = (options & kEtoClipped) && clipRight > clipLeft && clipBottom > clipTop;
    if (clipped) {
        cairo_save(cr_);
        cairo_rectangle(cr_, clipLeft, clipTop, clipRight - clipLeft, clipBottom - clipTop);
        cairo_clip(cr_);
    }
    if ((options & kEtoOpaque) && clipRight > clipLeft && clipBottom > clipTop) {
        cairo_rectangle(cr_, clipLeft, clipTop, clipRight - clipLeft, clipBottom - clipTop);
        SetColor(cr_, dc_.backgroundColor);
        cairo_fill(cr_);
    }
    if (!text.empty()) {
        ShowText(reference, text, dx, dy, (options & kEtoGlyphIndex) != 0);
    }
    if (clipped) {
        cairo_restore(cr_);
    }
    return true;
}

// The text space of the selected font at `reference`: x along the baseline, y downwards on
// the page, one unit a logical unit; upright even where logical y grows upwards.
std::optional<cairo_matrix_t> Player::TextSpace(Point reference) const {
    const cairo_matrix_t logical = LogicalToDevice();
    const bool yUp = logical.xx * logical.yy - logical.xy * logical.yx < 0;
    const double angle = dc_.font.escapement / 10.0 * std::numbers::pi / 180;
    cairo_matrix_t text;
    cairo_matrix_init(&text, std::cos(angle), -std::sin(angle), std::sin(angle), std::cos(angle), 0,
                      0);
    if (yUp) {
        cairo_matrix_t flip;
        cairo_matrix_init_scale(&flip, 1, -1);
        text = Multiply(text, flip);
    }
    text.x0 = reference.x;
    text.y0 = reference.y;
    const cairo_matrix_t m = Multiply(Multiply(text, logical), base_);
    if (!UsableMatrix(m)) {
        return std::nullopt;
    }
    return m;
}

// The em size of the selected font in logical units: a negative height is the em size, a
// positive one the cell height (ascent plus descent).
double Player::EmSize(cairo_font_face_t* face) {
    const double height = dc_.font.height;
    if (height < 0) {
        return -height;
    }
    if (height == 0) {
        // 12 points on the reference device, in logical units.
        const cairo_matrix_t m = LogicalToDevice();
        const double scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
        return scale > 0 ? 12.0 / 72 * 25.4 * pixelsPerMmY_ / scale : 12;
    }
    cairo_set_font_face(cr_, face);
    cairo_set_font_size(cr_, 1);
    cairo_font_extents_t extents;
    cairo_font_extents(cr_, &extents);
    const double cell = extents.ascent + extents.descent;
    return cell > 0 ? height / cell : height;
}

void Player::ShowText(Point reference, const std::u16string& text, const std::vector<double>& dx,
                      const std::vector<double>& dy, bool glyphIndices) {
    const FontSet fonts =
        ResolveFont({dc_.font.faceName, dc_.font.weight, dc_.font.italic, dc_.font.charSet});
    if (!fonts.Primary()) {
        return;
    }
    const std::optional<cairo_matrix_t> space = TextSpace(reference);
    if (!space) {
        return;
    }
    cairo_set_matrix(cr_, &*space);
    const double em = EmSize(fonts.Primary());
    if (!std::isfinite(em) || em <= 0 || em > 1e6) {
        return;
    }
    cairo_font_options_t* fontOptions = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(fontOptions, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(fontOptions, CAIRO_HINT_STYLE_NONE);
    cairo_set_font_options(cr_, fontOptions);
    cairo_font_options_destroy(fontOptions);
    cairo_set_font_size(cr_, em);

    std::vector<TextChar> chars;
    if (glyphIndices) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            chars.push_back({0, i, 1, fonts.Primary(), text[i], 0, 0});
        }
    } else {
        chars = DecodeUtf16(text);
        for (TextChar& c : chars) {
            c.face = fonts.FaceFor(c.code);
        }
    }
    // Glyphs and advances, run by run of one face.
    std::vector<std::size_t> runStarts;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (i == 0 || chars[i].face != chars[i - 1].face) {
            runStarts.push_back(i);
        }
    }
    runStarts.push_back(chars.size());
    for (std::size_t r = 0; r + 1 < runStarts.size(); ++r) {
        MapRun(chars, runStarts[r], runStarts[r + 1], glyphIndices);
    }
    for (TextChar& c : chars) {
        if (!dx.empty()) {
            c.advanceX = 0;
            c.advanceY = 0;
            for (std::size_t u = c.unit; u < c.unit + c.units; ++u) {
                c.advanceX += dx[u];
                c.advanceY -= dy[u];  // dy counts upwards
            }
        }
    }

    double width = 0;
    double rise = 0;
    for (const TextChar& c : chars) {
        width += c.advanceX;
        rise += c.advanceY;
    }
    cairo_set_font_face(cr_, fonts.Primary());
    cairo_font_extents_t extents;
    cairo_font_extents(cr_, &extents);
    double x = 0;
    double y = 0;
    const std::uint32_t horizontal = dc_.textAlign & kTaCenter;
    if (horizontal == kTaCenter) {
        x = -width / 2;
    } else if (horizontal == kTaRight) {
        x = -width;
    }
    const std::uint32_t vertical = dc_.textAlign & kTaBaseline;
    if (vertical == 0) {  // TA_TOP
        y = extents.ascent;
    } else if (vertical == kTaBottom) {
        y = -extents.descent;
    }
    if (dc_.backgroundMode != kTransparent) {
        cairo_rectangle(cr_, x, y - extents.ascent, width, extents.ascent + extents.descent);
        SetColor(cr_, dc_.backgroundColor);
        cairo_fill(cr_);
    }
    SetColor(cr_, dc_.textColor);
    const double startX = x;
    for (std::size_t r = 0; r + 1 < runStarts.size(); ++r) {
        DrawRun(chars, runStarts[r], runStarts[r + 1], &x, &y, glyphIndices);
    }
    const double thickness = std::max(em / 20, 0.5);
    if (dc_.font.underline) {
        cairo_rectangle(cr_, startX, y + extents.descent * 0.4, width, thickness);
    }
    if (dc_.font.strikeOut) {
        cairo_rectangle(cr_, startX, y - extents.ascent * 0.3, width, thickness);
    }
    cairo_fill(cr_);
    if ((dc_.textAlign & kTaUpdateCp) && horizontal != kTaCenter) {
        // The current position moves to the end of the text, in logical units.
        cairo_matrix_t toLogical = Multiply(LogicalToDevice(), base_);
        if (cairo_matrix_invert(&toLogical) == CAIRO_STATUS_SUCCESS) {
            toLogical = Multiply(*space, toLogical);
            double endX = horizontal == kTaRight ? startX : startX + width;
            double endY = rise;
            cairo_matrix_transform_point(&toLogical, &endX, &endY);
            dc_.currentX = endX;
            dc_.currentY = endY;
        }
    }
}

// Fills in glyph indices and natural advances of chars [begin, end), which share a face.
void Player::MapRun(std::vector<TextChar>& chars, std::size_t begin, std::size_t end,
                    bool glyphIndices) {
    cairo_set_font_face(cr_, chars[begin].face);
    cairo_scaled_font_t* font = cairo_get_scaled_font(cr_);
    for (std::size_t i = begin; i < end; ++i) {
        TextChar& c = chars[i];
        if (!glyphIndices) {
            std::string utf8;
            AppendUtf8(utf8, c.code);
            cairo_glyph_t* glyphs = nullptr;
            int glyphCount = 0;
            if (cairo_scaled_font_text_to_glyphs(
                    font, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs, &glyphCount,
                    nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
                glyphCount >= 1) {
                c.glyph = glyphs[0].index;
            }
            cairo_glyph_free(glyphs);
        }
        cairo_glyph_t glyph{c.glyph, 0, 0};
        cairo_text_extents_t extents;
        cairo_scaled_font_glyph_extents(font, &glyph, 1, &extents);
        c.advanceX = extents.x_advance;
        c.advanceY = extents.y_advance;
    }
}

// Shows chars [begin, end) from (*x, *y) onwards, with their text so the output keeps it
// searchable, and moves the pen position past them.
void Player::DrawRun(const std::vector<TextChar>& chars, std::size_t begin, std::size_t end,
                     double* x, double* y, bool glyphIndices) {
    cairo_set_font_face(cr_, chars[begin].face);
    std::vector<cairo_glyph_t> glyphs;
    std::vector<cairo_text_cluster_t> clusters;
    std::string utf8;
    for (std::size_t i = begin; i < end; ++i) {
        const TextChar& c = chars[i];
        glyphs.push_back({c.glyph, *x, *y});
        *x += c.advanceX;
        *y += c.advanceY;
        if (!glyphIndices) {
            const std::size_t before = utf8.size();
            AppendUtf8(utf8, c.code);
            clusters.push_back({static_cast<int>(utf8.size() - before), 1});
        }
    }
    if (glyphIndices) {
        cairo_show_glyphs(cr_, glyphs.data(), static_cast<int>(glyphs.size()));
    } else {
        cairo_show_text_glyphs(cr_, utf8.data(), static_cast<int>(utf8.size()), glyphs.data(),
                               static_cast<int>(glyphs.size()), clusters.data(),
                               static_cast<int>(clusters.size()),
                               static_cast<cairo_text_cluster_flags_t>(0));
    }
}

}  // namespace emf
