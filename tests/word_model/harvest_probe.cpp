#include "tests/word_model/harvest_probe.h"

#include <cmath>

namespace word_model_test {

using dispatch::Variant;

HRESULT FailureOf(IDispatch* object, DISPID member, WORD flags, std::vector<Variant> args) {
    try {
        dispatch::Invoke(object, member, flags, args);
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

ComPtr<IDispatch> SelectOnScreen(IDispatch* window, IDispatch* range) {
    dispatch::Call(window, id::kWindowScrollIntoView,
                   {Variant::Object(range), Variant::Bool(true)});
    dispatch::Call(range, id::kRangeSelect);
    return GetObject(window, id::kWindowSelection);
}

float SelectionPosition(IDispatch* selection, LONG item) {
    return static_cast<float>(
        dispatch::Get(selection, id::kSelectionInformation, {Variant::Int32(item)}).AsDouble());
}

LONG PageOf(IDispatch* range) {
    return dispatch::Get(range, id::kRangeInformation, {Variant::Int32(3)}).AsInt();
}

std::optional<Pixels> GetPoint(IDispatch* window, IDispatch* item) {
    std::vector<Variant> args{Variant::Int32(0), Variant::Int32(0), Variant::Int32(0),
                              Variant::Int32(0), Variant::Object(item)};
    try {
        dispatch::Invoke(window, id::kWindowGetPoint, DISPATCH_METHOD, args);
    } catch (const _com_error&) {
        return std::nullopt;
    }
    return Pixels{args[0].AsInt(), args[1].AsInt(), args[2].AsInt(), args[3].AsInt()};
}

std::optional<LinkRect> TextLinkRect(IDispatch* window, IDispatch* range) {
    ComPtr<IDispatch> selection = SelectOnScreen(window, range);
    const float x = SelectionPosition(selection.Get(), 5);
    const float y = SelectionPosition(selection.Get(), 6);
    LinkRect rect;
    rect.page = PageOf(range);
    ComPtr<IDispatch> setup = GetObject(range, id::kRangePageSetup);
    const float leftMargin = GetFloat(setup.Get(), id::kPageSetupLeftMargin);
    const float pageWidth = GetFloat(setup.Get(), id::kPageSetupPageWidth);
    std::optional<Pixels> pixels = GetPoint(window, range);
    if (!pixels) {
        return std::nullopt;
    }
    // Pixels of a 96 dpi screen to whole points, as the harvest converts them.
    const int width = static_cast<int>(pixels->width * 72LL / 96);
    const int height = static_cast<int>(pixels->height * 72LL / 96);
    if (width <= pageWidth - x - leftMargin) {
        rect.box.left = std::trunc(x);
        rect.box.right = std::trunc(x) + width;
    } else {
        rect.box.left = std::trunc(leftMargin);
        rect.box.right = std::trunc(std::trunc(leftMargin) + pageWidth - 2 * leftMargin);
    }
    rect.box.top = std::trunc(y);
    rect.box.bottom = std::trunc(y + height);
    return rect;
}

std::optional<LinkRect> ShapeLinkRect(IDispatch* window, IDispatch* link) {
    ComPtr<IDispatch> shape = GetObject(link, id::kHyperlinkShape);
    ComPtr<IDispatch> anchor = GetObject(shape.Get(), id::kShapeAnchor);
    ComPtr<IDispatch> selection = SelectOnScreen(window, anchor.Get());
    const float x = SelectionPosition(selection.Get(), 5);
    const float y = SelectionPosition(selection.Get(), 6);
    LinkRect rect;
    rect.page = PageOf(anchor.Get());
    std::optional<Pixels> pixels = GetPoint(window, shape.Get());
    if (!pixels) {
        return std::nullopt;
    }
    const float left = GetFloat(shape.Get(), id::kShapeLeft);
    if (std::trunc(left) >= 0) {
        rect.box.left = std::trunc(left + x + 1.0);
        rect.box.right = std::trunc(rect.box.left + GetFloat(shape.Get(), id::kShapeWidth));
    } else {
        rect.box.left = std::trunc(x);
        rect.box.right = rect.box.left + static_cast<int>(pixels->width * 72LL / 96);
    }
    const float top = GetFloat(shape.Get(), id::kShapeTop);
    if (top >= 0) {
        rect.box.top = std::trunc(top + y + 1.0);
        rect.box.bottom = std::trunc(rect.box.top + GetFloat(shape.Get(), id::kShapeHeight));
    } else {
        rect.box.top = std::trunc(y);
        rect.box.bottom = rect.box.top + static_cast<int>(pixels->height * 72LL / 96);
    }
    return rect;
}

}  // namespace word_model_test
