// The player's clip: rectangles, regions and paths intersected into a chain of clip steps.
#include "components/pdfengine/emf/EmfPlayer.h"

#include <array>
#include <memory>
#include <vector>

namespace emf {
namespace {

constexpr double kFarAway = 1e7;  // device pixels: "everything" for exclusions

// GDI constants the records carry.
constexpr std::uint32_t kRgnAnd = 1;
constexpr std::uint32_t kRgnOr = 2;
constexpr std::uint32_t kRgnDiff = 4;
constexpr std::uint32_t kRgnCopy = 5;

}  // namespace

// Intersects the clip with the context's current path (device pixels) under `rule`.
void Player::AddClip(cairo_fill_rule_t rule) {
    PathPtr path = CopyDevicePath();
    if (path->status != CAIRO_STATUS_SUCCESS) {
        cairo_new_path(cr_);
        return;
    }
    cairo_set_fill_rule(cr_, rule);
    cairo_clip(cr_);
    dc_.clip = std::make_shared<const ClipStep>(dc_.clip, path.release(), rule);
}

// Brings the context's clip back to the caller's and applies the chain of the current state.
void Player::ReapplyClip() {
    PathGuard keep(*this);
    cairo_restore(cr_);
    cairo_save(cr_);
    std::vector<const ClipStep*> chain;
    for (const ClipStep* step = dc_.clip.get(); step; step = step->parent.get()) {
        chain.push_back(step);
    }
    UseDevice();
    for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
        cairo_new_path(cr_);
        cairo_append_path(cr_, (*step)->path);
        cairo_set_fill_rule(cr_, (*step)->rule);
        cairo_clip(cr_);
    }
}

void Player::ResetClip() {
    if (dc_.clip) {
        dc_.clip.reset();
        ReapplyClip();
    }
}

// Replaces the current path with a rectangle around everything, in device pixels; a
// clip by it plus a figure under the even-odd rule excludes the figure.
void Player::AddEverything() {
    UseDevice();
    cairo_rectangle(cr_, -kFarAway, -kFarAway, 2 * kFarAway, 2 * kFarAway);
}

bool Player::ClipRect(bool exclude, ByteReader& in) {
    const RectL box = ReadRect(in);
    const double left = box.left;
    const double top = box.top;
    const double right = box.right;
    const double bottom = box.bottom;
    if (!in.Ok()) {
        return false;
    }
    PathGuard keep(*this);
    if (exclude) {
        AddEverything();
    }
    if (!UseLogical()) {
        return true;
    }
    cairo_rectangle(cr_, left, top, right - left, bottom - top);
    AddClip(CAIRO_FILL_RULE_EVEN_ODD);
    return true;
}

bool Player::ExtSelectClipRgn(ByteReader& in) {
    const std::uint32_t dataSize = in.U32();
    const std::uint32_t mode = in.U32();
    if (!in.Ok() || !in.Has(dataSize)) {
        return false;
    }
    std::vector<std::array<double, 4>> rects;
    if (dataSize > 0) {
        in.U32();  // dwSize
        in.U32();  // iType
        const std::uint32_t count = in.U32();
        in.U32();     // nRgnSize
        in.Skip(16);  // bounds
        if (!in.Ok() || dataSize < 32 || std::uint64_t{count} * 16 > dataSize - 32) {
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const double left = in.I32();
            const double top = in.I32();
            const double right = in.I32();
            const double bottom = in.I32();
            rects.push_back({left, top, right, bottom});
        }
    }
    PathGuard keep(*this);
    switch (mode) {
        case kRgnCopy:
            ResetClip();
            if (dataSize == 0) {
                return true;  // the default clip: the whole page
            }
            [[fallthrough]];
        case kRgnAnd:
            UseDevice();
            for (const auto& r : rects) {
                cairo_rectangle(cr_, r[0], r[1], r[2] - r[0], r[3] - r[1]);
            }
            AddClip(CAIRO_FILL_RULE_WINDING);
            return true;
        case kRgnDiff:
            for (const auto& r : rects) {
                AddEverything();
                cairo_rectangle(cr_, r[0], r[1], r[2] - r[0], r[3] - r[1]);
                AddClip(CAIRO_FILL_RULE_EVEN_ODD);
            }
            return true;
        case kRgnOr:
            // A union cannot be built from intersections; drawing too much loses nothing.
            ResetClip();
            return true;
        default:
            return true;
    }
}

bool Player::SelectClipPath(ByteReader& in) {
    const std::uint32_t mode = in.U32();
    if (!in.Ok()) {
        return false;
    }
    if (mode == kRgnCopy || mode == kRgnOr) {
        ResetClip();
    }
    if (!TakePath()) {
        return true;
    }
    const cairo_fill_rule_t rule =
        dc_.polyFillMode == kAlternate ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
    if (mode == kRgnDiff) {
        PathPtr path = CopyDevicePath();
        cairo_new_path(cr_);
        AddEverything();
        if (path->status == CAIRO_STATUS_SUCCESS) {
            cairo_append_path(cr_, path.get());
        }
        AddClip(CAIRO_FILL_RULE_EVEN_ODD);
    } else if (mode == kRgnAnd || mode == kRgnCopy) {
        AddClip(rule);
    }
    cairo_new_path(cr_);
    return true;
}

}  // namespace emf
