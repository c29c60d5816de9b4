#include "Layout.h"

#include <algorithm>
#include <cmath>

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/view/XLineCursor.hpp>
#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include "DispatchObject.h"
#include "Uno.h"

namespace word_model {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

// The view stacks its pages in one column with this gap between them (1/100 mm); the cursor's
// positions are in the view's coordinates, so page n starts below the pages before it and their
// gaps.
constexpr double kGapBetweenPages = 501;  // 284 twips

// Line heights are not visible through the API; a line is about this much taller than the
// font's nominal size (ascent and descent of common fonts), CJK fonts a little more.
constexpr double kLineHeightFactor = 1.17;
constexpr double kCjkLineHeightFactor = 1.3;

// A range that wraps is measured character by character, up to this many.
constexpr int kLongestWalk = 4000;

[[noreturn]] void NoLayout() {
    FailWord(kWordCommandFailed, "The object is not in the page layout.");
}

bool HasCjk(const rtl::OUString& text) {
    for (sal_Int32 i = 0; i < text.getLength(); ++i) {
        const sal_Unicode c = text[i];
        if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
            (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

}  // namespace

Layout::Layout(const Reference<css::frame::XModel>& model) : model_(model) {}

bool Layout::HasLayout(const Reference<css::text::XTextRange>& range) {
    Reference<css::lang::XServiceInfo> text(range->getText(), UNO_QUERY);
    if (text.is() && text->getImplementationName().indexOf("HeadFoot") >= 0) {
        return false;  // headers and footers repeat on pages: Word measures none of them
    }
    Reference<css::beans::XPropertySet> properties(range, UNO_QUERY);
    return !PropertyOr<bool>(properties, "CharHidden", false);
}

void Layout::Prepare() {
    if (prepared_) {
        return;
    }
    Reference<css::frame::XController> controller = model_->getCurrentController();
    if (!controller.is()) {
        FailWord(kWordCommandFailed, "The document has no window.");
    }
    // One page per row, as the positions below assume.
    Reference<css::view::XViewSettingsSupplier> settings(controller, UNO_QUERY);
    if (settings.is()) {
        Reference<css::beans::XPropertySet> view = settings->getViewSettings();
        auto trySet = [&](const char* name, const css::uno::Any& value) {
            try {
                view->setPropertyValue(rtl::OUString::createFromAscii(name), value);
            } catch (const css::beans::UnknownPropertyException&) {
                // Not every office has it: a hidden document's view shows one column anyway.
            }
        };
        trySet("ViewLayoutColumns", css::uno::Any(sal_Int16(1)));
        trySet("ViewLayoutBookMode", css::uno::Any(false));
    }
    cursor_ =
        Reference<css::text::XTextViewCursorSupplier>(controller, UNO_QUERY_THROW)->getViewCursor();
    pageCursor_.set(cursor_, UNO_QUERY_THROW);

    Reference<css::container::XNameAccess> styles;
    Reference<css::style::XStyleFamiliesSupplier>(model_, UNO_QUERY_THROW)
        ->getStyleFamilies()
        ->getByName(rtl::OUString::createFromAscii("PageStyles")) >>= styles;
    Reference<css::beans::XPropertySet> cursorProperties(cursor_, UNO_QUERY_THROW);

    pageCursor_->jumpToLastPage();  // lays out the whole document
    const int count = pageCursor_->getPage();
    double top = 0;
    for (int page = 1; page <= count; ++page) {
        pageCursor_->jumpToPage(static_cast<sal_Int16>(page));
        Page entry;
        rtl::OUString style;
        cursorProperties->getPropertyValue(rtl::OUString::createFromAscii("PageStyleName")) >>=
            style;
        entry.style = ToUtf8(style);
        Reference<css::beans::XPropertySet> format;
        if (styles.is() && styles->hasByName(style)) {
            styles->getByName(style) >>= format;
        }
        const double height = PropertyOr<sal_Int32>(format, "Height", 27940);
        entry.format.width = Mm100ToPoints(PropertyOr<sal_Int32>(format, "Width", 21590));
        entry.format.height = Mm100ToPoints(height);
        entry.format.leftMargin = Mm100ToPoints(PropertyOr<sal_Int32>(format, "LeftMargin", 0));
        entry.top = top;
        top += height + kGapBetweenPages;
        pages_.push_back(entry);
    }
    prepared_ = true;
}

int Layout::PageCount() {
    Prepare();
    return static_cast<int>(pages_.size());
}

PageFormat Layout::FormatOfPage(int page) {
    Prepare();
    if (page < 1 || page > static_cast<int>(pages_.size())) {
        NoLayout();
    }
    return pages_[page - 1].format;
}

PagePlace Layout::Place(const Reference<css::text::XTextRange>& position) {
    Prepare();
    if (!HasLayout(position)) {
        NoLayout();
    }
    cursor_->gotoRange(position->getStart(), false);
    // Text the view cannot show leaves the cursor elsewhere.
    Reference<css::text::XTextRangeCompare> compare(position->getText(), UNO_QUERY);
    try {
        if (compare.is() && compare->compareRegionStarts(cursor_->getStart(), position) != 0) {
            NoLayout();
        }
    } catch (const css::lang::IllegalArgumentException&) {
        NoLayout();
    }
    const int page = pageCursor_->getPage();
    if (page < 1 || page > static_cast<int>(pages_.size())) {
        NoLayout();
    }
    const css::awt::Point at = cursor_->getPosition();
    // The cursor's position is counted from the text area of the first page: its page style's
    // top and left margins from that page's corner.
    Reference<css::beans::XPropertySet> cursorProperties(cursor_, UNO_QUERY_THROW);
    rtl::OUString style;
    cursorProperties->getPropertyValue(rtl::OUString::createFromAscii("PageStyleName")) >>= style;
    Reference<css::container::XNameAccess> styles;
    Reference<css::style::XStyleFamiliesSupplier>(model_, UNO_QUERY_THROW)
        ->getStyleFamilies()
        ->getByName(rtl::OUString::createFromAscii("PageStyles")) >>= styles;
    Reference<css::beans::XPropertySet> format;
    if (styles.is() && styles->hasByName(style)) {
        styles->getByName(style) >>= format;
    }
    const double topMargin = PropertyOr<sal_Int32>(format, "TopMargin", 0);
    const double leftMargin = PropertyOr<sal_Int32>(format, "LeftMargin", 0);
    PagePlace place;
    place.page = page;
    place.x = Mm100ToPoints(at.X + leftMargin);
    place.y = Mm100ToPoints(at.Y + topMargin - pages_[page - 1].top);
    return place;
}

double Layout::LineHeight(const Reference<css::text::XTextRange>& range) {
    Reference<css::beans::XPropertySet> properties(range, UNO_QUERY);
    const rtl::OUString text = range->getString();
    if (HasCjk(text)) {
        return PropertyOr<float>(properties, "CharHeightAsian", 10.5f) * kCjkLineHeightFactor;
    }
    return PropertyOr<float>(properties, "CharHeight", 12.0f) * kLineHeightFactor;
}

RangeExtent Layout::Measure(const Reference<css::text::XTextRange>& range) {
    RangeExtent extent;
    extent.start = Place(range->getStart());
    const PagePlace end = Place(range->getEnd());
    extent.endPage = end.page;
    const double height = LineHeight(range);
    extent.left = extent.start.x;
    extent.top = extent.start.y;
    extent.right = end.x;
    extent.bottom = extent.start.y + height;
    const bool oneLine = end.page == extent.start.page && std::fabs(end.y - extent.start.y) < 0.5;
    if (oneLine) {
        extent.right = std::max(end.x, extent.start.x);
        return extent;
    }
    // Several lines: walk the range's characters and take in every line's left and right.
    // (The view's line-end movements depend on the visible area, which a hidden view lacks.)
    const PagePlace origin = Place(range->getStart());
    const double toPageX = origin.x - Mm100ToPoints(cursor_->getPosition().X);
    Reference<css::text::XTextRangeCompare> compare(range->getText(), UNO_QUERY_THROW);
    const Reference<css::text::XTextRange> rangeEnd = range->getEnd();
    for (int step = 0; step < kLongestWalk; ++step) {
        if (compare->compareRegionStarts(cursor_->getStart(), rangeEnd) != 1 ||
            !cursor_->goRight(1, false)) {
            break;
        }
        if (pageCursor_->getPage() != extent.start.page) {
            break;  // the box stays on the page the range starts on
        }
        const double x = Mm100ToPoints(cursor_->getPosition().X) + toPageX;
        extent.left = std::min(extent.left, x);
        extent.right = std::max(extent.right, x);
    }
    if (end.page == extent.start.page) {
        extent.right = std::max(extent.right, end.x);
        extent.bottom = end.y + height;
    }
    return extent;
}

}  // namespace word_model
