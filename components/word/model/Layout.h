// Where LibreOffice laid out the document's text: pages and positions on them, in points from
// the page's top-left corner, measured with the document view's cursor.
//
// Every answer is kept per range object: the harvest asks about the same range several times
// (its place, its page, its size), and the layout of a loaded document does not change while
// it is read. Each question costs calls to the office process, so a range is measured once.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include <com/sun/star/awt/XDevice.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>

namespace word_model {

// A place on a page: the top-left of the character cell (the line's top), in points.
struct PagePlace {
    int page = 0;  // 1-based
    double x = 0;
    double y = 0;
};

// A range's extent: where it starts and the bounding box of all its lines, in points.
struct RangeExtent {
    PagePlace start;
    int endPage = 0;
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// The text asked about has no place in the page layout (hidden, or in a header, footer or other
// text Word does not measure), or the document has no view to lay it out in. The automation
// objects report it as Word's command error, with this message.
class NotInLayout : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct PageFormat {
    double width = 0;       // points
    double height = 0;      // points
    double leftMargin = 0;  // points
    double topMargin = 0;   // points
};

// One printed page of the view: where it starts in the view, its page style, and the number the
// view's cursor gives it. The view also holds the blank pages the office puts in so that a page
// starts on the right or left side as its style asks (after a section that ends on the wrong
// side, or a page number restarted at an odd number); they are not printed, so they have no
// entry and are not counted in page numbers.
struct PageLayout {
    double top = 0;  // 1/100 mm, in the view's coordinates less the document border
    PageFormat format;
    int viewPage = 0;  // XPageCursor's number, which counts the blank pages
};

// Which of its page style's headers and footers a page shows: the first page's on the first
// page of a run of the style, else the left pages' on a page with an even number.
struct PageFace {
    std::u16string style;
    bool first = false;
    bool right = true;
};

// What was measured about one range; what another Layout of the same document is given so it
// need not measure again.
struct MeasuredRange {
    bool laidOut = false;  // false: every question about the range fails with NotInLayout
    PagePlace start;
    PagePlace end;
    double textTop = 0;
    std::optional<RangeExtent> extent;  // when asked for: it costs more than the rest
};

class Layout {
  public:
    explicit Layout(const css::uno::Reference<css::frame::XModel>& model);

    int PageCount();
    // Where a range starts: the top-left of its first character's line. Throws NotInLayout
    // when the text has no place in the page layout (hidden, or in a header,
    // footer or other text Word does not measure).
    PagePlace Start(const css::uno::Reference<css::text::XTextRange>& range);
    // The page the range ends on.
    int EndPage(const css::uno::Reference<css::text::XTextRange>& range);
    // The top of the range's first line of text: the line's top, lowered by the room the line's
    // tallest font keeps above its glyphs beyond what the paragraph's Latin font keeps.
    double TextTop(const css::uno::Reference<css::text::XTextRange>& range);
    // The bounding box of all the range's lines on the page it starts on.
    RangeExtent Measure(const css::uno::Reference<css::text::XTextRange>& range);
    // The page style in force on a page.
    PageFormat FormatOfPage(int page);

    // Text the pages repeat (a header's or footer's): measured where the office shows it first,
    // its places then hold on every page that shows it. Without this, such text has no place.
    void MarkRepeated(const css::uno::Reference<css::text::XTextRange>& range);
    // Where the layout put a drawing, as the place of a range covering it: its box, on the page
    // that holds its top. A drawing without a box has no place.
    MeasuredRange MeasureDrawing(const css::uno::Reference<css::beans::XPropertySet>& drawing);
    // The faces of the pages, 1 to PageCount() (not known for pages learnt from a snapshot).
    const std::vector<PageFace>& Faces();

    // Hand-over between two Layouts of one document: the pages and what one measured, for the
    // other to answer from (see DocumentSnapshot.h). MeasureAll measures a range's start, end
    // and text top, and its extent when asked; a range without layout comes back with laidOut
    // false.
    std::vector<PageLayout> Pages();
    MeasuredRange MeasureAll(const css::uno::Reference<css::text::XTextRange>& range,
                             bool withExtent);
    void LearnPages(std::vector<PageLayout> pages);
    void Learn(const css::uno::Reference<css::text::XTextRange>& range,
               const MeasuredRange& measured);

  private:
    // What is known about one range; kept alive with the range, so its address stays unique.
    struct RangeFacts {
        css::uno::Reference<css::text::XTextRange> range;
        css::uno::Reference<css::text::XText> owner;  // the text it lies in
        css::uno::Reference<css::text::XTextRange> startPosition;
        std::optional<bool> laidOut;
        bool repeated = false;  // header or footer text: measured where first shown
        std::optional<PagePlace> start;
        std::optional<PagePlace> end;
        std::optional<double> textTop;
        std::optional<RangeExtent> extent;
        std::optional<rtl::OUString> content;
    };

    // The view's cursor, in a view showing one page per row. Called by whatever moves it: a
    // document whose facts were all learnt from a snapshot never asks the office for its view.
    void PrepareView();
    // The pages, measured with the view unless they were learnt.
    void Prepare();
    RangeFacts& Facts(const css::uno::Reference<css::text::XTextRange>& range);
    void CheckLaidOut(RangeFacts& facts);
    const rtl::OUString& Text(RangeFacts& facts);
    // Moves the view cursor to a collapsed position and reads its place there.
    PagePlace PlaceOf(const css::uno::Reference<css::text::XTextRange>& position,
                      const css::uno::Reference<css::text::XText>& text);
    PagePlace End(RangeFacts& facts);
    // Where the view cursor stands. The page is the one whose area holds the cursor: in a
    // header or footer the office names the page of the text's first showing, wherever it is.
    PagePlace CursorPlace();
    bool Measurable(const css::uno::Reference<css::text::XText>& text);
    double LineHeight(RangeFacts& facts);
    // A font's ascent as a share of its size, from the office's own font metrics; 0 unknown.
    double AscentShare(const rtl::OUString& font);

    css::uno::Reference<css::frame::XModel> model_;
    css::uno::Reference<css::text::XTextViewCursor> cursor_;
    css::uno::Reference<css::text::XTextRange> cursorRange_;  // the same cursor, as a range
    css::uno::Reference<css::text::XPageCursor> pageCursor_;
    css::uno::Reference<css::awt::XDevice> device_;
    std::vector<PageLayout> pages_;
    std::vector<PageFace> faces_;
    bool prepared_ = false;
    std::unordered_map<const void*, RangeFacts> facts_;
    // Per text (body, cell, frame, header): whether Word measures it, and its comparer.
    std::unordered_map<const void*, bool> measurable_;
    std::unordered_map<const void*, css::uno::Reference<css::text::XTextRangeCompare>> comparers_;
    std::vector<css::uno::Reference<css::text::XText>> texts_;  // keeps the keys above alive
    std::map<rtl::OUString, double> ascents_;
};

}  // namespace word_model
