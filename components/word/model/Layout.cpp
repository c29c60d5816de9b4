#include "components/word/model/Layout.h"

#include <algorithm>
#include <cmath>

#include <com/sun/star/awt/FontDescriptor.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/SimpleFontMetric.hpp>
#include <com/sun/star/awt/XFont.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include "components/word/model/Uno.h"

namespace word_model {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

// The view stacks its pages in one column with this gap between them (1/100 mm); the cursor's
// positions are in the view's coordinates, so page n starts below the pages before it and their
// gaps.
constexpr double kGapBetweenPages = 501;  // 284 twips
// ... and the first page below and right of the view's border (1/100 mm): where the drawing
// layer's coordinates start.
constexpr double kViewBorder = 501;

// Line heights are not visible through the API; a line is about this much taller than the
// font's nominal size (ascent and descent of common fonts), CJK fonts a little more.
constexpr double kLineHeightFactor = 1.17;
constexpr double kCjkLineHeightFactor = 1.3;

// A first line has at most this many characters: enough of a range's text to know its fonts.
constexpr sal_Int32 kFirstLineLength = 200;
// A range is measured over at most this many lines; the rest add nothing to a link's box.
constexpr int kMostLines = 64;
// Places on one line differ by less than this (1/100 mm) in height.
constexpr double kSameLine = 20;
// Font metrics are read at this size (device units), large enough for whole-number precision.
constexpr sal_Int16 kMetricSize = 1000;

[[noreturn]] void NoLayout() {
    throw NotInLayout("The object is not in the page layout.");
}

bool IsCjk(sal_Unicode c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

bool HasCjk(const rtl::OUString& text, sal_Int32 length) {
    for (sal_Int32 i = 0; i < std::min(length, text.getLength()); ++i) {
        if (IsCjk(text[i])) {
            return true;
        }
    }
    return false;
}

}  // namespace

Layout::Layout(const Reference<css::frame::XModel>& model) : model_(model) {}

void Layout::PrepareView() {
    if (cursor_.is()) {
        return;
    }
    Reference<css::frame::XController> controller = model_->getCurrentController();
    if (!controller.is()) {
        throw NotInLayout("The document has no window.");
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
    cursorRange_.set(cursor_, UNO_QUERY_THROW);
    pageCursor_.set(cursor_, UNO_QUERY_THROW);
    Reference<css::frame::XFrame> frame = controller->getFrame();
    if (frame.is()) {
        device_.set(frame->getContainerWindow(), UNO_QUERY);
    }
}

void Layout::Prepare() {
    if (prepared_) {
        return;  // the pages are known (measured, or learned from a snapshot)
    }
    PrepareView();

    Reference<css::container::XNameAccess> styles;
    Reference<css::style::XStyleFamiliesSupplier>(model_, UNO_QUERY_THROW)
        ->getStyleFamilies()
        ->getByName(rtl::OUString::createFromAscii("PageStyles")) >>= styles;
    Reference<css::beans::XPropertySet> cursorProperties(cursor_, UNO_QUERY_THROW);

    pageCursor_->jumpToLastPage();  // lays out the whole document
    int count = pageCursor_->getPage();
    // Endnotes may stand on pages of their own after the body's last.
    while (pageCursor_->jumpToPage(static_cast<sal_Int16>(count + 1)) &&
           pageCursor_->getPage() == count + 1) {
        ++count;
    }
    std::map<rtl::OUString, std::pair<PageFormat, double>> formats;  // with the height, 1/100 mm
    const rtl::OUString names[] = {"PageStyleName", "PageDescName", "PageNumberOffset"};
    const css::uno::Sequence<rtl::OUString> faceProperties(names, 3);
    Reference<css::beans::XMultiPropertySet> cursorFacts(cursor_, UNO_QUERY);
    double top = 0;
    int number = 0;  // the page's number, as its style counts left and right pages
    for (int page = 1; page <= count; ++page) {
        // The view shows no blank pages, and the cursor cannot go to one: the jump fails. Such a
        // page still counts in the page numbers, which choose left and right faces.
        if (!pageCursor_->jumpToPage(static_cast<sal_Int16>(page))) {
            ++number;
            continue;
        }
        rtl::OUString style;
        rtl::OUString startsStyle;  // the page's first paragraph starts a page style
        sal_Int16 offset = 0;       // ... and numbers its pages from here
        if (cursorFacts.is()) {
            const css::uno::Sequence<css::uno::Any> values =
                cursorFacts->getPropertyValues(faceProperties);
            values[0] >>= style;
            values[1] >>= startsStyle;
            values[2] >>= offset;
        } else {
            cursorProperties->getPropertyValue(rtl::OUString::createFromAscii("PageStyleName")) >>=
                style;
        }
        number = !startsStyle.isEmpty() && offset > 0 ? offset : number + 1;
        PageFace face;
        face.style = ToU16(style);
        face.first = faces_.empty() || faces_.back().style != face.style;
        face.right = number % 2 == 1;
        faces_.push_back(std::move(face));
        auto known = formats.find(style);
        if (known == formats.end()) {
            Reference<css::beans::XPropertySet> format;
            if (styles.is() && styles->hasByName(style)) {
                styles->getByName(style) >>= format;
            }
            PageFormat entry;
            const double height = PropertyOr<sal_Int32>(format, "Height", 27940);
            entry.width = Mm100ToPoints(PropertyOr<sal_Int32>(format, "Width", 21590));
            entry.height = Mm100ToPoints(height);
            entry.leftMargin = Mm100ToPoints(PropertyOr<sal_Int32>(format, "LeftMargin", 0));
            entry.topMargin = Mm100ToPoints(PropertyOr<sal_Int32>(format, "TopMargin", 0));
            known = formats.emplace(style, std::make_pair(entry, height)).first;
        }
        PageLayout entry;
        entry.format = known->second.first;
        entry.top = top;
        entry.viewPage = page;
        top += known->second.second + kGapBetweenPages;
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

Layout::RangeFacts& Layout::Facts(const Reference<css::text::XTextRange>& range) {
    RangeFacts& facts = facts_[range.get()];
    if (!facts.range.is()) {
        facts.range = range;
    }
    return facts;
}

bool Layout::Measurable(const Reference<css::text::XText>& text) {
    auto known = measurable_.find(text.get());
    if (known != measurable_.end()) {
        return known->second;
    }
    // Headers and footers repeat on pages: Word measures none of them.
    Reference<css::lang::XServiceInfo> info(text, UNO_QUERY);
    const bool measurable = !info.is() || info->getImplementationName().indexOf("HeadFoot") < 0;
    texts_.push_back(text);
    measurable_.emplace(text.get(), measurable);
    comparers_.emplace(text.get(), Reference<css::text::XTextRangeCompare>(text, UNO_QUERY));
    return measurable;
}

void Layout::CheckLaidOut(RangeFacts& facts) {
    if (!facts.laidOut) {
        Prepare();
        facts.owner = facts.range->getText();
        Reference<css::beans::XPropertySet> properties(facts.range, UNO_QUERY);
        facts.laidOut = facts.owner.is() && (Measurable(facts.owner) || facts.repeated) &&
                        !PropertyOr<bool>(properties, "CharHidden", false);
    }
    if (!*facts.laidOut) {
        NoLayout();
    }
}

PagePlace Layout::CursorPlace() {
    const int viewPage = pageCursor_->getPage();
    const auto on = std::lower_bound(
        pages_.begin(), pages_.end(), viewPage,
        [](const PageLayout& entry, int number) { return entry.viewPage < number; });
    if (on == pages_.end() || on->viewPage != viewPage) {
        NoLayout();
    }
    const css::awt::Point at = cursor_->getPosition();
    // The cursor's position is counted from the text area of the first page: the page style's
    // top and left margins from that page's corner.
    auto placeOn = [&](int page) {
        const PageLayout& layout = pages_[page - 1];
        return PagePlace{page, Mm100ToPoints(at.X) + layout.format.leftMargin,
                         Mm100ToPoints(at.Y - layout.top) + layout.format.topMargin};
    };
    const auto within = [&](const PagePlace& place) {
        return place.y >= 0 && place.y <= pages_[place.page - 1].format.height;
    };
    PagePlace place = placeOn(static_cast<int>(on - pages_.begin()) + 1);
    for (int other = 1; !within(place) && other <= static_cast<int>(pages_.size()); ++other) {
        if (within(placeOn(other))) {
            place = placeOn(other);
        }
    }
    return place;
}

PagePlace Layout::PlaceOf(const Reference<css::text::XTextRange>& position,
                          const Reference<css::text::XText>& text) {
    PrepareView();
    cursor_->gotoRange(position, false);
    // Text the view cannot show leaves the cursor elsewhere.
    const Reference<css::text::XTextRangeCompare>& compare = comparers_[text.get()];
    try {
        if (compare.is() && compare->compareRegionStarts(cursorRange_, position) != 0) {
            NoLayout();
        }
    } catch (const css::lang::IllegalArgumentException&) {
        NoLayout();
    }
    return CursorPlace();
}

PagePlace Layout::Start(const Reference<css::text::XTextRange>& range) {
    RangeFacts& facts = Facts(range);
    if (!facts.start) {
        CheckLaidOut(facts);
        facts.startPosition = range->getStart();
        facts.start = PlaceOf(facts.startPosition, facts.owner);
    }
    return *facts.start;
}

PagePlace Layout::End(RangeFacts& facts) {
    if (!facts.end) {
        CheckLaidOut(facts);
        facts.end = PlaceOf(facts.range->getEnd(), facts.owner);
    }
    return *facts.end;
}

int Layout::EndPage(const Reference<css::text::XTextRange>& range) {
    return End(Facts(range)).page;
}

const rtl::OUString& Layout::Text(RangeFacts& facts) {
    if (!facts.content) {
        facts.content = facts.range->getString();
    }
    return *facts.content;
}

double Layout::AscentShare(const rtl::OUString& font) {
    auto known = ascents_.find(font);
    if (known != ascents_.end()) {
        return known->second;
    }
    double share = 0;
    PrepareView();
    if (device_.is() && !font.isEmpty()) {
        css::awt::FontDescriptor descriptor;
        descriptor.Name = font;
        descriptor.Height = kMetricSize;
        Reference<css::awt::XFont> metrics = device_->getFont(descriptor);
        if (metrics.is()) {
            // The font's size (its em) is the ascent and descent less the internal leading.
            const css::awt::SimpleFontMetric metric = metrics->getFontMetric();
            const double em = metric.Ascent + metric.Descent - metric.Leading;
            share = em > 0 ? metric.Ascent / em : 0;
        }
    }
    ascents_.emplace(font, share);
    return share;
}

double Layout::TextTop(const Reference<css::text::XTextRange>& range) {
    const PagePlace start = Start(range);
    RangeFacts& facts = Facts(range);
    if (!facts.textTop) {
        // The line's baseline lies below its top by its tallest font's ascent. CJK fonts keep
        // much more room above their glyphs than Latin ones, so a line with CJK text starts
        // its glyphs that much lower than the line's top.
        double drop = 0;
        if (HasCjk(Text(facts), kFirstLineLength)) {
            Reference<css::beans::XPropertySet> at(facts.startPosition, UNO_QUERY);
            const double latin =
                AscentShare(PropertyOr<rtl::OUString>(at, "CharFontName", rtl::OUString())) *
                PropertyOr<float>(at, "CharHeight", 12.0f);
            const double cjk =
                AscentShare(PropertyOr<rtl::OUString>(at, "CharFontNameAsian", rtl::OUString())) *
                PropertyOr<float>(at, "CharHeightAsian", 10.5f);
            if (latin > 0 && cjk > 0) {
                drop = std::max(0.0, cjk - latin);
            }
        }
        facts.textTop = start.y + drop;
    }
    return *facts.textTop;
}

double Layout::LineHeight(RangeFacts& facts) {
    Reference<css::beans::XPropertySet> properties(facts.range, UNO_QUERY);
    if (HasCjk(Text(facts), Text(facts).getLength())) {
        return PropertyOr<float>(properties, "CharHeightAsian", 10.5f) * kCjkLineHeightFactor;
    }
    return PropertyOr<float>(properties, "CharHeight", 12.0f) * kLineHeightFactor;
}

RangeExtent Layout::Measure(const Reference<css::text::XTextRange>& range) {
    const PagePlace start = Start(range);
    const double top = TextTop(range);
    RangeFacts& facts = Facts(range);
    if (facts.extent) {
        return *facts.extent;
    }
    const PagePlace end = End(facts);
    const double height = LineHeight(facts);
    const double drop = top - start.y;
    RangeExtent extent;
    extent.start = start;
    extent.endPage = end.page;
    extent.left = start.x;
    extent.top = top;
    extent.right = start.x;
    extent.bottom = top + height;
    const bool oneLine = end.page == start.page && std::fabs(end.y - start.y) < 0.5;
    if (oneLine) {
        extent.right = std::max(start.x, end.x);
    } else {
        // Several lines: find each line break by halving the stretch of characters between a
        // place on the line and one past it, from the view cursor's positions (in the view's
        // coordinates, which grow down the pages). The box stays on the page the range starts
        // on. (The view's line-end movements depend on the visible area, which a hidden view
        // lacks.)
        struct Probe {
            sal_Int32 index;
            css::awt::Point at;
        };
        PrepareView();
        sal_Int32 cursorIndex = 0;
        auto probe = [&](sal_Int32 index) {
            const bool moved =
                index >= cursorIndex
                    ? cursor_->goRight(static_cast<sal_Int16>(index - cursorIndex), false)
                    : cursor_->goLeft(static_cast<sal_Int16>(cursorIndex - index), false);
            if (!moved) {
                cursor_->gotoRange(facts.startPosition, false);
                cursor_->goRight(static_cast<sal_Int16>(index), false);
            }
            cursorIndex = index;
            return Probe{index, cursor_->getPosition()};
        };
        cursor_->gotoRange(facts.range->getEnd(), false);
        const Probe last{std::min<sal_Int32>(Text(facts).getLength(), SAL_MAX_INT16),
                         cursor_->getPosition()};
        cursor_->gotoRange(facts.startPosition, false);
        Probe onLine{0, cursor_->getPosition()};
        const double leftMargin = pages_[start.page - 1].format.leftMargin;
        double lineTop = start.y;
        for (int line = 0; line < kMostLines && last.at.Y - onLine.at.Y >= kSameLine; ++line) {
            Probe beyond = last;
            while (beyond.index - onLine.index > 1) {
                const Probe middle = probe((onLine.index + beyond.index) / 2);
                if (middle.at.Y - onLine.at.Y < kSameLine) {
                    onLine = middle;
                } else {
                    beyond = middle;
                }
            }
            // onLine is the line's last character, beyond the next line's first.
            extent.right = std::max(extent.right, Mm100ToPoints(onLine.at.X) + leftMargin);
            probe(beyond.index);
            const PagePlace next = CursorPlace();
            if (next.page != start.page) {
                break;
            }
            extent.left = std::min(extent.left, next.x);
            lineTop = next.y;
            onLine = beyond;
        }
        // The last line reached on the first page, and how far right it goes.
        if (end.page == start.page) {
            extent.right = std::max(extent.right, end.x);
            lineTop = end.y;
        }
        extent.bottom = lineTop + drop + height;
    }
    facts.extent = extent;
    return extent;
}

void Layout::MarkRepeated(const Reference<css::text::XTextRange>& range) {
    Facts(range).repeated = true;
}

MeasuredRange Layout::MeasureDrawing(const Reference<css::beans::XPropertySet>& drawing) {
    css::awt::Rectangle bounds;
    if (!(PropertyOr<css::uno::Any>(drawing, "BoundRect", css::uno::Any()) >>= bounds)) {
        return MeasuredRange{};
    }
    Prepare();
    const double y = bounds.Y - kViewBorder;
    for (size_t page = pages_.size(); page-- > 0;) {
        if (pages_[page].top > y) {
            continue;
        }
        MeasuredRange measured;
        measured.laidOut = true;
        measured.start = {static_cast<int>(page) + 1, Mm100ToPoints(bounds.X - kViewBorder),
                          Mm100ToPoints(y - pages_[page].top)};
        measured.end = measured.start;
        measured.textTop = measured.start.y;
        RangeExtent& extent = measured.extent.emplace();
        extent.start = measured.start;
        extent.endPage = measured.start.page;
        extent.left = measured.start.x;
        extent.top = measured.start.y;
        extent.right = extent.left + Mm100ToPoints(bounds.Width);
        extent.bottom = extent.top + Mm100ToPoints(bounds.Height);
        return measured;
    }
    return MeasuredRange{};
}

const std::vector<PageFace>& Layout::Faces() {
    Prepare();
    return faces_;
}

std::vector<PageLayout> Layout::Pages() {
    Prepare();
    return pages_;
}

MeasuredRange Layout::MeasureAll(const Reference<css::text::XTextRange>& range, bool withExtent) {
    MeasuredRange measured;
    try {
        measured.start = Start(range);
        measured.textTop = TextTop(range);
        measured.end = End(Facts(range));
        if (withExtent) {
            measured.extent = Measure(range);
        }
    } catch (const NotInLayout&) {
        return MeasuredRange{};
    }
    measured.laidOut = true;
    return measured;
}

void Layout::LearnPages(std::vector<PageLayout> pages) {
    if (prepared_) {
        return;
    }
    pages_ = std::move(pages);
    prepared_ = true;
}

void Layout::Learn(const Reference<css::text::XTextRange>& range, const MeasuredRange& measured) {
    RangeFacts& facts = Facts(range);
    facts.laidOut = measured.laidOut;
    if (!measured.laidOut) {
        return;
    }
    facts.start = measured.start;
    facts.end = measured.end;
    facts.textTop = measured.textTop;
    if (measured.extent) {
        facts.extent = measured.extent;
    }
}

}  // namespace word_model
